#!/usr/bin/env bash
# Runs one command on a private X server, for the tests that need a real window:
#   tests/run-with-xvfb.sh COMMAND [ARGS...]
# Starts Xvfb on a free display (Xvfb picks it with -displayfd), exports DISPLAY, runs the
# command, stops that Xvfb by its PID and exits with the command's status. When Xvfb is missing
# or does not come up it fails: a GUI test must never pass or skip without having run.
set -u

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
if ! command -v Xvfb > /dev/null 2>&1; then
  echo "run-with-xvfb: Xvfb is not installed (Debian: apt-get install xvfb)" >&2
  exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillmap-xvfb.XXXXXX")
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
  3> "$scratch/display" 2> "$scratch/xvfb.log" &
xvfb_pid=$!
stop_xvfb() {
  kill "$xvfb_pid" 2> /dev/null
  wait "$xvfb_pid" 2> /dev/null
  rm -rf "$scratch"
}
trap stop_xvfb EXIT

# Xvfb writes the display number, then a line feed, once it accepts clients.
display=""
for _ in $(seq 1 200); do
  if grep -q '^[0-9][0-9]*$' "$scratch/display" 2> /dev/null; then
    display=$(head -n 1 "$scratch/display")
    break
  fi
  if ! kill -0 "$xvfb_pid" 2> /dev/null; then break; fi
  sleep 0.05
done
if [ -z "$display" ]; then
  echo "run-with-xvfb: Xvfb did not start:" >&2
  cat "$scratch/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$display"
unset WAYLAND_DISPLAY
# No accessibility bus and no settings daemon on the private server: keep GTK quiet about them.
export NO_AT_BRIDGE=1
export GSETTINGS_BACKEND=memory

"$@"
exit $?
