#!/usr/bin/env bash
# The resolved mode ([scan] syntax=c, resolve=yes) on Linux 6.1:
#   - speed and memory: the whole tree (every *.c) in the C-aware mode with and without
#     resolve=yes, with the kernel benchmark's 10 filters and with the filter "*" (one run each,
#     interleaved; wall time, CPU time and peak memory from /usr/bin/time);
#   - precision on fs/: "*" with the JSON export, then bench/resolve_precision.py: targets per
#     dispatch site, edges whose target's parameter count differs from the call's argument count,
#     and the targets of file->f_op->read_iter;
#   - static namesakes on the whole tree: the functions that got a node of their own, and the
#     direct calls bound to a static function of another file (there must be none).
#
#   bench/resolve_bench.sh [--runs N]
#
# Environment: QUILLMAP_BUILD (Release build folder, default build), LINUX_TREE (default
# /work/corpus/linux-source-6.1), QUILLMAP_BENCH_DIR (default /var/tmp/quillmap-bench/resolve:
# configurations, outputs, report.md).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build}
tree=${LINUX_TREE:-/work/corpus/linux-source-6.1}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench/resolve}
runs=1
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    -h | --help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "resolve_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done
quillmap=$build/quillmap
[[ -x $quillmap ]] || { echo "resolve_bench: build $quillmap first" >&2; exit 1; }
mkdir -p "$work"
(cd "$tree" && find . -name '*.c' | LC_ALL=C sort | sed "s#^\./#$tree/#") >"$work/all.txt"
(cd "$tree" && find fs -name '*.c' | LC_ALL=C sort | sed "s#^#$tree/#") >"$work/fs.txt"

ten_filters='[calls]
0=mutex_lock,lock,lock
1=spin_lock,lock,lock
2=kmalloc,mem,mem
3=kfree,mem,mem
4=queue_work,wq,wq
5=printk,log
6=schedule,sched
7=wake_up,sched
8=kzalloc,mem,mem
9=rcu_read_lock,lock,lock
[reject]
0=pr_debug'

# config NAME LIST RESOLVE FILTERS [JSON]
config() {
  mkdir -p "$work/$1"
  {
    echo "[scan]"
    echo "syntax=c"
    [[ $3 == yes ]] && echo "resolve=yes"
    echo "[files]"
    echo "dot=$work/$1/callgraph.dot"
    echo "csv=$work/$1/callgraph.csv"
    [[ -n ${5:-} ]] && echo "json=$work/$1/callgraph.json"
    awk '{ printf "file%d=%s\n", NR - 1, $0 }' "$2"
    echo "$4"
  } >"$work/$1.cfg"
}
config ten_plain "$work/all.txt" no "$ten_filters"
config ten_resolved "$work/all.txt" yes "$ten_filters"
config all_plain "$work/all.txt" no $'[calls]\n0=*'
config all_resolved "$work/all.txt" yes $'[calls]\n0=*' json
config fs_resolved "$work/fs.txt" yes $'[calls]\n0=*' json

report=$work/report.md
: >"$report"
say() { echo "$*" | tee -a "$report"; }
measure() {  # measure NAME: one run, "wall s, cpu s, MB"
  /usr/bin/time -f '%e %U %S %M' -o "$work/$1.time" "$quillmap" -cfg "$work/$1.cfg" \
    >"$work/$1.log" 2>&1 || true
  read -r wall user sys rss <"$work/$1.time"
  printf '%s: %.1f s wall, %.1f s CPU, %d MB peak\n' "$1" "$wall" \
    "$(echo "$user + $sys" | bc)" $((rss / 1024))
}
say "# resolve_bench $(date -u '+%F %H:%M UTC'), $(wc -l <"$work/all.txt") files, $(nproc) cores"
for ((r = 0; r < runs; ++r)); do
  for name in ten_plain ten_resolved all_plain all_resolved; do say "$(measure $name)"; done
done
say "$(tail -1 "$work/all_resolved.log" | tr -d '\r')"
say "$(measure fs_resolved)"
say "$(tail -1 "$work/fs_resolved.log" | tr -d '\r')"
say "## fs/ precision"
say "$(python3 "$repo/bench/resolve_precision.py" "$work/fs_resolved/callgraph.json" \
  'file->f_op->read_iter')"
say "## static namesakes, whole tree"
say "$(python3 - "$work/all_resolved/callgraph.json" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
f = d['functions']
own = sum(1 for x in f if x['node'] != x['name'])
names = {}
for x in f:
    names.setdefault(x['name'], set()).add(x['file'])
shared = sum(1 for s in names.values() if len(s) > 1)
wrong = sum(1 for c in d['calls'] if c['kind'] == 'direct' and c['calleeIndex'] is not None
            and f[c['calleeIndex']]['linkage'] == 'static' and f[c['calleeIndex']]['file'] != c['file'])
print(f'{len(f)} functions; {shared} names defined in more than one file; {own} static '
      f'functions with a node of their own; direct calls bound to another file\'s static '
      f'function: {wrong}')
PY
)"
