#!/bin/bash
# The layering check refuses what breaks the rules around the feature table:
# the table including the main window or the console, and a feature folder
# including the table. A good tree of the same folders passes.
set -u
CHECK="$(cd "$(dirname "$0")" && pwd)/layering_check.sh"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{core,ui,autorun,features,app,console}
# The check wants a tree of some size.
for i in $(seq 1 50); do echo '#include "core/a.h"' >"$root/ui/filler$i.cpp"; done
echo '' >"$root/core/a.h"
echo '#include "ui/page.h"' >"$root/autorun/startup_page.cpp"
echo '#include "autorun/startup_page.h"' >"$root/features/feature_table.cpp"
echo '#include "features/feature_table.h"' >"$root/app/main_window.cpp"
echo '#include "features/feature_table.h"' >"$root/console/wlscan_main.cpp"

status=0
expect() {  # expect pass|fail WHAT
  local out
  out=$("$CHECK" "$root" 2>&1)
  if [ "$1" = pass ] && ! grep -q '^ok:' <<<"$out"; then
    echo "FAIL: $2 was refused:"; echo "$out"; status=1
  elif [ "$1" = fail ] && ! grep -q "$2" <<<"$out"; then
    echo "FAIL: not refused: $2"; echo "$out"; status=1
  fi
}
expect pass "the table between the features and the two programs"
echo '#include "app/main_window.h"' >>"$root/features/feature_table.cpp"
expect fail "the feature table includes app/main_window.h"
sed -i '/app\//d' "$root/features/feature_table.cpp"
echo '#include "console/hijack_scan.h"' >>"$root/features/feature_table.cpp"
expect fail "the feature table includes console/hijack_scan.h"
sed -i '/console\//d' "$root/features/feature_table.cpp"
echo '#include "features/feature_table.h"' >>"$root/autorun/startup_page.cpp"
expect fail "a feature (autorun) includes features/feature_table.h"
[ "$status" = 0 ] && echo "ok: the layering check refuses what breaks the feature table's place"
exit "$status"
