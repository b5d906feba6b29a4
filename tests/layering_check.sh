#!/bin/bash
# The folders' layering, checked on the sources (the native suite runs it):
#   core                      includes nothing of ours
#   win32 refdb tools         core
#   sysroutines judge         the layers above and each other, one way only
#     documents ui
#   feature folders           the page framework (ui) and the layers below;
#                             never features/, app/, console/ or another
#                             feature's page
#   features                  the feature table: composes the feature
#                             folders (pages included), never app/ or console/
#   console, app              read the feature table; app may use the
#                             console's hijack scan, never the reverse
# and no two folders include each other. Test code (tests, fixtures,
# benchmarks, fuzz targets) is not checked. Prints every include that breaks
# a rule; fails when there is one.
set -u
ROOT="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$ROOT" || exit 2

lower="core win32 refdb tools sysroutines judge documents ui"
# scan/ is the hijack report (its page and file); the scan documents and
# baselines every page and wlscan share are in documents/.
features="autorun browser immunize network process service settings software scan undo"

is_in() { case " $2 " in *" $1 "*) return 0 ;; esac; return 1; }

edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
checked=0
while IFS= read -r file; do
  file="${file#./}"
  case "$file" in
    *_test.cpp | */testing/* | */testdata/* | *fixture* | *test_support* | tests/* | bench/* | fuzz/* | \
      sysroutines/test_files.* | service/test_service_main.cpp) continue ;;
  esac
  checked=$((checked + 1))
  from="${file%%/*}"
  grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z0-9_]+/' "$file" |
    sed -E 's|^([0-9]+):.*"([a-z0-9_]+)/([^"]*)".*|\1 \2 \3|' |
    while read -r line to header; do
      [ "$to" = "$from" ] && continue
      echo "$from $to $file:$line $to/$header"
    done >>"$edges"
done < <(find . -path ./build -prune -o -path ./.git -prune -o \( -name '*.cpp' -o -name '*.h' \) -type f -print)

bad=0
report() { echo "$1: $2"; bad=1; }
while read -r from to where header; do
  if is_in "$from" "$lower" && ! is_in "$to" "$lower"; then
    report "$where" "a lower layer ($from) includes $header"
  elif is_in "$from" "$features"; then
    if [ "$to" = app ] || [ "$to" = console ] || [ "$to" = features ]; then
      report "$where" "a feature ($from) includes $header"
    elif is_in "$to" "$features" && [[ "$header" == *_page.h || "$header" == *_dialog.h || "$header" == *_dialogs.h ]]; then
      report "$where" "a feature ($from) includes another feature's page $header"
    fi
  elif [ "$from" = features ] && { [ "$to" = app ] || [ "$to" = console ]; }; then
    report "$where" "the feature table includes $header"
  elif [ "$from" = console ] && [ "$to" = app ]; then
    report "$where" "the console includes the main window's $header"
  fi
  if grep -q "^$to $from " "$edges"; then
    report "$where" "$from and $to include each other ($header; $(grep -m1 "^$to $from " "$edges" | cut -d' ' -f3-))"
  fi
done <"$edges"

if [ "$checked" -lt 50 ]; then
  echo "FAIL: only $checked source files found under $ROOT"
  exit 1
fi
if [ "$bad" != 0 ]; then
  echo "FAIL: the includes above break the layering"
  exit 1
fi
echo "ok: $checked source files keep the layering"
