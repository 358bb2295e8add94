#!/usr/bin/env bash
# The C-aware scan mode ([scan] syntax=c) against independent readers of C, and its speed:
#   - functions: what the C recogniser finds (bench/c_functions, the program's own recogniser)
#     against Universal Ctags (kind f) on Linux 6.1 kernel/ and fs/ and the SQLite amalgamation:
#     recall (ctags' functions found at ctags' line) and precision (ours at a line where ctags
#     lists that function), with the misses by class; and the program's own count (fcts of a
#     run with the filter "*") against the recogniser's;
#   - call edges of kernel/: the distinct callees of a sample of functions against cscope's
#     "functions called by" (cscope -L -2 NAME), both ways;
#   - speed: the whole tree (*.c) with the kernel benchmark's 10 filters in the line mode and in
#     the C-aware mode, and `grep -c -F` of the same patterns (hyperfine, the three interleaved:
#     N rounds of one run each, so that a change of the machine's load meets all three), CPU
#     time and peak memory of each.
#
#   bench/c_syntax_bench.sh [--runs N] [--sample N] [--speed-only]
#
# Environment: QUILLMAP_BUILD (Release build folder, default build-perf), QUILLMAP_BENCH_DIR
# (default /var/tmp/quillmap-bench; the kernel tree is unpacked there as kernel_bench.sh does).
# The report is printed and kept as $QUILLMAP_BENCH_DIR/c_syntax/report.md.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build-perf}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}
runs=5
sample=2000
speed_only=0
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --sample) sample=$2; shift 2 ;;
    --speed-only) speed_only=1; shift ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "c_syntax_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

bench_packages=(linux-source-6.1 universal-ctags cscope hyperfine jq time grep)
missing=()
for package in "${bench_packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]})); then
  echo "c_syntax_bench: missing packages: ${missing[*]} (run: apt-get install ${missing[*]})" >&2
  exit 1
fi

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quillmap c_functions >/dev/null
quillmap=$build/quillmap
functions=$build/bench/c_functions

tree=$work/linux-source-6.1
out=$work/c_syntax
mkdir -p "$out"
if [[ ! -d $tree ]]; then
  tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$work"
fi
(cd "$tree" && find kernel -name '*.c' | LC_ALL=C sort) >"$out/kernel.txt"
(cd "$tree" && find fs -name '*.c' | LC_ALL=C sort) >"$out/fs.txt"
(cd "$tree" && find . -name '*.c' | LC_ALL=C sort | sed "s#^\./#$tree/#") >"$out/all.txt"

report=$out/report.md
: >"$report"
say() { echo "$*" | tee -a "$report"; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "n/a"; else printf "%.2f %%", 100 * a / b }'; }

if ((!speed_only)); then
# SQLite: the amalgamation that better-sqlite3 ships (npm registry).
sqlite_dir=$out/sqlite
if [[ ! -f $sqlite_dir/package/deps/sqlite3/sqlite3.c ]]; then
  mkdir -p "$sqlite_dir"
  (cd "$sqlite_dir" && npm pack --silent better-sqlite3@12 >/dev/null && tar xzf better-sqlite3-*.tgz)
fi
sqlite_c=$sqlite_dir/package/deps/sqlite3/sqlite3.c
sqlite_version=$(grep -m1 '#define SQLITE_VERSION ' "$sqlite_dir/package/deps/sqlite3/sqlite3.h" |
  sed 's/.*"\(.*\)".*/\1/')
echo "sqlite3.c" >"$out/sqlite.txt"
ln -sf "$sqlite_c" "$out/sqlite3.c"

say "## C-aware mode: functions against Universal Ctags, calls against cscope"
say ""
say "- $(ctags --version | head -1); $(cscope -V 2>&1 | head -1); SQLite $sqlite_version" \
  "(better-sqlite3 $(ls "$sqlite_dir"/better-sqlite3-*.tgz | sed 's/.*better-sqlite3-\(.*\)\.tgz/\1/'))"
say ""
say "| code | files | ctags functions | ours | recall | precision | missed | extra |"
say "|---|---|---|---|---|---|---|---|"

