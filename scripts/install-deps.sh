#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
set -e
# fp-utils brings chmcmd, the compiler of the help file; libchm-dev the reader
# its test reads it back with; openssl and osslsigncode sign the judge's test
# programs; ca-certificates gives the public roots Network.db is built with
# (openssl computes their thumbprints); python3-jsonschema checks the scan
# documents against their schema; ninja-build builds the trees (see
# scripts/cmake-env.sh); xz-utils unpacks the real registry hives of the tests
# (tests/data/hives), which the hive reader is held against with Debian's
# hivex (libhivex-bin: hivexml; libwin-hivex-perl: hivexregedit).
PKGS="cmake make g++ clang libclang-rt-14-dev zlib1g-dev googletest libbenchmark-dev \
mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev \
wine wine64 xvfb x11-utils imagemagick nlohmann-json3-dev tshark wixl ccache ninja-build \
openssl osslsigncode fp-utils libchm-dev ca-certificates python3-jsonschema \
xz-utils libhivex-bin libwin-hivex-perl"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
