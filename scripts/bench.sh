#!/bin/bash
# Builds and runs the benchmarks (optimised, no sanitizers).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
. scripts/cmake-env.sh
cmake -S . -B build/bench -DWL_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j "$(nproc)"
for b in build/bench/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b"
done

# The timing programs of the Windows build run under Wine, in the build's
# scratch prefix.
if [ -f build/windows/CMakeCache.txt ]; then
  cmake --build build/windows -j "$(nproc)" --target bench_autorun_scan bench_port_table bench_backup_recording bench_judge \
    bench_scan_growth
  . scripts/wine-env.sh
  trap wl_wine_stop EXIT
  WL_XVFB_PID=
  wl_wine_start "$ROOT/build/windows" "" ""
  for b in build/windows/bin/bench_*.exe; do
    echo "== $(basename "$b") (Wine)"
    wine "$b" </dev/null
  done
  wl_wine_stop
  trap - EXIT
fi
