#!/usr/bin/env bash
# Neovim's built-in LSP client drives quillmap -lsp headless (see nvim_e2e.lua).
#   tests/lsp/nvim_e2e.sh path/to/quillmap
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
if ! command -v nvim >/dev/null 2>&1; then
  echo "nvim_e2e: nvim not found (Debian: apt-get install neovim; scripts/install-deps.sh does)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/fixture" "$work/fixture"
cd "$work"
HOME="$work" XDG_CONFIG_HOME="$work" XDG_DATA_HOME="$work" XDG_STATE_HOME="$work" \
  QUILLMAP_BINARY="$binary" LSP_FIXTURE="$work/fixture" \
  timeout 60 nvim --headless --clean -n -c "luafile $here/nvim_e2e.lua" </dev/null
echo "nvim_e2e: passed"