# compare NAME DIR LIST: functions of the files of LIST (paths relative to DIR).
compare() {
  local name=$1 dir=$2 list=$3
  (cd "$dir" && ctags -x --c-kinds=f --language-force=C -L "$list" 2>/dev/null) |
    awk '{ print $4 "\t" $1 "\t" $3 }' | LC_ALL=C sort -u >"$out/$name.ctags"
  (cd "$dir" && "$functions" <"$list") >"$out/$name.ours.raw"
  awk -F'\t' '$1 == "F" { print $2 "\t" $3 "\t" $4 }' "$out/$name.ours.raw" | LC_ALL=C sort -u \
    >"$out/$name.ours"
  LC_ALL=C comm -23 "$out/$name.ctags" "$out/$name.ours" >"$out/$name.missed"
  LC_ALL=C comm -13 "$out/$name.ctags" "$out/$name.ours" >"$out/$name.extra"
  local c o m x
  c=$(wc -l <"$out/$name.ctags")
  o=$(wc -l <"$out/$name.ours")
  m=$(wc -l <"$out/$name.missed")
  x=$(wc -l <"$out/$name.extra")
  say "| $name | $(wc -l <"$list") | $c | $o | $(percent $((c - m)) "$c") | $(percent $((o - x)) "$o") | $m | $x |"
}
compare kernel "$tree" "$out/kernel.txt"
compare fs "$tree" "$out/fs.txt"
compare sqlite3.c "$out" "$out/sqlite.txt"

say ""
say "Misses by class (missed: ctags lists it, we do not at that line; extra: the reverse):"
for name in kernel fs sqlite3.c; do
  # A name that the other side has in the same file at another line, or not at all.
  for side in missed extra; do
    other=$([[ $side == missed ]] && echo ours || echo ctags)
    moved=$(awk -F'\t' 'NR == FNR { have[$1 "\t" $2] = 1; next } ($1 "\t" $2) in have' \
      "$out/$name.$other" "$out/$name.$side" | wc -l)
    total=$(wc -l <"$out/$name.$side")
    say "- $name $side: $total, of which $moved with the same name at another line of the file"
  done
done

# The program itself: a C-aware run of kernel/ with the filter "*" counts the same functions.
{
  echo "[scan]"
  echo "syntax=c"
  echo "[files]"
  echo "csv=$out/kernel_all.csv"
  i=0
  while read -r file; do echo "file$i=$tree/$file"; i=$((i + 1)); done <"$out/kernel.txt"
  echo "[calls]"
  echo "0=*"
} >"$out/kernel_all.cfg"
fcts=$("$quillmap" -cfg "$out/kernel_all.cfg" | tail -1 | sed 's/.* \([0-9]*\) fcts$/\1/')
say ""
say "- the program on kernel/ with [scan] syntax=c and the filter \"*\": $fcts fcts;" \
  "the recogniser: $(grep -c '^F' "$out/kernel.ours.raw") definitions"

# Calls: the distinct callees of sampled functions of kernel/ whose name is defined once there.
say ""
(cd "$tree" && cscope -b -q -k -i "$out/kernel.txt" -f "$out/cscope.out")
awk -F'\t' '$1 == "F" { n[$3]++; file[$3] = $2 } END { for (f in n) if (n[f] == 1) print file[f] "\t" f }' \
  "$out/kernel.ours.raw" | LC_ALL=C sort >"$out/unique.txt"
step=$(( $(wc -l <"$out/unique.txt") / sample ))
if ((step < 1)); then step=1; fi
awk -v s="$step" 'NR % s == 0' "$out/unique.txt" | head -n "$sample" >"$out/sample.txt"
: >"$out/calls.cscope"
while IFS=$'\t' read -r file name; do
  (cd "$tree" && cscope -d -f "$out/cscope.out" -L -2 "$name") |
    awk -v f="$file" -v n="$name" '$1 == f { print f "\t" n "\t" $2 }'
done <"$out/sample.txt" | LC_ALL=C sort -u >"$out/calls.cscope"
awk -F'\t' 'NR == FNR { want[$1 "\t" $2] = 1; next }
            $1 == "C" && (($2 "\t" $3) in want) { print $2 "\t" $3 "\t" $4 }' \
  "$out/sample.txt" "$out/kernel.ours.raw" | LC_ALL=C sort -u >"$out/calls.ours"
both=$(LC_ALL=C comm -12 "$out/calls.cscope" "$out/calls.ours" | wc -l)
cs=$(wc -l <"$out/calls.cscope")
ours=$(wc -l <"$out/calls.ours")
LC_ALL=C comm -23 "$out/calls.cscope" "$out/calls.ours" >"$out/calls.missed"
LC_ALL=C comm -13 "$out/calls.cscope" "$out/calls.ours" >"$out/calls.extra"
say "- call edges of kernel/, $(wc -l <"$out/sample.txt") sampled functions (every ${step}th of" \
  "$(wc -l <"$out/unique.txt") with a name defined once): cscope $cs distinct edges, ours $ours," \
  "both $both; cscope's found by us $(percent "$both" "$cs"), ours found by cscope" \
  "$(percent "$both" "$ours")"
