#!/bin/bash
# Runs ctest on the Windows build under Wine (its scratch prefix, a private
# Xvfb), with the arguments given: scripts/wine-ctest.sh -R Browser
# The build must exist (scripts/build.sh, or cmake --build build/windows).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
. scripts/wine-env.sh
trap wl_wine_stop EXIT
wl_wine_start "$ROOT/build/windows" "" xvfb
ctest --test-dir build/windows --output-on-failure "$@"
