#!/usr/bin/env bash
# Installs the SARIF Multitool of the format's authors (npm package @microsoft/sarif-multitool,
# pinned by tests/sarif/package-lock.json) into tests/sarif/node_modules, where the end-to-end
# tests find it to validate the SARIF logs the program writes. Does nothing when it is there.
set -euo pipefail

cd "$(dirname "$0")/../tests/sarif"
tool=node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool
if [[ -x $tool ]]; then
  echo "install-sarif-validator: the SARIF Multitool is installed"
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-sarif-validator: npm is missing; run: sudo apt-get install -y nodejs npm" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y nodejs npm
fi
# Its install script only makes the program executable; npm may refuse to run it.
npm ci --no-audit --no-fund --ignore-scripts
chmod u+x "$tool"
echo "install-sarif-validator: installed $tool"
