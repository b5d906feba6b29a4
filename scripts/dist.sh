#!/bin/bash
# make dist: builds the Windows programs (Release, no test programs) in
# build/dist and packs build/dist/Wardenlake-<version>.zip and .msi with
# SHA256SUMS beside them (dist/package.sh).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
. scripts/cmake-env.sh
JOBS="${JOBS:-$(nproc)}"
# refdbtool for the build machine, to pack Ref.dbd.
cmake -S . -B build/dist/host -DCMAKE_BUILD_TYPE=Release -DWL_SANITIZE=OFF >/dev/null
cmake --build build/dist/host -j "$JOBS" --target refdbtool
cmake -S . -B build/dist/windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DWL_HOST_REFDBTOOL="$ROOT/build/dist/host/bin/refdbtool" >/dev/null
cmake --build build/dist/windows -j "$JOBS" --target Wardenlake wlscan refdb help_file
dist/package.sh build/dist/windows/bin build/dist
