#!/bin/bash
# Builds the native tree (host tools, core tests) and the Windows tree.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
. scripts/cmake-env.sh
JOBS="${JOBS:-$(nproc)}"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Check >/dev/null
cmake --build build/native -j "$JOBS"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Check -DWL_HOST_REFDBTOOL="$ROOT/build/native/bin/refdbtool" >/dev/null
cmake --build build/windows -j "$JOBS"
