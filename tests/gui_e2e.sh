#!/usr/bin/env bash
# End-to-end check of the dialog window, on the display that tests/run-with-xvfb.sh provides:
#   tests/gui_e2e.sh PATH/TO/quillmap [SCREENSHOT.png]
# Starts the program without arguments, finds its window by its title, types the configuration
# path of tests/gui_fixture into the path edit (which has the focus) and presses Enter with
# xdotool, as a user would,
# and checks that the dialog wrote exactly what the batch mode writes for the same
# configuration (the time in the DOT headers aside). With a second argument it also saves a
# picture of the dialog after the scan.
set -euo pipefail

fail() {
  echo "gui_e2e: $*" >&2
  exit 1
}
[ $# -ge 1 ] || fail "usage: $0 PATH/TO/quillmap [SCREENSHOT.png]"
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$1")
screenshot=${2:+$(realpath -m "$2")}
command -v xdotool > /dev/null || fail "xdotool is not installed (Debian: apt-get install xdotool)"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run me through tests/run-with-xvfb.sh"

readonly OUTPUTS="out.dot out.csv modules.dot modules.log"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillmap-gui-e2e.XXXXXX")
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; then
    kill "$pid"
    wait "$pid" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

without_time() { sed 's#^// crated on: .* with #// crated on: <time> with #' "$1"; }

# The batch mode's outputs, kept aside; the dialog then scans the same files at the same path.
cp -r "$here/gui_fixture" "$work/scan"
cfg="$work/scan/scan.cfg"
(cd "$work/scan" && env -u DISPLAY "$program" -cfg "$cfg" > "$work/batch.out") ||
  fail "the batch mode failed on $cfg"
mkdir "$work/batch"
for name in $OUTPUTS; do
  without_time "$work/scan/$name" > "$work/batch/$name"
  rm "$work/scan/$name"
done

# The window's place and recent configurations go to a settings folder of the test's own.
export HOME="$work" XDG_CONFIG_HOME="$work/config"
(cd "$work/scan" && exec "$program") > "$work/dialog.out" 2>&1 &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^quillmap - ' | head -n 1) ||
  fail "no window titled 'quillmap - ...' appeared; the program said: $(cat "$work/dialog.out")"
title=$(xdotool getwindowname "$window")
[[ "$title" =~ ^quillmap\ -\ [^\ ]+$ ]] || fail "unexpected title before the scan: '$title'"

xdotool windowfocus --sync "$window"
sleep 0.3
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 1 "$cfg"
xdotool key --clearmodifiers Return

# The run writes each output line by line: wait until every output is complete.
same_as_batch() {
  for name in $OUTPUTS; do
    [ -f "$work/scan/$name" ] || return 1
    without_time "$work/scan/$name" | cmp -s - "$work/batch/$name" || return 1
  done
}
for _ in $(seq 1 200); do
  same_as_batch && break
  sleep 0.1
done
if ! same_as_batch; then
  for name in $OUTPUTS; do
    [ -f "$work/scan/$name" ] || fail "the dialog's scan wrote no $name"
    without_time "$work/scan/$name" | diff "$work/batch/$name" - >&2 || true
  done
  fail "the dialog's scan did not write what the batch mode writes"
fi
kill -0 "$pid" 2> /dev/null || fail "the program ended during the scan: $(cat "$work/dialog.out")"
title=$(xdotool getwindowname "$window")
[[ "$title" == *" [scan.cfg ]" ]] || fail "the title does not name the configuration: '$title'"

if [ -n "$screenshot" ]; then
  sleep 1.5  # the last log entries and the Graph view are painted once the run has ended
  # With a window manager running, the picture takes in its frame and title bar.
  frame=()
  if xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; then frame=(-frame); fi
  import "${frame[@]}" -window "$window" "$screenshot" || fail "no screenshot taken"
fi
echo "gui_e2e: the dialog scanned $cfg and wrote what the batch mode writes: $OUTPUTS"
