#!/bin/bash
# Packs built Windows programs into the release files:
#   dist/package.sh BINDIR OUTDIR [VERSION]
# BINDIR holds Wardenlake.exe, wlscan.exe, Ref.dbd and Qvor.chm. OUTDIR gets
# Wardenlake-VERSION.zip, Wardenlake-VERSION.msi and SHA256SUMS. VERSION is
# the program's own (core/version.h) unless given (the tests give a newer one
# to try an upgrade); a given VERSION is MAJOR.MINOR[.PATCH].
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="$(cd "$1" && pwd)"
mkdir -p "$2"
OUT="$(cd "$2" && pwd)"
number() { sed -n "s/^#define WL_VERSION_$1 \([0-9]*\)\$/\1/p" "$ROOT/core/version.h"; }
if [ -n "${3:-}" ]; then
  VERSION="$3"
else
  VERSION="$(number MAJOR).$(number MINOR)"
  [ "$(number PATCH)" != 0 ] && VERSION="$VERSION.$(number PATCH)"
fi
[[ "$VERSION" =~ ^[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] || { echo "package.sh: bad version '$VERSION'" >&2; exit 2; }
MSI_VERSION="$VERSION"
[[ "$VERSION" =~ ^[0-9]+\.[0-9]+$ ]] && MSI_VERSION="$VERSION.0"
NAME="Wardenlake-$VERSION"
for f in Wardenlake.exe wlscan.exe Ref.dbd Qvor.chm; do
  [ -f "$BIN/$f" ] || { echo "package.sh: $BIN/$f is missing (build first)" >&2; exit 1; }
done
command -v wixl >/dev/null || { echo "package.sh: wixl is missing (scripts/install-deps.sh)" >&2; exit 1; }

STAGE="$OUT/stage/$NAME"
rm -rf "$STAGE"
mkdir -p "$STAGE"
crlf() { sed 's/\r$//; s/$/\r/'; }
x86_64-w64-mingw32-strip -o "$STAGE/Wardenlake.exe" "$BIN/Wardenlake.exe"
x86_64-w64-mingw32-strip -o "$STAGE/wlscan.exe" "$BIN/wlscan.exe"
cp "$BIN/Ref.dbd" "$STAGE/Ref.dbd"
cp "$BIN/Qvor.chm" "$STAGE/Qvor.chm"
{ cat "$ROOT/dist/NOTICE-programs.txt"; echo; echo; cat "$ROOT/data/refdb/NOTICE"; } | crlf > "$STAGE/NOTICE.txt"
sed "s/@VERSION@/$VERSION/g" "$ROOT/dist/README.txt.in" | crlf > "$STAGE/README.txt"
FILES=(Wardenlake.exe wlscan.exe Ref.dbd Qvor.chm NOTICE.txt README.txt)

# The zip: the six files at its top, dated as the last commit (or now).
stamp="$(git -C "$ROOT" log -1 --format=%cd --date=format:'%Y-%m-%d %H:%M:%S' 2>/dev/null || date -u '+%Y-%m-%d %H:%M:%S')"
rm -f "$OUT/$NAME.zip"
(cd "$STAGE" && cmake -E tar cf "$OUT/$NAME.zip" --format=zip --mtime="$stamp" "${FILES[@]}")

# The MSI.
cp "$ROOT/app/res/wardenlake.ico" "$STAGE/../wardenlake.ico"
sed -e "s|@VERSION@|$VERSION|g" -e "s|@MSI_VERSION@|$MSI_VERSION|g" -e "s|@FILES@|$NAME|g" \
  -e "s|@SIZE_KB@|$(cd "$STAGE" && du -k -c --apparent-size "${FILES[@]}" | tail -n 1 | cut -f1)|g" \
  "$ROOT/dist/wardenlake.wxs.in" > "$OUT/stage/$NAME.wxs"
rm -f "$OUT/$NAME.msi"
# wixl takes the files' paths relative to the folder it runs in.
(cd "$OUT/stage" && wixl -a x64 -o "$OUT/$NAME.msi" "$NAME.wxs")
(cd "$OUT" && sha256sum "$NAME.zip" "$NAME.msi" > SHA256SUMS)
echo "$OUT/$NAME.zip"
echo "$OUT/$NAME.msi"
echo "$OUT/SHA256SUMS"
