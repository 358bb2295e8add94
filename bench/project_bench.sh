#!/usr/bin/env bash
# Times whole-project input on the sources of Linux 6.1 (Debian's linux-source-6.1):
#   - resolving "file0=**/*.c" over the tree (source_lists_bench: wall and processor time) against
#     resolving the same 32,004 files listed one key each;
#   - whole runs of each configuration (warm, interleaved; wall and processor time), whose
#     activity logs must be identical;
#   - "quillmap -init" on the tree, then a run of the configuration it wrote, with every DOT file
#     checked by Graphviz without layout (nop: syntax; gc: node and edge counts).
#
#   bench/project_bench.sh [--runs N]
#
# Environment: QUILLMAP_BUILD (Release build folder, default build-perf; configured and built
# first), QUILLMAP_BENCH_DIR (default /var/tmp/quillmap-bench: the unpacked tree, shared with
# kernel_bench.sh, and project/ for the configurations and outputs). -init writes quillmap.cfg and
# its outputs into the unpacked tree, which this script owns; an earlier one is removed first.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build-perf}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}
runs=10
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    -h | --help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "project_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

for tool in nop gc bc; do
  command -v "$tool" >/dev/null || { echo "project_bench: $tool is missing" >&2; exit 1; }
done
[[ -f /usr/src/linux-source-6.1.tar.xz ]] || {
  echo "project_bench: /usr/src/linux-source-6.1.tar.xz is missing (apt-get install linux-source-6.1)" >&2
  exit 1
}
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quillmap source_lists_bench >/dev/null
quillmap=$build/quillmap

tree=$work/linux-source-6.1
if [[ ! -d $tree ]]; then
  mkdir -p "$work"
  tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$work"
fi
dir=$work/project
mkdir -p "$dir/out"
cd "$dir"

filters='[calls]
0=mutex_lock,lock,lock
1=spin_lock,lock,lock
2=kmalloc
3=kfree
4=queue_work,wq,wq
5=printk
6=schedule
7=wake_up
8=kzalloc
9=rcu_read_lock
[reject]
0=EXPORT_SYMBOL'
# The same files both ways: regular files only (a link to a file already listed is not added
# twice by the pattern), in byte order.
(cd "$tree" && find . -name '*.c' -type f | LC_ALL=C sort | sed "s#^\./#$tree/#") >listed.txt
{
  printf '[files]\ndot=out/calls.dot\ncsv=out/calls.csv\n'
  awk '{print "file" NR-1 "=" $0}' listed.txt
  echo "$filters"
} >listed.cfg
{
  printf '[files]\ndot=out/calls.dot\ncsv=out/calls.csv\nfile0=%s/**/*.c\n' "$tree"
  echo "$filters"
} >pattern.cfg

echo "## project_bench: $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "- quillmap at commit $(git -C "$repo" rev-parse --short HEAD), $(nproc) cores"
echo "- files: $(wc -l <listed.txt) listed one key each; the pattern: $tree/**/*.c"
echo
echo "### Resolving the source list alone ($runs runs each)"
for cfg in pattern listed; do
  echo "- $cfg.cfg: $("$build/bench/source_lists_bench" --runs "$runs" "$cfg.cfg")"
done

echo
echo "### Whole runs (one warm-up run each, then $runs runs each, interleaved)"
"$quillmap" -cfg pattern.cfg | sed 1d >pattern.log
"$quillmap" -cfg listed.cfg | sed 1d >listed.log
if cmp -s pattern.log listed.log; then
  echo "- activity logs identical ($(wc -c <pattern.log) bytes)"
else
  echo "- activity logs DIFFER"
fi
# Interleaved, so that a change of the machine's load meets both alike; processor time (user and
# system) as well as wall time, because on a shared machine the wall time follows the load.
"$quillmap" -cfg pattern.cfg >/dev/null
"$quillmap" -cfg listed.cfg >/dev/null
: >runs.txt
for ((i = 0; i < runs; i++)); do
  for cfg in pattern listed; do
    /usr/bin/time -f "$cfg %e %U %S" -a -o runs.txt "$quillmap" -cfg $cfg.cfg >/dev/null
  done
done
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
for cfg in pattern listed; do
  wall=$(awk -v c=$cfg '$1 == c {print $2 * 1000}' runs.txt | median)
  cpu=$(awk -v c=$cfg '$1 == c {print ($3 + $4) * 1000}' runs.txt | median)
  printf -- '- %s: wall median %d ms, CPU (user+system) median %d ms\n' $cfg "$wall" "$cpu"
  eval "${cfg}_wall=$wall ${cfg}_cpu=$cpu"
done
printf -- '- pattern minus listed (medians): wall %d ms, CPU %d ms\n' \
  $((pattern_wall - listed_wall)) $((pattern_cpu - listed_cpu))
echo
echo "### quillmap -init on the tree, then a run of what it wrote"
rm -f "$tree"/quillmap.cfg "$tree"/quillmap.dot "$tree"/quillmap.csv "$tree"/quillmap_modules.*
start=$(date +%s.%N)
"$quillmap" -init "$tree" >/dev/null
init_s=$(echo "$(date +%s.%N) - $start" | bc)
modules=$(grep -c '^mod_[0-9]*=' "$tree/quillmap.cfg")
start=$(date +%s.%N)
set +e
(cd "$tree" && "$quillmap" -cfg quillmap.cfg >"$dir/init_run.log")
status=$?
set -e
run_s=$(echo "$(date +%s.%N) - $start" | bc)
printf -- '- -init: %.2f s, %d modules; the run: %.2f s, exit status %d, last entry: %s\n' \
  "$init_s" "$modules" "$run_s" "$status" "$(tail -1 "$dir/init_run.log")"
for dot in quillmap.dot quillmap_modules.dot; do
  if nop "$tree/$dot" >/dev/null 2>"$dir/nop.err"; then verdict="accepted"; else verdict="REJECTED: $(head -1 "$dir/nop.err")"; fi
  printf -- '- %s: %s bytes, Graphviz (nop) %s; gc: %s\n' "$dot" "$(wc -c <"$tree/$dot")" \
    "$verdict" "$(gc "$tree/$dot" 2>&1 | tr -s ' ' | sed 's/^ //')"
done
echo "- load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
