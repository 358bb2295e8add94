#!/usr/bin/env bash
# Times Quillmap on the sources of Linux 6.1 (Debian's linux-source-6.1) and compares:
#   - the call graph of fs/ (about 1,329 files, 10 filters, DOT and CSV) with `grep -c -F` of the
#     same patterns over the same files, and with `cflow -f dot` on them;
#   - the call graph of every *.c of the tree (about 32,000 files) with grep;
#   - the module graph of fs/ (one module per subfolder, 79) and of kernel/ (10 modules);
#   - the peak memory of each run (/usr/bin/time -v) and the opens of each output (strace);
#   - the fast engines with the reference engines (QUILLMAP_ENGINE=reference) on kernel/: time,
#     and every output and the activity log byte for byte;
#   - each slow place alone (QUILLMAP_ENGINE=reference-writer, -reader, -modules, -sources): one
#     part with its reference engine against all fast, on fs/.
# Everything runs warm (hyperfine warm-up runs); figures are medians with min and max.
#
#   bench/kernel_bench.sh [--runs N] [--no-cflow] [--no-reference]
#
# cflow runs once, last, and is stopped after CFLOW_LIMIT seconds (default 1800).
#
# Environment: QUILLMAP_BUILD (Release build folder, default build-perf; configured and built
# first), QUILLMAP_BENCH_DIR (default /var/tmp/quillmap-bench: the unpacked
# tree, configurations, outputs and results; outside the repository). The report is printed
# and kept as $QUILLMAP_BENCH_DIR/report.md. Installs what it needs with apt-get (as root).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMAP_BUILD:-$repo/build-perf}
work=${QUILLMAP_BENCH_DIR:-/var/tmp/quillmap-bench}
runs=10
cflow_limit=${CFLOW_LIMIT:-1800}
with_cflow=1
with_reference=1
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --no-cflow) with_cflow=0; shift ;;
    --no-reference) with_reference=0; shift ;;
    -h | --help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "kernel_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

# --- What the benchmark needs (not part of the project's own package list) -------------------
bench_packages=(linux-source-6.1 cflow hyperfine jq time strace grep)
missing=()
for package in "${bench_packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "kernel_bench: missing packages: ${missing[*]} (run: apt-get install ${missing[*]})" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
quillmap=$build/quillmap
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quillmap >/dev/null

# --- The tree, the file lists and the configurations ------------------------------------------
tree=$work/linux-source-6.1
if [[ ! -d $tree ]]; then
  mkdir -p "$work"
  tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$work"
fi
cfg=$work/cfg
out=$work/out
results=$work/results
mkdir -p "$cfg" "$out" "$results"
(cd "$tree" && find fs -name '*.c' | LC_ALL=C sort | sed "s#^#$tree/#") >"$cfg/fs.txt"
(cd "$tree" && find . -name '*.c' | LC_ALL=C sort | sed "s#^\./#$tree/#") >"$cfg/all.txt"
(cd "$tree" && find kernel -name '*.c' | LC_ALL=C sort | sed "s#^#$tree/#") >"$cfg/kernel.txt"

# The filters: realistic kernel API, one edge style with the call's first argument.
patterns=(mutex_lock spin_lock kmalloc kfree queue_work printk schedule wake_up kzalloc
          rcu_read_lock)
printf '%s\n' "${patterns[@]}" >"$cfg/patterns.txt"
filter_sections() {
  cat <<'EOF'
[calls]
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
0=pr_debug
[dot]
graph_cfg0=rankdir=LR
node_cfglock=[shape=octagon]
node_cfgmem=[shape=box]
node_cfgwq=[shape=ellipse]
node_cfglog=[shape=note]
node_cfgsched=[shape=diamond]
call_cfglock=[color=red]
call_cfgmem=[color=blue]
call_cfgwq=[label=$0]
call_cfg=[style=dashed]
EOF
}

# callgraph_config NAME FILE_LIST: both outputs into $out/NAME/.
callgraph_config() {
  mkdir -p "$out/$1"
  {
    echo "[files]"
    echo "dot=$out/$1/callgraph.dot"
    echo "csv=$out/$1/callgraph.csv"
    awk '{ printf "file%d=%s\n", NR - 1, $0 }' "$2"
    filter_sections
  } >"$cfg/$1.cfg"
}

