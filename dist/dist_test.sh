#!/bin/bash
# The release packages under Wine, end to end (a ctest test of the Windows
# build; run it with scripts/wine-ctest.sh -R DistPackages):
#   dist/dist_test.sh BINDIR WORKDIR [zip|msi]   (both when not named)
# Packs BINDIR's programs as the program's version and as a newer one, then:
#  - the zip unpacked into an empty folder holds exactly the six files (the
#    help file as built), and wlscan autorun and Wardenlake.exe run from
#    there (the test's own prefix);
#  - in a fresh prefix, msiexec /i /qn installs the files (the help file as
#    built), the Start-menu shortcut and one uninstall entry (publisher,
#    version, help link, size), and wlscan software lists it; the newer MSI
#    replaces it (one entry, the new version); msiexec /x /qn removes files,
#    shortcut and entry and leaves the user's backups alone.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="$1"
WORK="$2"
PART="${3:-both}"
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
pass() { echo "ok: $*"; }
rm -rf "$WORK"
mkdir -p "$WORK"
number() { sed -n "s/^#define WL_VERSION_$1 \([0-9]*\)\$/\1/p" "$ROOT/core/version.h"; }
OLD="$(number MAJOR).$(number MINOR).$(number PATCH)"
NEW="$(number MAJOR).$(number MINOR).$(( $(number PATCH) + 1 ))"
"$ROOT/dist/package.sh" "$BIN" "$WORK/old" "$OLD" >/dev/null || { echo "FAIL: packing $OLD"; exit 1; }
"$ROOT/dist/package.sh" "$BIN" "$WORK/new" "$NEW" >/dev/null || { echo "FAIL: packing $NEW"; exit 1; }
(cd "$WORK/old" && sha256sum -c --quiet SHA256SUMS) && pass "SHA256SUMS" || fail "SHA256SUMS does not match"

# ---- The zip, in the prefix the tests run in.
if [ "$PART" != msi ]; then
Z="$WORK/unzipped"
mkdir -p "$Z"
(cd "$Z" && cmake -E tar xf "$WORK/old/Wardenlake-$OLD.zip")
listing="$(cd "$Z" && find . -type f | sort | tr '\n' ' ')"
[ "$listing" = "./NOTICE.txt ./Qvor.chm ./README.txt ./Ref.dbd ./Wardenlake.exe ./wlscan.exe " ] && pass "zip holds the six files" ||
  fail "zip holds: $listing"
grep -q "Version $OLD" "$Z/README.txt" && pass "README.txt names the version" || fail "README.txt version"
cmp -s "$Z/Qvor.chm" "$BIN/Qvor.chm" && pass "the zip's Qvor.chm is the built help file" || fail "the zip's Qvor.chm differs"
grep -q "Qvor.chm" "$Z/README.txt" && pass "README.txt names the help file" || fail "README.txt does not name Qvor.chm"
out="$(cd "$Z" && wine "$Z/wlscan.exe" autorun </dev/null 2>"$WORK/wlscan.err")"
rc=$?
{ [ "$rc" -le 1 ] && [ "$(printf '%s' "$out" | head -n 1 | tr -d '\r' | cut -f1)" = "Item Name" ]; } &&
  pass "wlscan autorun from the zip (exit $rc)" || fail "wlscan autorun from the zip: exit $rc, $(head -c 300 "$WORK/wlscan.err") $(printf '%s' "$out" | head -n 1)"
version="$(wine "$Z/wlscan.exe" --version </dev/null 2>/dev/null | tr -d '\r')"
[ "$version" = "wlscan $OLD" ] || [ "$version" = "wlscan ${OLD%.0}" ] && pass "wlscan --version: $version" ||
  fail "wlscan --version: '$version'"
# Wardenlake.exe: its main window appears; then it is asked to close.
(cd "$Z" && exec wine "$Z/Wardenlake.exe" </dev/null >/dev/null 2>&1) &
app=$!
seen=0
for _ in $(seq 1 150); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Wardenlake"'; then seen=1; break; fi
  kill -0 $app 2>/dev/null || break
  sleep 0.2
done
[ $seen = 1 ] && pass "Wardenlake.exe from the zip shows its window" || fail "Wardenlake.exe from the zip: no window"
wine taskkill /im Wardenlake.exe </dev/null >/dev/null 2>&1
for _ in $(seq 1 50); do kill -0 $app 2>/dev/null || break; sleep 0.2; done
if kill -0 $app 2>/dev/null; then
  wine taskkill /f /im Wardenlake.exe </dev/null >/dev/null 2>&1
  wait $app 2>/dev/null
fi
fi

# ---- The MSI, in a fresh prefix of its own.
if [ "$PART" != zip ]; then
export WINEPREFIX="$WORK/prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
trap 'wineserver -k 2>/dev/null' EXIT
mkdir -p "$WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
C="$WINEPREFIX/drive_c"
DIR="$C/Program Files/Wardenlake"
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# entries NAME: "key|DisplayVersion|Publisher|HelpLink|size" per
# uninstall entry whose DisplayName is NAME.
entries() {
  wine reg query "$UNINSTALL" /s </dev/null 2>/dev/null | tr -d '\r' | awk -v want="$1" '
    function flush() { if (name == want) print key "|" ver "|" pub "|" help "|" size; name = ver = pub = help = size = "" }
    /^HKEY_/ { flush(); key = $0; next }
    $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
    $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_SZ +/, ""); ver = $0 }
    $1 == "Publisher" { sub(/^ *Publisher +REG_SZ +/, ""); pub = $0 }
    $1 == "HelpLink" { sub(/^ *HelpLink +REG_SZ +/, ""); help = $0 }
    # Windows computes EstimatedSize (KiB); Wine writes 0 there and the
    # package'"'"'s own estimate (ARPSIZE) as Size.
    $1 == "EstimatedSize" && $3 != "0x0" { size = $3 }
    $1 == "Size" && size == "" { sub(/^ *Size +REG_SZ +/, ""); size = $0 }
    END { flush() }'
}
shortcut() { find "$C" -iname 'Wardenlake.lnk' 2>/dev/null | head -n 1; }

