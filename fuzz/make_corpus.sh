#!/bin/bash
# Regenerates the seed corpora of the fuzz targets under fuzz/corpus/<target>/
# from the project's own writers (refdbtool pack) and fixtures. Seeds are the
# files named seed-*; inputs that campaigns merged in (named by their SHA-1)
# are kept.
#   fuzz/make_corpus.sh            (uses build/native/bin/refdbtool, or builds one)
#   REFDBTOOL=/path/to/refdbtool fuzz/make_corpus.sh
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
TOOL="${REFDBTOOL:-}"
if [ -z "$TOOL" ]; then
  for t in build/native/bin/refdbtool build/fuzz/bin/refdbtool; do
    [ -x "$t" ] && TOOL="$ROOT/$t" && break
  done
fi
if [ -z "$TOOL" ]; then
  . "$ROOT/scripts/cmake-env.sh"
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Check >/dev/null
  cmake --build build/native -j "${JOBS:-2}" --target refdbtool >/dev/null
  TOOL="$ROOT/build/native/bin/refdbtool"
fi
CORPUS="$ROOT/fuzz/corpus"
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT

fresh() {  # fresh TARGET: empties the seeds of a target, keeps merged inputs
  mkdir -p "$CORPUS/$1"
  rm -f "$CORPUS/$1"/seed-*
}
# put32 FILE OFFSET VALUE: writes a little-endian 32-bit value into FILE.
put32() {
  local v=$(( $3 & 0xFFFFFFFF ))
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)))" |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
put8() { printf "$(printf '\\x%02x' $(( $3 & 255 )))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
size() { stat -c %s "$1"; }

# ---- fuzz_archive: whole archives. The target fixes the archive CRC when the
# first byte is odd and checks member CRCs when the second byte is odd, so the
# damaged seeds start with a stored member "ac..." ('a' and 'c' are odd).
T=fuzz_archive
fresh $T
A="$CORPUS/$T"
M="$TMP/m"
mkdir -p "$M"
for table in Process Class Port Hijack Site; do
  sed -n 1,4p data/refdb/$table.db/*.txt > "$M/$table.db"
done
printf '2024-01-01\n20\n' > "$M/Main.db"
printf 'ac stored member: its bytes are kept as they are\n' > "$M/ac.txt"
printf 'z' > "$M/one.bin"
: > "$M/empty.db"
printf 'Proze\xc3\x9f.db=\xe4\xb8\xad\xe6\x96\x87\r\n' > "$M/Proze$(printf '\xc3\x9f').db"
long="$(printf 'L%.0s' $(seq 1 252)).db"
printf 'long name\n' > "$M/$long"
cd "$M"
"$TOOL" pack "$A/seed-refdb.dbd" Process.db Class.db Port.db Main.db Hijack.db Site.db
"$TOOL" pack "$A/seed-one-compressed.dbd" Main.db
"$TOOL" pack "$A/seed-stored-plain-registry.dbd" --stored ac.txt --plain-registry ac.txt
"$TOOL" pack "$A/seed-stored-compressed-registry.dbd" --stored ac.txt ac.txt
"$TOOL" pack "$A/seed-mixed-members.dbd" --stored ac.txt --stored one.bin ac.txt Main.db one.bin Port.db
"$TOOL" pack "$A/seed-mixed-plain-registry.dbd" --plain-registry --stored ac.txt ac.txt Process.db
"$TOOL" pack "$A/seed-paths.dbd" --stored ac.txt ac.txt --path 'tables\' Main.db --path 'a/b/' Class.db
"$TOOL" pack "$A/seed-no-members.dbd"
"$TOOL" pack "$A/seed-no-members-plain.dbd" --plain-registry
"$TOOL" pack "$A/seed-empty-members.dbd" --stored ac.txt --stored empty.db ac.txt empty.db --path x/ empty.db
"$TOOL" pack "$A/seed-non-ascii.dbd" --stored ac.txt ac.txt "Proze$(printf '\xc3\x9f').db"
"$TOOL" pack "$A/seed-long-names.dbd" --stored ac.txt ac.txt --path "$(printf 'P%.0s' $(seq 1 255))" "$long"
cd "$ROOT"
# Damaged archives: the limits the reader checks. Layout of the base: the
# stored member at 0, the plain registry (532-byte records) after it, then the
# 36-byte footer (CRC, member count at +4, registry offset at +16, registry
# compressed at +20). Record fields: size at +512, data offset at +520, CRC at
# +524, stored at +528.
base="$A/seed-stored-plain-registry.dbd"
n=$(size "$M/ac.txt")
foot=$(( n + 532 ))
damage() {  # damage NAME then edits: NAME, then put32/put8 lines on $f
  f="$A/seed-damaged-$1.dbd"
  cp "$base" "$f"
}
damage count-huge; put32 "$f" $((foot + 4)) 0x7FFFFFFF
damage count-negative; put32 "$f" $((foot + 4)) -1
damage count-two; put32 "$f" $((foot + 4)) 2
damage registry-offset-past-end; put32 "$f" $((foot + 16)) $((foot + 100))
damage registry-offset-at-footer; put32 "$f" $((foot + 16)) $foot
damage registry-flag-compressed; put8 "$f" $((foot + 20)) 1
damage member-size-huge; put32 "$f" $((n + 512)) 0xFFFFFFFF
damage member-offset-past-end; put32 "$f" $((n + 520)) $((foot + 50))
damage member-offset-in-registry; put32 "$f" $((n + 520)) $((n + 1))
damage member-crc; put32 "$f" $((n + 524)) 0x12345678
damage member-not-stored; put8 "$f" $((n + 528)) 0
damage name-length-over; put8 "$f" $n 255
head -c 35 "$base" > "$A/seed-damaged-shorter-than-footer.dbd"
head -c $((foot + 36 - 1)) "$base" > "$A/seed-damaged-truncated.dbd"
# A compressed member whose record claims more than deflate could give.
cp "$A/seed-mixed-plain-registry.dbd" "$A/seed-damaged-ratio.dbd"
put32 "$A/seed-damaged-ratio.dbd" $(( $(size "$A/seed-damaged-ratio.dbd") - 36 - 532 + 512 )) 0x7FFFFFF0

# ---- fuzz_tables: table texts. Every mark, line-end mixes, "=" inside values,
# lines without "=", keys given twice (the last wins), Main.db.
T=fuzz_tables
fresh $T
B="$CORPUS/$T"
for table in Process Class Port Hijack Site; do
  sed -n 1,12p data/refdb/$table.db/*.txt > "$B/seed-$table.db.txt"
done
printf 'svchost.exe=@System\nvirus.exe=$Trojan\nad.exe=#Adware\napp.exe=%%Tool\nplain.exe=plain text\n' > "$B/seed-marks.txt"
printf 'a.exe=@one\r\nb.exe=$two\nc.exe=#three\rd.exe=%%four\r\n\r\n\n\re.exe=five' > "$B/seed-line-ends.txt"
printf 'k=v=w\nk2==\n=value\nno equals sign\nk3=@a=b=c\n==\n=\n' > "$B/seed-equals.txt"
printf 'dup.exe=@first\ndup.exe=$second\nDUP.EXE=#upper\ndup.exe=\n' > "$B/seed-duplicates.txt"
printf '2024-01-01\n3000\n' > "$B/seed-main.txt"
printf 'Date=2024-01-01\r\nCount=3000\r\n' > "$B/seed-main-keys.txt"
printf '\xef\xbb\xbfk\xc3\xa9y=@v\xc3\xa4lue\n\x00nul=$x\n\xff\xfe=#bad utf-8\n' > "$B/seed-bytes.txt"
printf '\n' > "$B/seed-newline.txt"

# ---- fuzz_text_routines: byte 0 is a separator character, byte 1 a count,
# the rest a command line or registry text.
T=fuzz_text_routines
fresh $T
C="$CORPUS/$T"
i=0
while IFS= read -r line; do
  i=$((i + 1))
  printf '\\\003%s' "$line" > "$C/seed-command-$i.txt"
done <<'LINES'
"C:\Program Files\App\app.exe" /run
C:\PROGRA~1\App\app.exe -silent
rundll32.exe C:\WINDOWS\system32\shell32.dll,Control_RunDLL
%SystemRoot%\system32\svchost.exe -k netsvcs
\SystemRoot\System32\drivers\null.sys
\??\C:\WINDOWS\system32\winlogon.exe
"%1" %*
"C:\Windows\notepad.exe" "%1"
%ProgramFiles%\App\app.exe
C:\Users\Ünïcödé\Desktöp\程序.exe /x
system32\drivers\etc\hosts
C:\Program Files\No Quotes\a b.exe arg
"unterminated C:\a.exe
explorer.exe,C:\bad.exe
   spaced.exe   
LINES
printf '"\001C:\\a\\b\\c.exe" "x"' > "$C/seed-quote-sep.txt"
printf ',\002rundll32.exe a.dll,Entry,more,parts' > "$C/seed-comma.txt"
printf '\\\007%s\\app.exe' "$(printf 'C:\\%.0slong' $(seq 1 100))" > "$C/seed-long.txt"
printf '\xc3\005\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80\xc3' > "$C/seed-utf8.txt"
printf ' \000' > "$C/seed-short.txt"

# ---- fuzz_registry_texts: uninstall commands, open commands, shell verbs.
T=fuzz_registry_texts
fresh $T
D="$CORPUS/$T"
i=0
while IFS= read -r line; do
  i=$((i + 1))
  printf '%s' "$line" > "$D/seed-$i.txt"
done <<'LINES'
MsiExec.exe /X{12345678-1234-1234-1234-123456789012}
"C:\Program Files\App\uninstall.exe" /S
C:\Program Files\App\unins000.exe
C:\PROGRA~1\App\UNWISE.EXE C:\PROGRA~1\App\INSTALL.LOG
rundll32.exe advpack.dll,LaunchINFSection C:\WINDOWS\INF\app.inf,Uninstall
"%1" %*
%SystemRoot%\system32\NOTEPAD.EXE %1
%SystemRoot%\System32\WINHLP32.EXE %1
regedit.exe "%1"
C:\WINDOWS\regedit.exe %1
"C:\Program Files\Internet Explorer\iexplore.exe" -nohome
C:\Windows\System32\mspaint.exe "%1"
{645FF040-5081-101B-9F08-00AA002F954E}
C:\a\b\c\d.exe
uninstall.exe
"C:\Ünïcödé\程序\remove.exe" /q
LINES
printf '' > "$D/seed-empty.txt"
printf '"' > "$D/seed-quote.txt"

# ---- fuzz_hive: a flag byte (1: checksums and hashes made right), a hive,
# then "--LOG--" and each log. Built hives (fuzz/hive_seeds.cpp), and the
# first bins of the real hives of tests/data/hives, their base blocks giving
# the size kept (the real logs cut after their first entry).
T=fuzz_hive
fresh $T
H="$CORPUS/$T"
g++ -std=c++20 -O1 -I"$ROOT" fuzz/hive_seeds.cpp -o "$TMP/hive_seeds" \
  core/hive.cpp core/hive_logs.cpp core/hive_listing.cpp core/utf16_text.cpp core/table_text.cpp
"$TMP/hive_seeds" "$H"
first_bins() {  # first_bins HIVE BYTES: the base block and BYTES of hive bins, behind the flag byte
  { printf '\001'; head -c $((4096 + $2)) < <(xz -dc "tests/data/hives/$1.xz"); } > "$TMP/cut"
  put32 "$TMP/cut" $((1 + 40)) "$2"
  cat "$TMP/cut"
}
first_bins SYSTEM 24576 > "$H/seed-system-first-bins"
first_bins NTUSER.DAT 16384 > "$H/seed-ntuser-first-bins"
{ first_bins SYSTEM_B 16384; printf -- '--LOG--'; head -c 16384 < <(xz -dc tests/data/hives/SYSTEM_B.LOG1.xz)
  printf -- '--LOG--'; head -c 12288 < <(xz -dc tests/data/hives/SYSTEM_B.LOG2.xz); } > "$H/seed-system-b-with-logs"

# ---- fuzz_offline_system: SYSTEM, SOFTWARE and a user's NTUSER.DAT separated
# by "--HIVE--", built (fuzz/offline_system_seeds.cpp), and the first bins of
# the real SYSTEM and NTUSER.DAT without a SOFTWARE.
T=fuzz_offline_system
fresh $T
O="$CORPUS/$T"
g++ -std=c++20 -O1 -I"$ROOT" fuzz/offline_system_seeds.cpp -o "$TMP/offline_system_seeds" \
  core/hive.cpp core/hive_logs.cpp core/hive_listing.cpp core/utf16_text.cpp core/table_text.cpp
"$TMP/offline_system_seeds" "$O"
{ first_bins SYSTEM 24576 | tail -c +2; printf -- '--HIVE----HIVE--'; first_bins NTUSER.DAT 16384 | tail -c +2; } \
  > "$O/seed-real-first-bins"

# Version resources: a small 64-bit PE image whose resource directory holds
# one, the version block alone, and the image cut inside its resource.
T=fuzz_version_resource
fresh $T
python3 - "$CORPUS/$T" <<'PY'
import struct, sys
out = sys.argv[1]
def utf16z(text): return text.encode("utf-16-le") + b"\0\0"
def pad4(b): return b + b"\0" * (-len(b) % 4)
def block(key, value, text, children, value_length):
    b = pad4(b"\0" * 6 + utf16z(key)) + value
    b = pad4(b)
    for child in children: b = pad4(b + child)
    return struct.pack("<HHH", len(b), value_length, 1 if text else 0) + b[6:]
def string(name, value): return block(name, utf16z(value), True, [], len(value) + 1)
strings = [string("CompanyName", "Microsoft Corporation"), string("OriginalFilename", "PowerShell.EXE.MUI")]
version = block("VS_VERSION_INFO", b"\0" * 52, False,
                [block("StringFileInfo", b"", True, [block("040904B0", b"", True, strings, 0)], 0),
                 block("VarFileInfo", b"", True, [block("Translation", struct.pack("<HH", 0x409, 1200), False, [], 4)], 0)], 52)
rva = 0x1000
rsrc = bytearray(0x58)
struct.pack_into("<HH", rsrc, 12, 0, 1); struct.pack_into("<II", rsrc, 16, 16, 0x80000000 | 0x18)
struct.pack_into("<HH", rsrc, 0x18 + 12, 0, 1); struct.pack_into("<II", rsrc, 0x18 + 16, 1, 0x80000000 | 0x30)
struct.pack_into("<HH", rsrc, 0x30 + 12, 0, 1); struct.pack_into("<II", rsrc, 0x30 + 16, 0x409, 0x48)
struct.pack_into("<II", rsrc, 0x48, rva + 0x58, len(version))
rsrc += version
image = bytearray(0x200)
image[0:2] = b"MZ"; struct.pack_into("<I", image, 0x3C, 0x40); image[0x40:0x44] = b"PE\0\0"
struct.pack_into("<HH", image, 0x44, 0x8664, 1); struct.pack_into("<H", image, 0x44 + 16, 240)
opt = 0x58
struct.pack_into("<H", image, opt, 0x20B); struct.pack_into("<I", image, opt + 108, 16)
struct.pack_into("<II", image, opt + 112 + 16, rva, len(rsrc))
sec = opt + 240
image[sec:sec + 5] = b".rsrc"; struct.pack_into("<IIII", image, sec + 8, len(rsrc), rva, len(rsrc), 0x200)
image += rsrc
open(out + "/seed-image.exe", "wb").write(image)
open(out + "/seed-version-block.bin", "wb").write(version)
open(out + "/seed-image-cut.exe", "wb").write(image[:len(image) - 40])
PY

echo "seed corpora written under fuzz/corpus/"
