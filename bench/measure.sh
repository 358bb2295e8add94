#!/usr/bin/env bash
# Times whole scans with a Release build: the bundled example, and a tree of about 100 000 lines
# written by gen_tree (8 modules, seed 1) scanned with and without its module graph. Uses
# hyperfine when it is installed, else repeated runs timed by bash; prints the median and the
# spread of each.
#
#   bench/measure.sh [BUILD_DIR] [RUNS]      (defaults: build 10)
set -euo pipefail

cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
quillmap=$build/quillmap
gen_tree=$build/bench/gen_tree
for tool in "$quillmap" "$gen_tree"; do
  [[ -x $tool ]] || { echo "measure: $tool not built (make build)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p examples/out
"$gen_tree" --lines 100000 --modules 8 --seed 1 "$work/tree" >"$work/gen.txt"
# The same tree without the module graph: an empty "dot" in [modules] switches it off.
sed 's#^dot=out/modules.dot$#dot=#' "$work/tree/scan.cfg" >"$work/tree/callgraph-only.cfg"

echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -srm)"
echo "== $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== $("$quillmap" --version), $(cat "$work/gen.txt")"

names=("example" "tree, call graph and module graph" "tree, call graph only")
configs=("examples/sensor_node.cfg" "$work/tree/scan.cfg" "$work/tree/callgraph-only.cfg")

for i in "${!configs[@]}"; do
  cfg=${configs[$i]}
  summary=$("$quillmap" -cfg "$cfg" | tail -n 1)
  echo
  echo "-- ${names[$i]}: $summary"
  if command -v hyperfine >/dev/null 2>&1; then
    hyperfine -N --warmup 2 --runs "$runs" --export-json "$work/run.json" \
      "$quillmap -cfg $cfg" >/dev/null
    python3 - "$work/run.json" <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(f"   hyperfine, {len(r['times'])} runs: median {r['median']*1000:.1f} ms, "
      f"min {r['min']*1000:.1f} ms, max {r['max']*1000:.1f} ms, "
      f"user {r['user']*1000:.1f} ms, system {r['system']*1000:.1f} ms (means)")
EOF
  else
    times=()
    for ((n = 0; n < runs; ++n)); do
      start=$(date +%s%N)
      "$quillmap" -cfg "$cfg" >/dev/null
      times+=($((($(date +%s%N) - start) / 1000)))
    done
    sorted=$(printf '%s\n' "${times[@]}" | sort -n)
    median=$(sed -n "$(((runs + 1) / 2))p" <<<"$sorted")
    echo "   $runs runs: median $((median / 1000)) ms, min $(($(head -1 <<<"$sorted") / 1000)) ms," \
      "max $(($(tail -1 <<<"$sorted") / 1000)) ms"
  fi
done
