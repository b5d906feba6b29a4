#!/bin/bash
# Builds and runs Wardenlake under Wine. For now the program is the reference
# database tool: it lists the members of the built Ref.dbd and answers a few
# look-ups.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/build.sh
. scripts/wine-env.sh
trap wl_wine_stop EXIT
wl_wine_start "$ROOT/build/windows"
BIN="$ROOT/build/windows/bin"
echo "== Ref.dbd members"
wine "$BIN/refdbtool.exe" list "$BIN/Ref.dbd"
echo "== Main.db"
wine "$BIN/refdbtool.exe" extract "$BIN/Ref.dbd" Main.db
echo "== sample look-ups"
for q in "Process.db svchost.exe" "Process.db msblast.exe" "Port.db TCP80" "Port.db TCPhttp"; do
  set -- $q
  printf '%s %s -> ' "$1" "$2"
  wine "$BIN/refdbtool.exe" lookup "$BIN/Ref.dbd" "$1" "$2"
done
