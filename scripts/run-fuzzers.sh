#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then runs each harness in turn for FUZZ_SECONDS.
#
#   scripts/run-fuzzers.sh                      every harness, 600 seconds each
#   FUZZ_SECONDS=60 scripts/run-fuzzers.sh      the CI run (scripts/ci-fuzz.sh)
#   scripts/run-fuzzers.sh scan_run_fuzzer      only the named harnesses
#
# Settings (environment): FUZZ_SECONDS (run time per harness, default 600), FUZZ_JOBS (build
# jobs, default 2), FUZZ_TREE (what is fuzzed: "work", the working tree, by default; "head", the
# last commit, exported into build-fuzz/head/ and built in build-fuzz/head-build/, so that a run
# stays reproducible while the working tree changes).
#
# Each harness starts from its committed seeds (fuzz/corpus/<harness>/, never written to) and
# from the corpus it grew in earlier runs (build-fuzz/corpus/<harness>/). Its log goes to
# build-fuzz/logs/<harness>.log; an input that breaks a property or crashes is saved as
# build-fuzz/findings/<harness>-crash-*. The script ends with one line per harness (executions,
# coverage, result) and fails when any harness found something.
set -uo pipefail

cd "$(dirname "$0")/.."
SECONDS_EACH=${FUZZ_SECONDS:-600}
JOBS=${FUZZ_JOBS:-2}
TREE=${FUZZ_TREE:-work}
OUT=build-fuzz
ALL_FUZZERS=(profile_reader_fuzzer edge_attributes_fuzzer module_scan_fuzzer scan_run_fuzzer c_source_fuzzer
             lsp_message_fuzzer macro_expander_fuzzer)
if [[ $# -gt 0 ]]; then FUZZERS=("$@"); else FUZZERS=("${ALL_FUZZERS[@]}"); fi

if ! [[ $SECONDS_EACH =~ ^[0-9]+$ ]] || [[ $SECONDS_EACH -lt 1 ]]; then
  echo "run-fuzzers: FUZZ_SECONDS must be a positive number of seconds, not '$SECONDS_EACH'" >&2
  exit 2
fi
for tool in clang clang++ cmake; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run-fuzzers: $tool not found (Debian: apt-get install clang libclang-rt-dev cmake)" >&2
    exit 2
  fi
done

case $TREE in
  work)
    SOURCE=.
    BUILD=$OUT
    echo "== fuzzing the working tree"
    ;;
  head)
    SOURCE=$OUT/head
    BUILD=$OUT/head-build
    rm -rf "$SOURCE" && mkdir -p "$SOURCE" && git archive HEAD | tar -x -C "$SOURCE" || exit 1
    echo "== fuzzing commit $(git rev-parse --short HEAD)"
    ;;
  *)
    echo "run-fuzzers: FUZZ_TREE must be 'work' or 'head', not '$TREE'" >&2
    exit 2
    ;;
esac

SANITIZE="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$SOURCE" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$SANITIZE" -DQUILLMAP_FUZZ=ON -DQUILLMAP_TESTS=OFF -DQUILLMAP_GUI=OFF \
  >/dev/null || exit 1
cmake --build "$BUILD" -j"$JOBS" --target "${FUZZERS[@]}" || exit 1

mkdir -p "$OUT/logs" "$OUT/findings"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}:abort_on_error=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}:halt_on_error=1"

summary=()
failed=0
for fuzzer in "${FUZZERS[@]}"; do
  corpus="$OUT/corpus/$fuzzer"
  log="$OUT/logs/$fuzzer.log"
  mkdir -p "$corpus"
  echo "== $fuzzer: ${SECONDS_EACH}s (log: $log)"
  # The C recogniser also starts from the bundled examples' sources (read, never written to).
  seeds=()
  [[ -d fuzz/corpus/$fuzzer ]] && seeds+=("fuzz/corpus/$fuzzer")
  [[ $fuzzer == c_source_fuzzer ]] && seeds+=(examples)
  started=$SECONDS
  "$BUILD/fuzzers/$fuzzer" -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=2560 \
    -max_len=16384 -print_final_stats=1 -artifact_prefix="$OUT/findings/$fuzzer-" \
    "$corpus" "${seeds[@]}" >"$log" 2>&1
  status=$?
  elapsed=$((SECONDS - started))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  if [[ $status -eq 0 ]]; then
    result="no finding"
  else
    result="FINDING (exit $status): $(grep -m1 -E 'ERROR:|property violated|runtime error' "$log")"
    failed=$((failed + 1))
    tail -n 40 "$log"
  fi
  summary+=("$fuzzer: ${runs:-?} executions in ${elapsed}s, ${coverage:-cov: ?}, $result")
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
[[ $failed -eq 0 ]]
