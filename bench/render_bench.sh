#!/usr/bin/env bash
# Times `quillmap -cfg` from start to the SVG on disk (render=svg) on:
#   - the bundled example (examples/sensor_node.cfg);
#   - the full call graph of the generated tree (gen_tree --lines 100000 --modules 8 --seed 1);
#   - the kernel/ call graph of bench/kernel_bench.sh (run that first, or let this script write
#     the configuration from the tree in $QUILLMAP_BENCH_DIR);
#   - -focus on one function with -depth 2 over the whole Linux tree.
# Each figure is the median of N runs (default 5), wall time from `date +%s.%N`.
#
#   bench/render_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
runs=${2:-5}
quillmap=$build/quillmap
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# median_run NAME ARGS...: runs quillmap ARGS, prints the median wall time and the log's render
# entries of the last run.
median_run() {
  local name=$1
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    "$quillmap" "$@" >"$tmp/log" || true
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
  printf '| %s | %.2f s | %s |\n' "$name" "$median" \
    "$(grep -E '^(rendered|not rendered|edge labels)' "$tmp/log" | sed 's#/[^ ]*/##g' | paste -sd ';' -)"
}

echo "| input | median wall | render entries |"
echo "|---|---|---|"

# The example, with the picture asked for.
mkdir -p "$tmp/example"
cp -r "$repo/examples/sensor_node" "$tmp/example/"
mkdir -p "$tmp/example/out"
sed 's/^\[dot\]/[dot]\nrender=svg/' "$repo/examples/sensor_node.cfg" >"$tmp/example/sensor_node.cfg"
median_run "example" -cfg "$tmp/example/sensor_node.cfg"

# The generated tree's full call graph.
"$build/bench/gen_tree" --lines 100000 --modules 8 --seed 1 "$tmp/tree" >/dev/null
sed -i 's/^\[dot\]/[dot]\nrender=svg/' "$tmp/tree/scan.cfg"
median_run "generated tree, full call graph" -cfg "$tmp/tree/scan.cfg"

# The kernel: kernel/ and, focused, the whole tree.
if [[ -f $work/cfg/callgraph_kernel.cfg && -f $work/cfg/callgraph_all.cfg ]]; then
  for name in callgraph_kernel callgraph_all; do
    mkdir -p "$tmp/$name"
    sed -e "s#^dot=.*#dot=$tmp/$name/callgraph.dot#" -e "s#^csv=.*#csv=$tmp/$name/callgraph.csv#" \
      -e 's/^\[dot\]/[dot]\nrender=svg/' "$work/cfg/$name.cfg" >"$tmp/$name.cfg"
  done
  median_run "Linux kernel/" -cfg "$tmp/callgraph_kernel.cfg"
  median_run "Linux whole tree, -focus ${FOCUS:-schedule} -depth 2" -cfg "$tmp/callgraph_all.cfg" \
    -focus "${FOCUS:-schedule}" -depth 2
  # The same scan without the query and without the picture: what the query adds.
  sed -i 's/^render=svg$//' "$tmp/callgraph_all.cfg"
  median_run "Linux whole tree, no query, no picture" -cfg "$tmp/callgraph_all.cfg"
  median_run "Linux whole tree, -focus only (no picture)" -cfg "$tmp/callgraph_all.cfg" \
    -focus "${FOCUS:-schedule}" -depth 2
else
  echo "(no kernel configurations in $work/cfg: run bench/kernel_bench.sh first)" >&2
fi
