#!/usr/bin/env bash
# Peak memory of the C-aware scan of one 40 MB source line full of calls (7 million "g(1);" in
# one function), with a DOT file: what a call in flight between the scanner's worker and the
# recorder costs. Prints the wall time and the peak memory of /usr/bin/time -v.
#
#   bench/long_line_bench.sh [QUILLMAP]      (default: build/quillmap)
set -euo pipefail

quillmap=$(realpath "${1:-build/quillmap}")
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}/line
mkdir -p "$work"
cd "$work"
[[ -f long.c ]] || python3 -c "
import sys
sys.stdout.write('void f(void)\n{\n  ' + 'g(1); ' * (40 * 1024 * 1024 // 6) + '\n}\n')" >long.c
printf '[scan]\nsyntax=c\n[files]\ndot=out.dot\nfile0=long.c\n[calls]\n0=*\n' >a.cfg
/usr/bin/time -v "$quillmap" -cfg a.cfg >log.txt 2>time.txt
grep -E 'Elapsed|Maximum resident' time.txt
