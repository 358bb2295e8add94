#!/usr/bin/env bash
# Checks that Graphviz accepts every DOT file (*.dot) found in the given folders: each one must
# be read, its labels (HTML labels included) parsed and an SVG drawn without an error. The
# layout is neato's with one iteration: whether a file is valid does not depend on the layout
# engine, and `dot`'s layout of a dense generated graph takes minutes. A folder that does not exist or holds no DOT file
# is reported, not counted as a failure.
#
#   scripts/check-dot.sh FOLDER...
set -uo pipefail

if ! command -v neato >/dev/null 2>&1; then
  echo "check-dot: Graphviz 'neato' not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
if [[ $# -eq 0 ]]; then
  echo "usage: $0 FOLDER..." >&2
  exit 2
fi

checked=0
failed=0
for folder in "$@"; do
  if [[ ! -d $folder ]]; then
    echo "check-dot: $folder: no such folder"
    continue
  fi
  found=0
  while IFS= read -r -d '' file; do
    found=$((found + 1))
    if ! errors=$(neato -Gmaxiter=1 -Goverlap=true -Gsplines=false -Tsvg -o /dev/null "$file" 2>&1); then
      failed=$((failed + 1))
      echo "check-dot: REJECTED $file"
      printf '%s\n' "$errors" | sed 's/^/    /'
    elif [[ -n $errors ]]; then
      echo "check-dot: accepted with warnings $file"
      printf '%s\n' "$errors" | sed 's/^/    /'
    fi
  done < <(find "$folder" -type f -name '*.dot' -print0 | sort -z)
  echo "check-dot: $folder: $found DOT file(s)"
  checked=$((checked + found))
done

echo "check-dot: $checked checked, $failed rejected"
[[ $failed -eq 0 ]]
