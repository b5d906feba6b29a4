#!/bin/sh
# Signs copies of a test program the way publishers do, with a certificate
# authority of the test's own (OpenSSL) and osslsigncode:
#   vendor.exe   signed by "Wardenlake Test Vendor"
#   fakems.exe   signed by a certificate named "Microsoft Corporation" under the same test root
#   broken.exe   vendor.exe with one byte changed after signing
#   unsigned.exe the program as built
#   mstool.exe   TOOL (a program whose version information names a Windows
#                SDK tool) signed by the "Microsoft Corporation" certificate
#   userroot.exe signed by "Wardenlake Test User Vendor" under a second root,
#                which the tests put into a user's root store only
#   root.sha256  the SHA-256 of the test root certificate (upper-case hex)
#   root.der, userroot.der  the two roots
# usage: make_signed.sh PROGRAM TOOL OUTDIR
set -eu
program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
tool="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
shift
mkdir -p "$2"
out="$(cd "$2" && pwd)"
work="$out/ca"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

cat > ext.cnf <<'CNF'
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[leaf]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

ca() {  # name common-name
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
    -subj "/O=Wardenlake Tests/CN=$2" -extensions ca -config ext.cnf >/dev/null 2>&1 ||
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
    -subj "/O=Wardenlake Tests/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" >/dev/null 2>&1
}
ca root "Wardenlake Test Root"
ca userroot "Wardenlake Test User Root"

leaf() {  # name subject [root]
  ca="${3:-root}"
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" >/dev/null 2>&1
  openssl x509 -req -in "$1.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial -out "$1.pem" -days 3650 \
    -extfile ext.cnf -extensions leaf >/dev/null 2>&1
  cat "$1.pem" "$ca.pem" > "$1.chain.pem"
}
leaf vendor "/C=US/O=Wardenlake Test Vendor/CN=Wardenlake Test Vendor"
leaf fakems "/C=US/ST=Washington/L=Redmond/O=Microsoft Corporation/CN=Microsoft Corporation"
leaf uservendor "/C=US/O=Wardenlake Test User Vendor/CN=Wardenlake Test User Vendor" userroot

sign() {  # name output [input]
  rm -f "$2"
  osslsigncode sign -certs "$1.chain.pem" -key "$1.key" -n "Wardenlake test program" -in "${3:-$program}" -out "$2" \
    >/dev/null
}
sign vendor "$out/vendor.exe"
sign fakems "$out/fakems.exe"
sign fakems "$out/mstool.exe" "$tool"
sign uservendor "$out/userroot.exe"
cp "$program" "$out/unsigned.exe"
cp "$out/vendor.exe" "$out/broken.exe"
# One byte of the code changed after signing: the signature no longer covers the file.
printf '\001' | dd of="$out/broken.exe" bs=1 seek=1100 conv=notrunc 2>/dev/null
openssl x509 -in root.pem -outform DER -out "$out/root.der"
openssl x509 -in userroot.pem -outform DER -out "$out/userroot.der"
openssl dgst -sha256 -r "$out/root.der" | cut -d' ' -f1 | tr 'a-f' 'A-F' > "$out/root.sha256"
