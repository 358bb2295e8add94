#!/usr/bin/env bash
# Module rules benchmark: what checking rules adds to a module graph run.
#
#   bench/rules_bench.sh [--runs N]
#
# - fs/ of the Linux 6.1 tree (Debian's linux-source-6.1) as 79 modules, built as
#   bench/kernel_bench.sh builds them (fs/*.c as one module, each subfolder as another): the
#   module graph run without rules against the same run with `layers=` of 10 groups and
#   `cycles=deny` (target: less than 10 % more);
# - a generated tree of 200 modules in which every module calls every other one (39,800 calls
#   between modules), with `cycles=deny`: the cycle report stays bounded (one line per strongly
#   connected group) and the run time with it is compared with the run without.
# Works under $QUILLMAP_BENCH_DIR (default /var/tmp/quillmap-bench), in rules/ beside the tree.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build-perf}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}
runs=20
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    -h | --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "rules_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done
for tool in hyperfine jq; do
  command -v "$tool" >/dev/null || { echo "rules_bench: $tool is missing (apt-get install $tool)" >&2; exit 1; }
done
quillmap=$build/quillmap
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quillmap >/dev/null

tree=$work/linux-source-6.1
if [[ ! -d $tree ]]; then
  mkdir -p "$work"
  tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$work"
fi
dir=$work/rules
rm -rf "$dir"
mkdir -p "$dir/out"

# fs/ as 79 modules.
mapfile -t folders < <(cd "$tree/fs" && find . -mindepth 1 -maxdepth 1 -type d | sed 's#^\./##' |
  LC_ALL=C sort)
{
  echo "[files]"
  echo "file0=$tree/fs/$(cd "$tree/fs" && ls *.c | LC_ALL=C sort | head -1)"
  echo "[calls]"
  echo "0=mutex_lock"
  echo "[modules]"
  echo "log=$dir/out/fs.log"
  echo "dot=$dir/out/fs.dot"
  echo "mod_0=fs"
  n=0
  for file in $(cd "$tree" && ls fs/*.c | LC_ALL=C sort); do
    echo "mod_0_file_$n=$tree/$file"; n=$((n + 1))
  done
  i=0
  for folder in "${folders[@]}"; do
    i=$((i + 1))
    echo "mod_$i=$folder"
    echo "mod_${i}_dot_call=[color=gray40]"
    n=0
    for file in $(cd "$tree" && find "fs/$folder" -name '*.c' | LC_ALL=C sort); do
      echo "mod_${i}_file_$n=$tree/$file"; n=$((n + 1))
    done
  done
} >"$dir/fs.cfg"
modules=("fs" "${folders[@]}")
# Ten layers of consecutive modules in name order (fs/*.c on top).
layers=""
per=$(((${#modules[@]} + 9) / 10))
for ((m = 0; m < ${#modules[@]}; m++)); do
  if ((m > 0)); then
    if ((m % per == 0)); then layers+=", "; else layers+="|"; fi
  fi
  layers+=${modules[m]}
done
{ cat "$dir/fs.cfg"; echo "layers=$layers"; echo "cycles=deny"; } >"$dir/fs_rules.cfg"

# 200 modules, each one file whose one function calls the functions of all others.
mkdir -p "$dir/pairs"
{
  echo "[files]"
  echo "file0=$dir/pairs/m0.c"
  echo "[calls]"
  echo "0=fn_"
  echo "[modules]"
  echo "log=$dir/out/pairs.log"
  echo "dot=$dir/out/pairs.dot"
  for ((m = 0; m < 200; m++)); do
    {
      echo "void fn_$m(void)"
      echo "{"
      for ((o = 0; o < 200; o++)); do ((o == m)) || echo "  fn_$o();"; done
      echo "}"
    } >"$dir/pairs/m$m.c"
    echo "mod_$m=m$m"
    echo "mod_${m}_file_0=$dir/pairs/m$m.c"
  done
} >"$dir/pairs.cfg"
{ cat "$dir/pairs.cfg"; echo "cycles=deny"; } >"$dir/pairs_rules.cfg"

echo "## Module rules ($(date -u +%Y-%m-%d), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
echo
echo "- fs/: ${#modules[@]} modules, $(grep -c '_file_' "$dir/fs.cfg") files; layers: $(grep -o ',' <<<"$layers" | wc -l | awk '{ print $1 + 1 }') groups"
for name in fs pairs; do
  status=0
  "$quillmap" -cfg "$dir/${name}_rules.cfg" >"$dir/out/${name}_rules.txt" || status=$?
  echo "- $name with rules: exit $status, $(grep -c '^rule violated' "$dir/out/${name}_rules.txt") violation lines" \
    "($(grep -c '^rule violated: cycles=deny' "$dir/out/${name}_rules.txt") cycle lines, longest" \
    "$(grep '^rule violated: cycles=deny' "$dir/out/${name}_rules.txt" | awk '{ print length }' | sort -n | tail -1) chars)," \
    "$(grep -c 'style=bold' "$dir/out/$name.dot") red edges of $(grep -c -- ' -> ' "$dir/out/$name.dot")"
done
echo
echo "| run | median | min | max | runs |"
echo "|---|---|---|---|---|"
for name in fs pairs; do
  hyperfine --style none --warmup 2 --runs "$runs" --export-json "$dir/$name.json" \
    -n "$name without rules" "$quillmap -cfg $dir/$name.cfg" \
    -n "$name with rules" "$quillmap -cfg $dir/${name}_rules.cfg || test \$? -eq 3" >/dev/null
  jq -r '.results[] | "| \(.command) | \(.median * 1000 | floor) ms | \(.min * 1000 | floor) ms | \(.max * 1000 | floor) ms | \(.times | length) |"' "$dir/$name.json"
done
echo
for name in fs pairs; do
  jq -r --arg n "$name" '[.results[] | .median] | "- \($n): with rules / without: \(.[1] / .[0] * 1000 | round / 1000) (target below 1.10 for fs)"' "$dir/$name.json"
done
