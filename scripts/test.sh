#!/bin/bash
# Builds and runs every test: the native suite (core under ASan/UBSan), the
# Windows suite under Wine (fresh scratch prefix, own Xvfb), and a short run
# of each fuzzer from its committed corpus.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-$(nproc)}"
FUZZ_SECONDS="${FUZZ_SECONDS:-30}"
. scripts/wine-env.sh
# Where the time goes: each phase's seconds, printed at the end.
PHASES=""
phase_done() { PHASES="$PHASES  $1 $((SECONDS - PHASE_START)) s\n"; PHASE_START=$SECONDS; }
PHASE_START=$SECONDS

echo "== native build"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Check >/dev/null
cmake --build build/native -j "$JOBS"
phase_done "native build"
echo "== native tests"
LOG="$ROOT/build/test-summary.log"
mkdir -p build && : > "$LOG"
ctest --test-dir build/native --output-on-failure -j "$JOBS" | tee -a "$LOG"
phase_done "native tests"

echo "== windows build"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Check -DWL_HOST_REFDBTOOL="$ROOT/build/native/bin/refdbtool" >/dev/null
cmake --build build/windows -j "$JOBS"
phase_done "windows build"
echo "== windows tests (Wine)"
trap wl_wine_stop EXIT
wl_wine_start "$ROOT/build/windows" fresh xvfb
# A case that fails is run once more: under Wine, processes that other
# cases start and end beside it have made single runs fail now and then.
# Both runs' output stays in the log.
ctest --test-dir build/windows --output-on-failure -j "$JOBS" --repeat until-pass:2 | tee -a "$LOG"
wl_wine_stop
trap - EXIT
phase_done "windows tests"

if [ "$FUZZ_SECONDS" != 0 ]; then
  echo "== fuzz (${FUZZ_SECONDS}s each, from the corpora in fuzz/corpus)"
  FUZZ_SECONDS="$FUZZ_SECONDS" JOBS="$JOBS" scripts/fuzz.sh check
  phase_done "fuzz build and check"
fi
total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$LOG" | awk '{s+=$1} END {print s+0}')
echo "== all suites passed"
printf "time:\n$PHASES"
echo "tests: ${total:-0} passed, 0 failed"