wine msiexec /i "$WORK/old/Wardenlake-$OLD.msi" /qn </dev/null >/dev/null 2>&1
rc=$?
wineserver -w
[ $rc = 0 ] && pass "msiexec /i exit 0" || fail "msiexec /i exit $rc"
missing=""
for f in Wardenlake.exe wlscan.exe Ref.dbd Qvor.chm NOTICE.txt README.txt; do [ -f "$DIR/$f" ] || missing="$missing $f"; done
[ -z "$missing" ] && pass "installed under Program Files" || fail "not installed:$missing"
cmp -s "$DIR/Qvor.chm" "$BIN/Qvor.chm" && pass "the installed Qvor.chm is the built help file" ||
  fail "the installed Qvor.chm differs"
lnk="$(shortcut)"
[ -n "$lnk" ] && pass "Start-menu shortcut ${lnk#$C/}" || fail "no Start-menu shortcut"
case "$lnk" in *"Start Menu/Programs/Wardenlake.lnk") ;; *) [ -n "$lnk" ] && fail "shortcut not in the Start menu: $lnk" ;; esac
mapfile -t found < <(entries Wardenlake)
if [ ${#found[@]} = 1 ]; then
  IFS='|' read -r key ver pub help size <<<"${found[0]}"
  [ "$ver" = "$OLD" ] && [ "$pub" = Wardenlake ] && [ "$help" = "https://wardenlake.example/help" ] &&
    pass "uninstall entry: $ver, $pub, $help" || fail "uninstall entry: '$ver' '$pub' '$help'"
  [ -n "$size" ] && pass "uninstall entry size $size" || fail "uninstall entry has no size"
else
  fail "${#found[@]} uninstall entries named Wardenlake"
fi
listed="$(wine "$DIR/wlscan.exe" software </dev/null 2>/dev/null | tr -d '\r' | awk -F'\t' '$1 == "Wardenlake"')"
[ "$(printf '%s\n' "$listed" | grep -c .)" = 1 ] && [ "$(printf '%s' "$listed" | cut -f3)" = "$OLD" ] &&
  printf '%s' "$listed" | cut -f2 | grep -q '^Wardenlake' && pass "wlscan software lists it: $(printf '%s' "$listed" | cut -f1-3 | tr '\t' '|')" ||
  fail "wlscan software: '$listed'"

# The newer package over it.
wine msiexec /i "$WORK/new/Wardenlake-$NEW.msi" /qn </dev/null >/dev/null 2>&1
rc=$?
wineserver -w
[ $rc = 0 ] && pass "upgrade: msiexec /i exit 0" || fail "upgrade: msiexec /i exit $rc"
mapfile -t found < <(entries Wardenlake)
[ ${#found[@]} = 1 ] && [ "$(echo "${found[0]}" | cut -d'|' -f2)" = "$NEW" ] && pass "upgrade: one entry, version $NEW" ||
  fail "upgrade: entries ${found[*]:-none}"
[ -f "$DIR/Wardenlake.exe" ] && [ -n "$(shortcut)" ] && pass "upgrade: files and shortcut there" || fail "upgrade: files or shortcut gone"
listed="$(wine "$DIR/wlscan.exe" software </dev/null 2>/dev/null | tr -d '\r' | awk -F'\t' '$1 == "Wardenlake" { print $3 }')"
[ "$listed" = "$NEW" ] && pass "upgrade: wlscan software lists $NEW" || fail "upgrade: wlscan software lists '$listed'"

# Uninstall: the user's backups stay.
mkdir -p "$C/ProgramData/Wardenlake/Backups"
echo kept > "$C/ProgramData/Wardenlake/Backups/change-set.txt"
wine msiexec /x "$WORK/new/Wardenlake-$NEW.msi" /qn </dev/null >/dev/null 2>&1
rc=$?
wineserver -w
[ $rc = 0 ] && pass "msiexec /x exit 0" || fail "msiexec /x exit $rc"
[ ! -e "$DIR" ] && pass "program folder removed" || fail "left behind: $(ls -A "$DIR" | tr '\n' ' ')"
[ -z "$(shortcut)" ] && pass "shortcut removed" || fail "shortcut left: $(shortcut)"
mapfile -t found < <(entries Wardenlake)
[ ${#found[@]} = 0 ] && pass "uninstall entry removed" || fail "entries left: ${found[*]}"
wine reg query 'HKLM\Software\Wardenlake' </dev/null >/dev/null 2>&1 && fail "HKLM\\Software\\Wardenlake left" ||
  pass "no installer key left"
[ -f "$C/ProgramData/Wardenlake/Backups/change-set.txt" ] && pass "backups kept" || fail "backups removed"

wineserver -k 2>/dev/null
trap - EXIT
fi
[ $FAILS = 0 ] && { [ "$PART" != zip ] && rm -rf "$WINEPREFIX"; echo "all passed"; exit 0; }
echo "$FAILS failed"
exit 1
