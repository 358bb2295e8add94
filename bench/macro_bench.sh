#!/usr/bin/env bash
# The resolved mode with macros on Linux 6.1: the whole tree (every *.c, filter "*") in the
# C-aware mode without resolve=yes, against the resolved mode with the macros of every header of
# the tree ([files] header0=TREE/**/*.h), and the resolved mode without headers (the sources'
# own macros only). BENCH_CONFIGS picks some of "caware resolved macros". One run each, interleaved; wall time, CPU time and peak
# memory from /usr/bin/time. Targets: at most 2x the time of the C-aware mode, at most 400 MB.
#
#   bench/macro_bench.sh [--runs N]
#
# Environment: QUILLMAP_BUILD (Release build folder, default build), LINUX_TREE (default
# /work/corpus/linux-source-6.1), QUILLMAP_BENCH_DIR (default /var/tmp/quillmap-bench/macros).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build}
tree=${LINUX_TREE:-/work/corpus/linux-source-6.1}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench/macros}
runs=1
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "macro_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done
quillmap=$build/quillmap
[[ -x $quillmap ]] || { echo "macro_bench: build $quillmap first" >&2; exit 1; }
mkdir -p "$work"

# config NAME RESOLVE [HEADERS]
config() {
  mkdir -p "$work/$1"
  {
    echo "[scan]"
    echo "syntax=c"
    [[ $2 == yes ]] && echo "resolve=yes"
    echo "[files]"
    echo "csv=$work/$1/callgraph.csv"
    echo "file0=$tree/**/*.c"
    [[ ${3:-} == headers ]] && echo "header0=$tree/**/*.h"
    echo "[calls]"
    echo "0=*"
  } >"$work/$1/scan.cfg"
}
config caware no
config resolved yes
config macros yes headers

echo "# macro_bench $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load: $(uptime | sed 's/.*load average: //')"
echo "| run | wall s | CPU s | peak MB | summary |"
echo "|---|---|---|---|---|"
for ((r = 0; r < runs; r++)); do
  for name in ${BENCH_CONFIGS:-caware resolved macros}; do
    /usr/bin/time -f '%e %U %S %M' -o "$work/$name/time.txt" \
      "$quillmap" -cfg "$work/$name/scan.cfg" >"$work/$name/log.txt" 2>&1 || true
    read -r wall user sys peak <"$work/$name/time.txt"
    echo "| $name | $wall | $(echo "$user + $sys" | bc) | $((peak / 1024)) | $(tail -1 "$work/$name/log.txt") |"
  done
done
echo "load after: $(uptime | sed 's/.*load average: //')"
