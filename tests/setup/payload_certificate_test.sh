#!/usr/bin/env bash
# The build's check of an authority's rootca.cer / subca.cer: what the installer would refuse on
# every machine stops the build with a message naming the fault.
#   payload_certificate_test.sh SOURCE_DIR
set -u
check=$1/setup/payload_certificate.cmake
good=$1/standins/certs/rootca.cer
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
size=$(stat -c %s "$good")

# A DER sequence of n bytes in all (long length form), zero-filled.
der() { printf '\x30\x82'"$(printf '\\x%02x\\x%02x' $((($1 - 4) >> 8)) $((($1 - 4) & 255)))"; head -c $(($1 - 4)) /dev/zero; }

der 2048 >"$dir/largest.cer"
der 2700 >"$dir/oversized.cer"
printf -- '-----BEGIN CERTIFICATE-----\nMIIC\n-----END CERTIFICATE-----\n' >"$dir/pem.cer"
head -c $((size / 2)) "$good" >"$dir/cut.cer"
{ cat "$good"; printf 'x'; } >"$dir/trailing.cer"

failures=0
# file, then the message expected, or "" when the file is accepted
while IFS='|' read -r file expected; do
    out=$(cmake -DCERTIFICATE="$file" -P "$check" 2>&1)
    rc=$?
    if [ -z "$expected" ] && [ $rc -ne 0 ]; then
        echo "FAIL: $file refused: $out"; failures=$((failures + 1))
    elif [ -n "$expected" ] && { [ $rc -eq 0 ] || ! grep -q -- "$expected" <<<"$(tr -s ' \n' ' ' <<<"$out")"; }; then
        echo "FAIL: $file: expected \"$expected\", got (rc $rc): $out"; failures=$((failures + 1))
    fi
done <<CASES
$good|
$dir/largest.cer|
$dir/oversized.cer|2700 bytes; the installer takes a certificate of at most 2048 bytes
$dir/pem.cer|not a DER certificate
$dir/cut.cer|the file is cut short
$dir/trailing.cer|bytes after the certificate
CASES
[ $failures -eq 0 ] && echo "every certificate case as expected"
exit $((failures > 0))
