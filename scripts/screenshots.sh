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
declare -A NAMES=([10]=status [0]=autorun [1]=processes [2]=services [4]=associations [5]=ports
  [6]=browser-extensions [7]=helper-objects [9]=sniffer [12]=software [13]=hijack-report
  [14]=shell-extensions [15]=browser-settings [11]=other-browsers [16]=backups [17]=network-settings)
# wlpages prints "page N" (then "dialog NAME") once it is on screen and keeps
# it there for the interval; the screenshot is taken then.
wine explorer "/desktop=Pages,$SIZE" "$BIN/wlpages.exe" 2000 </dev/null 2>/dev/null |
  while read -r word what; do
    what="${what%$'\r'}"
    case "$word" in
      page) file="$OUT/page-$(printf '%02d' "$what")-${NAMES[$what]:-page}.png" ;;
      dialog) file="$OUT/dialog-$what.png" ;;
      *) continue ;;
    esac
    import -display "$DISPLAY" -window root -crop "$SIZE+0+0" +repage "$file"
    echo "$file"
  done
