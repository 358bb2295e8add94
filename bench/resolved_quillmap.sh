#!/usr/bin/env bash
# resolved_quillmap.sh -cfg FILE.cfg: runs quillmap on a copy of FILE.cfg that binds calls
# ("[scan] resolve=yes"), so that a harness which writes its own configuration (such as the call
# truth's run.sh) measures the resolved mode:
#   QUILLMAP=build/quillmap /work/shared/truth/run.sh bench/resolved_quillmap.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quillmap=${QUILLMAP:-$here/../build/quillmap}
[[ ${1:-} == -cfg && -n ${2:-} ]] || exec "$quillmap" "$@"
cfg=$2
shift 2
resolved="${cfg%.cfg}.resolved.cfg"
awk '{ print } /^\[scan\]/ { print "resolve=yes" }' "$cfg" > "$resolved"
grep -q '^\[scan\]' "$resolved" || printf '[scan]\nsyntax=c\nresolve=yes\n' >> "$resolved"
exec "$quillmap" -cfg "$resolved" "$@"
