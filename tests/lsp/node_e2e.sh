#!/usr/bin/env bash
# A Node client on vscode-jsonrpc drives quillmap -lsp (see node/client.js). Its package is
# installed from node/package-lock.json into WORK (kept between runs, so that later runs need no
# network); without npm the test is skipped (exit status 77).
#   tests/lsp/node_e2e.sh path/to/quillmap WORK
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
if ! command -v npm >/dev/null 2>&1 || ! command -v node >/dev/null 2>&1; then
  echo "node_e2e: SKIPPED: npm or node not found (Debian: apt-get install nodejs npm;" \
       "scripts/install-deps.sh does)"
  exit 77
fi
mkdir -p "$work"
cp "$here/node/package.json" "$here/node/package-lock.json" "$here/node/client.js" "$work/"
if ! cmp -s "$work/package-lock.json" "$work/node_modules/.package-lock.json.installed" 2>/dev/null; then
  (cd "$work" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error)
  cp "$work/package-lock.json" "$work/node_modules/.package-lock.json.installed"
fi
fixture=$(mktemp -d)
trap 'rm -rf "$fixture"' EXIT
cp -r "$here/fixture/." "$fixture/"
timeout 60 node "$work/client.js" "$binary" "$fixture"
