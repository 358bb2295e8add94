#!/usr/bin/env bash
# Times a scan through the dialog window against the batch mode on the Linux 6.1 configurations
# that bench/kernel_bench.sh writes (drivers/ and the whole tree):
#   bench/dialog_bench.sh BUILD_DIR [RUNS]
# The dialog's times run from the click on SCAN to the status saying the run ended, and to the
# toolkit being idle again (the log laid out); the batch mode's is the whole program's wall time.
# CPU: user and system time of the batch mode's process, and of the dialog's process from the
# click to idle again (window and run threads together).
# Prints a Markdown table for bench/RESULTS.md.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
runs=${2:-3}
root=/var/tmp/quillmap-bench
tree=$root/linux-source-6.1
cfgs=$root/cfg
[ -d "$tree" ] || { echo "no Linux tree under $root: run bench/kernel_bench.sh first" >&2; exit 1; }

# drivers/: the configuration kernel_bench.sh writes, made here when it is missing.
if [ ! -f "$cfgs/callgraph_drivers.cfg" ]; then
  (cd "$tree" && find drivers -name '*.c' | LC_ALL=C sort | sed "s#^#$tree/#") > "$cfgs/drivers.txt"
  mkdir -p "$root/out/callgraph_drivers"
  {
    echo "[files]"
    echo "dot=$root/out/callgraph_drivers/callgraph.dot"
    echo "csv=$root/out/callgraph_drivers/callgraph.csv"
    awk '{ printf "file%d=%s\n", NR - 1, $0 }' "$cfgs/drivers.txt"
    sed -n '/^\[calls\]/,$p' "$cfgs/callgraph_all.cfg"
  } > "$cfgs/callgraph_drivers.cfg"
fi

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

paging=()
echo "| configuration | files | batch mode (s) | dialog, run ended (s) | ratio | dialog, idle again (s) | ratio | CPU batch (s) | CPU dialog (s) |"
echo "|---|---|---|---|---|---|---|---|---|"
for name in callgraph_drivers callgraph_all; do
  cfg=$cfgs/$name.cfg
  files=$(grep -c '^file[0-9]*=' "$cfg")
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S' "$build/quillmap" -cfg "$cfg" 2>&1 > /dev/null | tail -1
  done > "$tmp"
  batch=$(awk '{ print $1 }' "$tmp" | median)
  batchCpu=$(awk '{ printf "%.2f\n", $2 + $3 }' "$tmp" | median)
  "$here/../tests/run-with-xvfb.sh" "$build/bench/dialog_bench" "$cfg" "$runs" > "$tmp"
  ended=$(awk '/^dialog / { print $2 }' "$tmp" | median)
  idle=$(awk '/^dialog / { print $3 }' "$tmp" | median)
  dialogCpu=$(awk '/^dialog / { print $4 }' "$tmp" | median)
  ratio() { awk -v d="$1" -v b="$batch" 'BEGIN { printf "%.2f", d / b }'; }
  echo "| $name | $files | $batch | $ended | $(ratio "$ended") | $idle | $(ratio "$idle") | $batchCpu | $dialogCpu |"
  paging+=("$(awk -v n="$name" '/^pages / { printf "%s: %d pages of a %d-line log, %.2f ms a page drawn", n, $2, $3, $4 }' "$tmp")")
done
echo
printf -- '- %s\n' "${paging[@]}"
