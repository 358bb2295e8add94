#!/usr/bin/env bash
# The whole Linux 6.1 tree in the runs a user makes, each beside the read floor of the same
# moment (bench/read_floor: every listed file read with two threads):
#   caware     syntax=c, the filter "*", call graph DOT
#   modules    the same with one module per top-level folder (module DOT)
#   resolve    caware with resolve=yes
#   headers    resolve with header0=**/*.h (the macros of every header)
#   init       the configuration `quillmap -init` writes (resolve, headers, modules)
#   f10        the kernel benchmark's 10 filters over a list of every .c file (DOT and CSV)
#   f10r       f10 with resolve=yes
# One run each (wall, user and system seconds and peak memory from /usr/bin/time), with the
# load average beside it. With BASELINE=BINARY every run is made with that binary too, right
# before, and the outputs of the two are compared (the DOT files without their first line, the
# activity logs without their output paths).
#
#   bench/whole_tree_bench.sh [RUN...]        (default: every run above)
#
# Environment: QUILLMAP_BUILD (Release build folder, default build), LINUX_TREE (default
# /work/corpus/linux-source-6.1), QUILLMAP_BENCH_DIR (default /var/tmp/quillmap-bench/whole:
# configurations, outputs, report.md), BASELINE (a quillmap binary to compare with).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build}
tree=${LINUX_TREE:-/work/corpus/linux-source-6.1}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench/whole}
baseline=${BASELINE:-}
quillmap=$build/quillmap
floor=$build/bench/read_floor
for tool in "$quillmap" "$floor"; do
  [[ -x $tool ]] || { echo "whole_tree_bench: $tool not built" >&2; exit 1; }
done
[[ -d $tree ]] || { echo "whole_tree_bench: no tree at $tree" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "whole_tree_bench: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
runs=("$@")
((${#runs[@]})) || runs=(caware modules resolve headers init f10 f10r)
mkdir -p "$work"

# --- The configurations ------------------------------------------------------------------------
# Patterns in a configuration are relative to its folder: they are written into the tree, under
# names of their own, and removed at the end.
trap 'rm -f "$tree"/.whole-tree-bench-*.cfg' EXIT
(cd "$tree" && find . -name '*.c' | LC_ALL=C sort | sed "s#^\./#$tree/#") >"$work/sources.txt"
# -init writes quillmap.cfg into the tree: one there already is put aside meanwhile.
init_cfg=$tree/.whole-tree-bench-init.cfg
[[ -e $tree/quillmap.cfg ]] && mv "$tree/quillmap.cfg" "$work/quillmap.cfg.aside"
"$quillmap" -init "$tree" >/dev/null
mv "$tree/quillmap.cfg" "$init_cfg"
[[ -e $work/quillmap.cfg.aside ]] && mv "$work/quillmap.cfg.aside" "$tree/quillmap.cfg"

filters() {
  sed -n '/^filter_sections() {/,/^}/p' "$repo/bench/kernel_bench.sh" | sed '1,2d;$d' | sed '$d'
}

# config NAME SIDE: the configuration of run NAME writing into $work/SIDE/.
config() {
  local name=$1 out=$work/$2 cfg=$tree/.whole-tree-bench-$1-$2.cfg
  mkdir -p "$out"
  case $name in
    init | modules)
      sed -e "s#^dot=quillmap.dot#dot=$out/$name.dot#" \
          -e "s#^dot=quillmap_modules.dot#dot=$out/${name}_modules.dot#" "$init_cfg" >"$cfg"
      if [[ $name == modules ]]; then sed -i -e '/^resolve=yes/d' -e '/^header0=/d' "$cfg"; fi
      ;;
    caware | resolve | headers)
      {
        echo "[scan]"
        echo "syntax=c"
        [[ $name != caware ]] && echo "resolve=yes"
        echo "[files]"
        echo "dot=$out/$name.dot"
        echo "file0=**/*.c"
        [[ $name == headers ]] && echo "header0=**/*.h"
        echo "[calls]"
        echo "0=*"
      } >"$cfg"
      ;;
    f10 | f10r)
      {
        echo "[scan]"
        echo "syntax=c"
        [[ $name == f10r ]] && echo "resolve=yes"
        echo "[files]"
        echo "dot=$out/$name.dot"
        echo "csv=$out/$name.csv"
        awk '{ printf "file%d=%s\n", NR - 1, $0 }' "$work/sources.txt"
        filters
      } >"$cfg"
      ;;
    *) echo "whole_tree_bench: unknown run $name" >&2; exit 2 ;;
  esac
  echo "$cfg"
}

# timed BINARY CFG LOG: prints "wall user sys peakMB".
timed() {
  (cd "$tree" && /usr/bin/time -o "$3.time" -f '%e %U %S %M' "$1" -cfg "$2" >"$3" 2>"$3.err") || true
  awk '{ printf "%s %s %s %d", $1, $2, $3, $4 / 1024 }' "$3.time"
}

same_outputs() {
  local name=$1 ok=yes
  for file in "$work/new/$name.dot" "$work/new/${name}_modules.dot" "$work/new/$name.csv"; do
    [[ -f $file ]] || continue
    local old=$work/old/${file##*/}
    cmp -s <(tail -n +2 "$old" | grep -v '^// ') <(tail -n +2 "$file" | grep -v '^// ') || ok="no (${file##*/})"
  done
  cmp -s <(grep -v '^OUT\|^reading CFG\|time' "$work/old/$name.log" | sed "s#$work/old/##g; s#-old.cfg#.cfg#g") \
         <(grep -v '^OUT\|^reading CFG\|time' "$work/new/$name.log" | sed "s#$work/new/##g; s#-new.cfg#.cfg#g") ||
    ok="no (activity log)"
  echo "$ok"
}

report=$work/report.md
{
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $("$quillmap" --version 2>/dev/null | head -1)"
  echo
  echo "| run | read floor | wall | user + sys | peak | x floor |${baseline:+ baseline wall | baseline user + sys | baseline peak | same outputs |} load |"
  echo "|---|---|---|---|---|---|${baseline:+---|---|---|---|}---|"
} >"$report"
for name in "${runs[@]}"; do
  new_cfg=$(config "$name" new)
  list=$work/sources.txt
  if [[ $name == headers || $name == init ]]; then
    list=$work/sources-and-headers.txt
    (cd "$tree" && find . -name '*.[ch]' | sed "s#^\./#$tree/#") >"$list"
  fi
  "$floor" "$list" >/dev/null  # warms the page cache
  floor_s=$("$floor" "$list" | awk '{ print $1 }')
  row=""
  if [[ -n $baseline ]]; then
    old_cfg=$(config "$name" old)
    read -r bw bu bs bm <<<"$(timed "$baseline" "$old_cfg" "$work/old/$name.log")"
  fi
  read -r w u s m <<<"$(timed "$quillmap" "$new_cfg" "$work/new/$name.log")"
  x=$(awk -v w="$w" -v f="$floor_s" 'BEGIN { printf "%.0fx", w / f }')
  row="| $name | $floor_s s | $w s | $(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.1f", u + s }') s | $m MB | $x |"
  if [[ -n $baseline ]]; then
    row+=" $bw s | $(awk -v u="$bu" -v s="$bs" 'BEGIN { printf "%.1f", u + s }') s | $bm MB | $(same_outputs "$name") |"
  fi
  row+=" $(cut -d' ' -f1 /proc/loadavg) |"
  echo "$row" | tee -a "$report"
done
echo
echo "report: $report"