say "- most frequent callees that only cscope lists: $(cut -f3 "$out/calls.missed" | sort | uniq -c |
  sort -rn | head -8 | awk '{ printf "%s%s (%s)", s, $2, $1; s = ", " }')"
say "- most frequent callees that only we list: $(cut -f3 "$out/calls.extra" | sort | uniq -c |
  sort -rn | head -8 | awk '{ printf "%s%s (%s)", s, $2, $1; s = ", " }')"

fi  # speed_only

# Speed: the whole tree, the kernel benchmark's filters, both modes, and grep.
patterns=(mutex_lock spin_lock kmalloc kfree queue_work printk schedule wake_up kzalloc
          rcu_read_lock)
printf '%s\n' "${patterns[@]}" >"$out/patterns.txt"
for mode in lines c; do
  mkdir -p "$out/run_$mode"
  {
    echo "[scan]"
    echo "syntax=$mode"
    echo "[files]"
    echo "dot=$out/run_$mode/callgraph.dot"
    echo "csv=$out/run_$mode/callgraph.csv"
    i=0
    while read -r file; do echo "file$i=$file"; i=$((i + 1)); done <"$out/all.txt"
    echo "[calls]"
    for i in "${!patterns[@]}"; do echo "$i=${patterns[$i]},x,x"; done
    echo "[reject]"
    echo "0=pr_debug"
    echo "[dot]"
    echo "call_cfgx=[label=\$0]"
  } >"$out/$mode.cfg"
done
say ""
say "Whole tree: $(wc -l <"$out/all.txt") files; $(nproc) cores; load average before:" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
commands=("line mode" "$quillmap -cfg $out/lines.cfg"
          "C-aware mode" "$quillmap -cfg $out/c.cfg"
          "grep -c -F" "xargs -a $out/all.txt grep -c -F -f $out/patterns.txt")
args=()
for ((i = 0; i < ${#commands[@]}; i += 2)); do args+=(-n "${commands[i]}" "${commands[i + 1]}"); done
rm -f "$out"/speed_*.json
for ((round = 1; round <= runs; round++)); do
  hyperfine --style none --warmup $((round == 1)) --runs 1 --export-json "$out/speed_$round.json" \
    "${args[@]}" >/dev/null
done
jq -s '{results: [.[].results[]] | group_by(.command) | map({command: .[0].command,
  times: [.[].times[]], cpu: [.[] | .user + .system]})}' "$out"/speed_*.json \
  >"$out/speed.json"
say "- load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
say ""
say "| run | median s | min s | max s | CPU s (median) | peak memory MB |"
say "|---|---|---|---|---|---|"
median() { jq -r --arg n "$1" --arg k "$2" '.results[] | select(.command == $n) | .[$k] | sort |
  if length % 2 == 1 then .[length / 2 | floor] else (.[length / 2 - 1] + .[length / 2]) / 2 end' \
  "$out/speed.json"; }
for ((i = 0; i < ${#commands[@]}; i += 2)); do
  name=${commands[i]}
  read -ra cmd <<<"${commands[i + 1]}"
  peak=$( { /usr/bin/time -v "${cmd[@]}" >/dev/null; } 2>&1 |
    awk '/Maximum resident/ { printf "%.1f", $NF / 1024 }')
  jq -r --arg n "$name" --arg p "$peak" --arg m "$(median "$name" times)" \
    --arg c "$(median "$name" cpu)" '.results[] | select(.command == $n) |
    "| \($n) | \($m | tonumber * 1000 | round / 1000) | \(.times | min * 1000 | round / 1000) | \(.times | max * 1000 | round / 1000) | \($c | tonumber * 100 | round / 100) | \($p) |"' \
    "$out/speed.json" | tee -a "$report"
done
ratio() { awk -v a="$(median "$1" times)" -v b="$(median "$2" times)" 'BEGIN { printf "%.2f", a / b }'; }
say ""
say "- C-aware / line mode: $(ratio "C-aware mode" "line mode") (target at most 2);" \
  "C-aware / grep: $(ratio "C-aware mode" "grep -c -F") (target at most 1.5)"
say ""
say "- summaries: line mode \"$("$quillmap" -cfg "$out/lines.cfg" | tail -1)\"," \
  "C-aware \"$("$quillmap" -cfg "$out/c.cfg" | tail -1)\""
