#!/usr/bin/env bash
# Times the reachability queries on the sources of Linux 6.1 (Debian's linux-source-6.1): the
# C-aware scan of the whole tree with the catch-all filter, then the same run answering -reach,
# -why and -dead, and a run with a call rule and a SARIF log. Each figure is the best of RUNS
# runs (wall time and peak resident memory from /usr/bin/time).
#
#   bench/reach_bench.sh [BUILD_DIR]    (default build/; RUNS=3, TREE=/work/corpus/linux-source-6.1)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
quillmap=$build/quillmap
runs=${RUNS:-3}
tree=${TREE:-/work/corpus/linux-source-6.1}
work=${TMPDIR:-/tmp}/quillmap-reach-bench
[[ -x $quillmap ]] || { echo "reach_bench: build $quillmap first" >&2; exit 2; }
if [[ ! -d $tree ]]; then
  tree=$work/linux-source-6.1
  [[ -d $tree ]] || { mkdir -p "$work"; tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$work"; }
fi
mkdir -p "$work"
cfg=$work/all.cfg
{
  echo "[scan]"
  echo "syntax=c"
  echo "[files]"
  (cd "$tree" && find . -name '*.c' | LC_ALL=C sort | sed "s#^\./#$tree/#") |
    awk '{ printf "file%d=%s\n", NR - 1, $0 }'
  echo "[calls]"
  echo "0=*"
  echo "[rules]"
  echo "entry=*_init, *_exit, sys_*, __x64_sys_*"
} >"$cfg"
rules_cfg=$work/rules.cfg
{ cat "$cfg"; echo "forbid_reach_0=*_irq_handler, *_isr -> kmalloc, vmalloc, printk"; } >"$rules_cfg"
# best CFG ARGS...: the best wall time (s) and peak RSS (MB) of $runs runs.
best() {
  local config=$1 best_s= best_mb=
  shift
  for ((r = 0; r < runs; ++r)); do
    /usr/bin/time -f '%e %M' -o "$work/time" "$quillmap" -cfg "$config" "$@" >"$work/answer" 2>/dev/null || true
    read -r s kb < <(tail -n 1 "$work/time")
    if [[ -z $best_s ]] || awk -v a="$s" -v b="$best_s" 'BEGIN { exit !(a < b) }'; then best_s=$s; fi
    mb=$((kb / 1024))
    if [[ -z $best_mb || $mb -lt $best_mb ]]; then best_mb=$mb; fi
  done
  echo "$best_s $best_mb"
}
cat "$cfg" >/dev/null  # the file list into the page cache
find "$tree" -name '*.c' -print0 | xargs -0 cat >/dev/null
read -r scan_s scan_mb < <(best "$cfg")
read -r reach_s reach_mb < <(best "$cfg" -reach vfs_read)
reach_lines=$(($(wc -l <"$work/answer") - 1))
read -r callers_s callers_mb < <(best "$cfg" -reach kmalloc -direction callers)
callers_lines=$(($(wc -l <"$work/answer") - 1))
read -r why_s why_mb < <(best "$cfg" -why start_kernel,vfs_read)
why_lines=$(($(wc -l <"$work/answer") - 1))
read -r dead_s dead_mb < <(best "$cfg" -dead all)
dead_lines=$(($(wc -l <"$work/answer") - 1))
read -r rule_s rule_mb < <(best "$rules_cfg" -sarif "$work/out.sarif")
results=$(python3 -c "import json; print(len(json.load(open('$work/out.sarif'))['runs'][0]['results']))")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "tree: $tree ($(grep -c '^file' "$cfg") .c files), best of $runs, $(date -u '+%Y-%m-%d %H:%M UTC')"
printf '| run | wall s | peak MB | x scan | answer |\n|---|---|---|---|---|\n'
printf '| scan alone | %s | %s | 1.00 | |\n' "$scan_s" "$scan_mb"
printf '| -reach vfs_read | %s | %s | %s | %s functions |\n' "$reach_s" "$reach_mb" "$(ratio "$reach_s" "$scan_s")" "$reach_lines"
printf '| -reach kmalloc -direction callers | %s | %s | %s | %s functions |\n' "$callers_s" "$callers_mb" "$(ratio "$callers_s" "$scan_s")" "$callers_lines"
printf '| -why start_kernel,vfs_read | %s | %s | %s | %s steps |\n' "$why_s" "$why_mb" "$(ratio "$why_s" "$scan_s")" "$why_lines"
printf '| -dead all | %s | %s | %s | %s functions |\n' "$dead_s" "$dead_mb" "$(ratio "$dead_s" "$scan_s")" "$dead_lines"
printf '| forbid_reach rule + SARIF | %s | %s | %s | %s results |\n' "$rule_s" "$rule_mb" "$(ratio "$rule_s" "$scan_s")" "$results"
