#!/usr/bin/env bash
# The JSON export on the whole Linux 6.1 tree (32,005 *.c): the C-aware scan with the catch-all
# filter "*", a DOT file and a CSV report, with and without "[files] json=". Runs the two
# configurations in turn (so that the load of a shared machine falls on both alike) and prints
# for each the median wall time, the median CPU time (user + system) and the peak memory of
# /usr/bin/time -v, the export's size, and whether it parses (jq).
#
#   bench/json_bench.sh [--runs N]
#
# Environment: QUILLMAP_BUILD (Release build folder, default build-perf), QUILLMAP_BENCH_DIR
# (default /var/tmp/quillmap-bench; the tree is unpacked there as kernel_bench.sh does).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build-perf}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}
runs=3
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "json_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done
for package in linux-source-6.1 time jq; do
  dpkg -s "$package" >/dev/null 2>&1 || { echo "json_bench: missing package $package" >&2; exit 1; }
done

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quillmap >/dev/null
quillmap=$build/quillmap

tree=$work/linux-source-6.1
out=$work/json
mkdir -p "$out/out"
[[ -d $tree ]] || tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$work"
{
  printf '[scan]\nsyntax=c\n[files]\ndot=%s/out/calls.dot\ncsv=%s/out/calls.csv\n' "$out" "$out"
  (cd "$tree" && find . -name '*.c' | LC_ALL=C sort) | awk -v t="$tree" \
    '{ sub(/^\.\//, ""); print "file" NR - 1 "=" t "/" $0 }'
  printf '[calls]\n0=*\n'
} >"$out/plain.cfg"
sed "s#^csv=.*#&\njson=$out/out/graph.json#" "$out/plain.cfg" >"$out/json.cfg"

# run NAME: one timed run; appends "wall cpu peak_kB" to $out/NAME.runs.
run() {
  /usr/bin/time -f '%e %U %S %M' -o "$out/$1.time" "$quillmap" -cfg "$out/$1.cfg" >"$out/$1.log"
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$out/$1.time" >>"$out/$1.runs"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

rm -f "$out"/*.runs
echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $("$quillmap" --version)"
echo "== $(tail -n 1 "$out/plain.log" 2>/dev/null || true)"
for ((i = 0; i < runs; ++i)); do
  echo "-- round $((i + 1)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
  run plain
  run json
done
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg); $(tail -n 1 "$out/json.log")"
echo
echo "| run | median wall s | median CPU s (user+sys) | peak memory MB (max) |"
echo "|---|---|---|---|"
for name in plain json; do
  wall=$(cut -d' ' -f1 "$out/$name.runs" | median)
  cpu=$(cut -d' ' -f2 "$out/$name.runs" | median)
  peak=$(cut -d' ' -f3 "$out/$name.runs" | sort -n | tail -1)
  echo "| $name | $wall | $cpu | $(awk -v k="$peak" 'BEGIN { printf "%.0f", k / 1024 }') |"
done
echo
size=$(stat -c %s "$out/out/graph.json")
echo "export: $(awk -v b="$size" 'BEGIN { printf "%.0f", b / 1e6 }') MB," \
  "$(jq -e '.version == 1' "$out/out/graph.json" >/dev/null && echo 'parses (jq), version 1' || echo 'DOES NOT PARSE')"
echo "runs (wall s, CPU s, peak kB): plain $(tr '\n' ';' <"$out/plain.runs") json $(tr '\n' ';' <"$out/json.runs")"
