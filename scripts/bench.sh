#!/bin/bash
# Builds and runs the benchmarks (optimised, no sanitizers).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
cmake -S . -B build/bench -DWL_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j "$(nproc)"
for b in build/bench/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b"
done
