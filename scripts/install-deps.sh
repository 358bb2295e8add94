#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Quillmap need, and only those
# that are missing. As root it runs apt-get; otherwise it prints the command to run and fails
# when something is missing.
#
#   scripts/install-deps.sh            install what is missing (root), or report it
#   scripts/install-deps.sh --check    only report; exit 1 when something is missing
#   scripts/install-deps.sh --list     print the package list
#
# Extra packages can be asked for with QUILLMAP_EXTRA_PACKAGES="pkg1 pkg2".
set -euo pipefail

# The one package list. Add to it here when the project needs another package.
QUILLMAP_PACKAGES=(
  # compiler, build system
  build-essential
  cmake
  ninja-build
  lld
  # the JSON export (and reading it back in the tests); compilation databases
  nlohmann-json3-dev
  # the graph model's compressed text stores
  liblz4-dev
  # flat hash sets of the module scan
  libabsl-dev
  # unit tests and micro-benchmarks
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  # rendering and checking the DOT files; pictures drawn in-process through libgvc
  graphviz
  libgraphviz-dev
  # xmllint: the rendered SVG checked by an XML parser
  libxml2-utils
  # the dialog window and its tests on a virtual display
  libwxgtk3.2-dev
  xvfb
  xdotool
  x11-utils
  # the language server's end-to-end tests with real clients: Neovim's and a Node one (Node.js
  # and npm below, unless the machine has them from elsewhere)
  neovim
  # the fuzz harnesses: clang with libFuzzer and the sanitizer runtimes
  clang
  libclang-rt-dev
)

mode=install
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  --list) mode=list ;;
  -h | --help)
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "install-deps: unknown option: $1" >&2
    exit 2
    ;;
esac

packages=("${QUILLMAP_PACKAGES[@]}")
# Node.js with npm for the Node client test and the SARIF validator. Where Node.js comes from
# another source (its own package carries npm and conflicts with Debian's npm), it is used as it
# is.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
if [[ -n "${QUILLMAP_EXTRA_PACKAGES:-}" ]]; then
  read -r -a extra <<<"$QUILLMAP_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

if [[ $mode == list ]]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

is_installed() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) || return 1
  [[ $status == installed ]]
}

missing=()
for package in "${packages[@]}"; do
  is_installed "$package" || missing+=("$package")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#packages[@]} packages are installed"
  exit 0
fi

echo "install-deps: missing: ${missing[*]}"
if [[ $mode == check ]]; then
  exit 1
fi
if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: not root; run:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y "${missing[@]}"

still_missing=()
for package in "${missing[@]}"; do
  is_installed "$package" || still_missing+=("$package")
done
if [[ ${#still_missing[@]} -ne 0 ]]; then
  echo "install-deps: still missing after apt-get: ${still_missing[*]}" >&2
  exit 1
fi
echo "install-deps: installed ${missing[*]}"
