#!/bin/bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each of them from
# its committed corpus (fuzz/corpus/<target>/, none yet is fine), with the
# target's dictionary fuzz/<target>.dict when there is one.
#   scripts/fuzz.sh build                 builds the targets only
#   scripts/fuzz.sh check [TARGET...]     copies the corpus into build/fuzz and
#                                          fuzzes FUZZ_SECONDS (30) each; the
#                                          repository is not written
#   scripts/fuzz.sh campaign [TARGET...]  fuzzes FUZZ_SECONDS (600) each, or
#                                          FUZZ_RUNS inputs (at most FUZZ_SECONDS
#                                          when both are set), then merges the new
#                                          inputs into fuzz/corpus/<target>/,
#                                          minimised (-merge=1)
# A crash, a sanitizer report, a time-out or running out of memory fails the
# run; its input is kept under build/fuzz/artifacts/<target>/ (and, in a
# campaign, copied into the corpus so that it stays as a regression input).
# One line per target: runs, runs/s, coverage edges, features, corpus size.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
. scripts/cmake-env.sh
MODE="${1:-check}"
shift || true
case "$MODE" in
  build) ;;
  check) SECONDS_EACH="${FUZZ_SECONDS:-30}" ;;
  campaign) SECONDS_EACH="${FUZZ_SECONDS:-600}" ;;
  *) echo "usage: scripts/fuzz.sh build|check|campaign [TARGET...]" >&2; exit 2 ;;
esac
JOBS="${JOBS:-$(nproc)}"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DWL_FUZZ=ON -DCMAKE_BUILD_TYPE=Check >/dev/null
cmake --build build/fuzz -j "$JOBS"
[ "$MODE" = build ] && exit 0

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in build/fuzz/bin/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
limit=(-max_total_time="$SECONDS_EACH")
if [ -n "${FUZZ_RUNS:-}" ]; then  # a number of inputs, within FUZZ_SECONDS if given
  limit=(-runs="$FUZZ_RUNS")
  [ -n "${FUZZ_SECONDS:-}" ] && limit+=(-max_total_time="$FUZZ_SECONDS")
fi
# One target: fuzzes it, prints its line, returns non-zero when it found something.
fuzz_one() {
  local name="$1" status=0
  bin="build/fuzz/bin/$name"
  [ -x "$bin" ] || { echo "$name: no such fuzz target" >&2; return 1; }
  seeds="fuzz/corpus/$name"
  work="build/fuzz/corpus/$name"
  [ "$MODE" = check ] && work="build/fuzz/check/$name"
  artifacts="build/fuzz/artifacts/$name"
  log="build/fuzz/logs/$MODE-$name.log"
  mkdir -p "$artifacts" "$(dirname "$log")"
  # check starts afresh from the committed corpus; a campaign also keeps what
  # earlier campaigns found in the build tree.
  [ "$MODE" = check ] && rm -rf "$work"
  mkdir -p "$work"
  [ -d "$seeds" ] && cp -n "$seeds"/. "$work"/ -r 2>/dev/null || true
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  rc=0
  "$bin" "${limit[@]}" "${dict[@]}" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1 || rc=$?
  [ "$rc" = 72 ] && rc=0  # interrupted (Ctrl-C): stopped early, nothing found
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-24s runs %10s  runs/s %7s  edges %5s  features %6s  corpus %5s\n' \
    "$name" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$(ls "$work" | wc -l)"
  if [ "$rc" -ne 0 ]; then
    echo "$name: FAILED (exit $rc), log $log:" >&2
    grep -m 20 -E 'ERROR|SUMMARY|==[0-9]+==|Test unit written|runtime error' "$log" >&2 || tail -n 20 "$log" >&2
    status=1
    if [ "$MODE" = campaign ]; then
      mkdir -p "$seeds"
      for a in "$artifacts"/*; do [ -f "$a" ] && cp "$a" "$seeds/"; done
    fi
    return 1
  fi
  if [ "$MODE" = campaign ]; then
    mkdir -p "$seeds"
    before=$(ls "$seeds" | wc -l)
    "$bin" -merge=1 "${dict[@]}" -timeout=25 -rss_limit_mb=2560 "$seeds" "$work" >"$log.merge" 2>&1
    echo "$name: merged $(( $(ls "$seeds" | wc -l) - before )) new inputs into $seeds"
  fi
  return "$status"
}

# A check runs the targets JOBS at a time (each fuzzer is one process); a
# campaign runs them one after the other, each with the machine to itself.
parallel=1
[ "$MODE" = check ] && parallel="$JOBS"
failed=0
running=0
for name in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$name" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
