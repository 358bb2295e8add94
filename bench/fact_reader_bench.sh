#!/usr/bin/env bash
# The fact reader of the resolved mode on Linux 6.1: two builds (BEFORE and AFTER) on the whole
# tree (every *.c, filter "*", DOT), the resolved mode without headers and with the macros of
# every header ([files] header0=TREE/**/*.h, what -init writes), interleaved run by run. Wall
# time, user CPU and peak memory from /usr/bin/time with the load beside each; the activity log
# and the DOT of the two builds are compared (the DOT's first line, which names the program and
# the time, left out).
#
#   bench/fact_reader_bench.sh BEFORE AFTER [--runs N]
#
# Environment: LINUX_TREE (default /work/corpus/linux-source-6.1), QUILLMAP_BENCH_DIR (default
# /var/tmp/quillmap-bench/facts), BENCH_CONFIGS (some of "resolved headers").
set -euo pipefail

(($# >= 2)) || { sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
before=$1 after=$2
shift 2
runs=1
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    *) echo "fact_reader_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done
tree=${LINUX_TREE:-/work/corpus/linux-source-6.1}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench/facts}
for b in "$before" "$after"; do [[ -x $b ]] || { echo "fact_reader_bench: no $b" >&2; exit 1; }; done

# config NAME BUILD [headers]
config() {
  mkdir -p "$work/$2/$1"
  {
    echo "[scan]"
    echo "syntax=c"
    echo "resolve=yes"
    echo "[files]"
    echo "dot=$work/$2/$1/callgraph.dot"
    echo "file0=$tree/**/*.c"
    [[ ${3:-} == headers ]] && echo "header0=$tree/**/*.h"
    echo "[calls]"
    echo "0=*"
  } >"$work/$2/$1/scan.cfg"
}
for b in before after; do
  config resolved $b
  config headers $b headers
done

echo "# fact_reader_bench $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"
echo "| run | build | wall s | user s | peak MB | load (1 min) |"
echo "|---|---|---|---|---|---|"
for ((r = 0; r < runs; r++)); do
  for name in ${BENCH_CONFIGS:-resolved headers}; do
    for b in before after; do
      bin=$before
      [[ $b == after ]] && bin=$after
      load=$(uptime | sed 's/.*load average: //; s/,.*//')
      /usr/bin/time -f '%e %U %M' -o "$work/$b/$name/time.txt" \
        "$bin" -cfg "$work/$b/$name/scan.cfg" >"$work/$b/$name/log.txt" 2>&1 || true
      read -r wall user peak <"$work/$b/$name/time.txt"
      echo "| $name | $b | $wall | $user | $((peak / 1024)) | $load |"
    done
    same=yes
    cmp -s <(sed 1d "$work/before/$name/callgraph.dot") <(sed 1d "$work/after/$name/callgraph.dot") ||
      same=no
    cmp -s <(sed "s#$work/before/#X/#g" "$work/before/$name/log.txt") \
      <(sed "s#$work/after/#X/#g" "$work/after/$name/log.txt") || same=no
    echo "| $name | outputs identical: $same | | | | |"
  done
done