# modules_config NAME ROOT [SUBFOLDER...]: the .c files directly in ROOT as one module, each
# subfolder (all its .c files, recursively) as another; the call graph part scans one file.
modules_config() {
  local name=$1 root=$2
  shift 2
  mkdir -p "$out/$name"
  {
    echo "[files]"
    echo "file0=$tree/$root/$(cd "$tree/$root" && ls *.c | LC_ALL=C sort | head -1)"
    echo "[calls]"
    echo "0=mutex_lock"
    echo "[modules]"
    echo "log=$out/$name/modules.log"
    echo "dot=$out/$name/modules.dot"
    echo "graph_cfg0=rankdir=LR"
    local i=0 n
    echo "mod_$i=$(basename "$root")"
    n=0
    for file in $(cd "$tree" && ls "$root"/*.c | LC_ALL=C sort); do
      echo "mod_${i}_file_$n=$tree/$file"; n=$((n + 1))
    done
    for folder in "$@"; do
      i=$((i + 1))
      echo "mod_$i=$folder"
      echo "mod_${i}_dot_clu_0=style=filled;"
      echo "mod_${i}_dot_call=[color=gray40]"
      n=0
      for file in $(cd "$tree" && find "$root/$folder" -name '*.c' | LC_ALL=C sort); do
        echo "mod_${i}_file_$n=$tree/$file"; n=$((n + 1))
      done
    done
  } >"$cfg/$name.cfg"
}

callgraph_config callgraph_fs "$cfg/fs.txt"
callgraph_config callgraph_all "$cfg/all.txt"
callgraph_config callgraph_kernel "$cfg/kernel.txt"
# drivers/ (about 18,900 files) for the configuration reader: its file list alone is read by
# one lookup per file.
(cd "$tree" && find drivers -name '*.c' | LC_ALL=C sort | sed "s#^#$tree/#") >"$cfg/drivers.txt"
callgraph_config callgraph_drivers "$cfg/drivers.txt"
mapfile -t fs_folders < <(cd "$tree/fs" && find . -mindepth 1 -maxdepth 1 -type d | sed 's#^\./##' |
  LC_ALL=C sort)
modules_config modules_fs fs "${fs_folders[@]}"
modules_config modules_kernel kernel trace bpf time sched irq locking power module cgroup

# --- Timings --------------------------------------------------------------------------------
report=$work/report.md
: >"$report"
say() { echo "$*" | tee -a "$report"; }
files_of() { wc -l <"$1" | tr -d ' '; }
lines_of() { xargs -a "$1" cat | wc -l | tr -d ' '; }

say "## Kernel benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
say ""
say "- machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores," \
  "$(free -g | awk '/^Mem:/ { print $2 }') GB, $(uname -sr)"
say "- load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
say "- $("$quillmap" --version) ($build), $(grep --version | head -1), $(cflow --version | head -1)," \
  "$(hyperfine --version)"
say "- fs/: $(files_of "$cfg/fs.txt") files, $(lines_of "$cfg/fs.txt") lines;" \
  "whole tree: $(files_of "$cfg/all.txt") files, $(lines_of "$cfg/all.txt") lines;" \
  "kernel/: $(files_of "$cfg/kernel.txt") files"
say "- modules: fs/ $(grep -c '^mod_[0-9]*=' "$cfg/modules_fs.cfg"), kernel/" \
  "$(grep -c '^mod_[0-9]*=' "$cfg/modules_kernel.cfg")"
say ""

# hyperfine_run NAME RUNS NAME1 COMMAND1 [NAME2 COMMAND2 ...]: JSON into $results/NAME.json.
hyperfine_run() {
  local name=$1 count=$2
  shift 2
  local args=()
  while (($#)); do
    args+=(-n "$1" "$2")
    shift 2
  done
  hyperfine --style none --warmup 2 --runs "$count" --export-json "$results/$name.json" \
    "${args[@]}" >/dev/null
}
# median NAME COMMAND_NAME: the median in seconds.
median() {
  jq -r --arg n "$2" '.results[] | select(.command == $n) | .median' "$results/$1.json"
}
row() {
  jq -r --arg n "$2" '.results[] | select(.command == $n) |
    "| \(.command) | \(.median * 1000 | floor) ms | \(.min * 1000 | floor) ms | \(.max * 1000 | floor) ms | \(.times | length) |"' \
    "$results/$1.json"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

grep_cmd() { echo "xargs -a $1 grep -c -F -f $cfg/patterns.txt"; }
q_cmd() { echo "$quillmap -cfg $cfg/$1.cfg"; }

hyperfine_run callgraph_fs "$runs" \
  "quillmap call graph fs/" "$(q_cmd callgraph_fs)" \
  "grep -c -F fs/" "$(grep_cmd "$cfg/fs.txt")"
hyperfine_run callgraph_all "$((runs < 5 ? runs : 5))" \
  "quillmap call graph, whole tree" "$(q_cmd callgraph_all)" \
  "grep -c -F, whole tree" "$(grep_cmd "$cfg/all.txt")"
hyperfine_run modules_fs "$runs" "quillmap module graph fs/ (79 modules)" "$(q_cmd modules_fs)"
hyperfine_run modules_kernel "$runs" \
  "quillmap module graph kernel/ (10 modules)" "$(q_cmd modules_kernel)"

say "### Times (warm cache)"
say ""
say "| run | median | min | max | runs |"
say "|---|---|---|---|---|"
row callgraph_fs "quillmap call graph fs/" | tee -a "$report"
row callgraph_fs "grep -c -F fs/" | tee -a "$report"
row callgraph_all "quillmap call graph, whole tree" | tee -a "$report"
row callgraph_all "grep -c -F, whole tree" | tee -a "$report"
row modules_fs "quillmap module graph fs/ (79 modules)" | tee -a "$report"
row modules_kernel "quillmap module graph kernel/ (10 modules)" | tee -a "$report"
say ""

q_fs=$(median callgraph_fs "quillmap call graph fs/")
g_fs=$(median callgraph_fs "grep -c -F fs/")
q_all=$(median callgraph_all "quillmap call graph, whole tree")
g_all=$(median callgraph_all "grep -c -F, whole tree")
m_fs=$(median modules_fs "quillmap module graph fs/ (79 modules)")
say "### Ratios (medians of this run)"
say ""
say "- call graph fs/ / grep fs/: $(ratio "$q_fs" "$g_fs") (target at most 1.5)"
say "- call graph whole tree / grep whole tree: $(ratio "$q_all" "$g_all") (target at most 1.5)"
say "- module graph fs/ / call graph fs/: $(ratio "$m_fs" "$q_fs") (target at most 5)"
say ""

# --- Peak memory, opens of the outputs -------------------------------------------------------
say "### Peak memory (maximum resident set size) and opens of each output"
say ""
say "| run | peak memory | outputs opened (opens each) |"
say "|---|---|---|"
peak() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {
    printf "%.1f MB", $2 / 1024 }'
}
opens() {
  local config=$1 trace=$results/strace.txt
  strace -f -e trace=open,openat -o "$trace" "$quillmap" -cfg "$cfg/$config.cfg" >/dev/null
  grep -o "\"$out/$config/[^\"]*\", O_WRONLY[^)]*" "$trace" | cut -d'"' -f2 | sort | uniq -c |
    awk '{ printf "%s%s: %d", sep, $2, $1; sep = ", " } END { if (NR == 0) printf "none" }' |
    sed "s#$out/$config/##g"
}
for config in callgraph_fs callgraph_all modules_fs modules_kernel; do
  say "| $config | $(peak "$quillmap" -cfg "$cfg/$config.cfg") | $(opens "$config") |"
done
say "| grep -c -F, whole tree | $(peak xargs -a "$cfg/all.txt" grep -c -F -f "$cfg/patterns.txt") | |"
say ""

# --- Fast against reference engines on kernel/ -------------------------------------------------
if ((with_reference)); then
  say "### Fast and reference engines on kernel/ (one run each)"
  say ""
  say "| run | fast | reference | ratio | outputs and log |"
  say "|---|---|---|---|---|"
  for config in callgraph_kernel modules_kernel; do
    declare -A seconds=()
    for engine in fast reference; do
      rm -rf "${out:?}/$config"/*
      start=$(date +%s.%N)
      QUILLMAP_ENGINE=$engine "$quillmap" -cfg "$cfg/$config.cfg" >"$results/$config.$engine.log" ||
        true
      seconds[$engine]=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
      rm -rf "$results/$config.$engine"
      cp -r "$out/$config" "$results/$config.$engine"
      # The time in the DOT header lines is the only text two runs may not share.
      sed -i 's#^// crated on: [0-9.]*, [0-9:.]* with#// crated on: TIME with#' \
        "$results/$config.$engine"/*.dot
    done
    if diff -r "$results/$config.fast" "$results/$config.reference" >/dev/null &&
      cmp -s "$results/$config.fast.log" "$results/$config.reference.log"; then
      same="identical ($(cat "$results/$config.fast"/* | wc -c) bytes of outputs,"
      same+=" $(wc -c <"$results/$config.fast.log") bytes of log)"
    else
      same="DIFFERENT"
    fi
    say "| $config | $(printf '%.2f s' "${seconds[fast]}") |" \
      "$(printf '%.2f s' "${seconds[reference]}") |" \
      "$(ratio "${seconds[reference]}" "${seconds[fast]}")x | $same |"
  done
  say ""
fi
# --- Each slow place alone: the reference engine for one part, the fast ones for the rest ------
if ((with_reference)); then
  say "### Each part with its reference engine, the others fast (one run each)"
  say ""
  say "| part | run | reference part | all fast | ratio |"
  say "|---|---|---|---|---|"
  # timed_run CONFIG ENGINE: the wall time of one run in seconds.
  timed_run() {
    local start
    start=$(date +%s.%N)
    QUILLMAP_ENGINE=$2 "$quillmap" -cfg "$cfg/$1.cfg" >/dev/null || true
    awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }'
  }
  for case in "output writing:modules_fs:reference-writer" \
    "configuration access:callgraph_fs:reference-reader" \
    "configuration access:callgraph_drivers:reference-reader" \
    "inter-module call scan:modules_fs:reference-modules" \
    "call graph source scan:callgraph_fs:reference-sources"; do
    IFS=: read -r part config engine <<<"$case"
    slow=$(timed_run "$config" "$engine")
    fast=$(timed_run "$config" fast)
    say "| $part | $config | $(printf '%.2f s' "$slow") | $(printf '%.2f s' "$fast") |" \
      "$(ratio "$slow" "$fast")x |"
  done
  say ""
fi
# --- cflow, last: one run, stopped after CFLOW_LIMIT seconds ----------------------------------
# cflow builds a whole-program call tree of fs/; one run (no warm-up) is enough for the ratio. It
# gets the files as its own arguments (one cflow, one tree, and the time limit signals cflow
# itself, not an xargs in front of it) and no input (stdin from /dev/null). Its CPU time is
# recorded beside the wall time: a run stopped at the limit with little CPU time was waiting,
# not working, and is no bound at all.
if ((with_cflow)); then
  say "### cflow on fs/ (one run, limit ${cflow_limit} s)"
  say ""
  mapfile -t fs_files <"$cfg/fs.txt"
  status=0
  /usr/bin/time -f '%e %U %S' -o "$results/cflow_time.txt" \
    timeout -k 10 "$cflow_limit" cflow -f dot -o /dev/null "${fs_files[@]}" \
    </dev/null >/dev/null 2>"$results/cflow_stderr.txt" || status=$?
  read -r c_fs c_user c_sys < <(tail -1 "$results/cflow_time.txt")
  cpu="$(printf '%.1f' "$c_user") s user, $(printf '%.1f' "$c_sys") s system"
  if ((status == 124 || status == 137)); then
    say "- cflow -f dot fs/ (${#fs_files[@]} files): not done after $(printf '%.0f' "$c_fs") s" \
      "(stopped; $cpu); cflow fs/ / call graph fs/: more than $(ratio "$c_fs" "$q_fs")" \
      "(target at least 100)"
  else
    say "- cflow -f dot fs/ (${#fs_files[@]} files): $(printf '%.1f' "$c_fs") s (exit $status;" \
      "$cpu); cflow fs/ / call graph fs/: $(ratio "$c_fs" "$q_fs") (target at least 100)"
  fi
  say ""
fi
say "- load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
