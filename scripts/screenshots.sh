#!/bin/bash
# Opens each page of the main window in turn on a private Xvfb and saves one
# PNG per page, for anyone reviewing the look:
#   scripts/screenshots.sh [FOLDER]     (default build/screenshots)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
OUT="$(mkdir -p "${1:-build/screenshots}" && cd "${1:-build/screenshots}" && pwd)"
scripts/build.sh
. scripts/wine-env.sh
BIN="$ROOT/build/windows/bin"
trap wl_wine_stop EXIT
wl_wine_start "$ROOT/build/windows" "" xvfb

SIZE=1100x760
# wlpages prints "page NAME" (each page in the order of the navigation bar,
# then "dialog NAME") once it is on screen and keeps it there for the
# interval; the screenshot is taken then, numbered in that order.
shown=0
wine explorer "/desktop=Pages,$SIZE" "$BIN/wlpages.exe" 2000 </dev/null 2>/dev/null |
  while read -r word what; do
    what="${what%$'\r'}"
    case "$word" in
      page)
        shown=$((shown + 1))
        file="$OUT/page-$(printf '%02d' "$shown")-$what.png"
        ;;
      dialog) file="$OUT/dialog-$what.png" ;;
      *) continue ;;
    esac
    import -display "$DISPLAY" -window root -crop "$SIZE+0+0" +repage "$file"
    echo "$file"
  done
