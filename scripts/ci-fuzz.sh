#!/usr/bin/env bash
# Continuous integration: every fuzz harness for a short time (FUZZ_SECONDS, 60 by default),
# so that a change that breaks a property or crashes surfaces. Fails when any harness finds
# something; the findings are in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-60} exec scripts/run-fuzzers.sh "$@"
