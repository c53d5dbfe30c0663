#!/usr/bin/env bash
# The release checks, on releases made by ./kit release from this build with a throwaway authority.
#   release_test.sh sign|refuse|trust BUILD_DIR SHIPPED_BUILD_DIR
# BUILD_DIR is the build under test, whose trust_check.exe runs; the release is made of SHIPPED_BUILD_DIR,
# the 32-bit build (the same one, or the one beside the x86-64 twin).
#   sign    makes the authority and an unsigned and a signed release (the fixture the others use)
#   refuse  bad signing inputs and a signing that fails part-way: an error, a non-zero exit, no
#           release and nothing half-signed left behind; a folder holding more than a release, untouched
#   trust   WinVerifyTrust under Wine on unsigned, signed and tampered files
set -u
mode=$1
build=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
shipped=$3
work=$build/release-test
ca=$work/ca
export RELEASE_TEST_PASSWORD='throwaway pass'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
osslsigncode() { command osslsigncode "$@" >"$work/verify.log" 2>&1; }

case "$mode" in
sign)
    rm -rf "$work"
    mkdir -p "$work"
    "$here/make-test-ca.sh" "$ca" "$RELEASE_TEST_PASSWORD" || exit 1
    "$root/kit" release --no-build --out "$work/unsigned" >/dev/null || exit 1
    "$root/kit" release --no-build --pfx "$ca/signer.pfx" --password-env RELEASE_TEST_PASSWORD \
        --out "$work/signed" >/dev/null || exit 1
    for release in unsigned signed; do
        (cd "$work/$release" && sha256sum --quiet -c SHA256SUMS) || fail "$release: SHA256SUMS"
    done
    # Unsigned, the shipped files are the tested files.
    cmp "$work/unsigned/KeyManager.exe" "$shipped/manager/KeyManager.exe" || fail "unsigned KeyManager.exe is not the build's"
    cmp "$work/unsigned/KeySetup.exe" "$shipped/setup/KeySetup.exe" || fail "unsigned KeySetup.exe is not the build's"
    python3 -c 'import sys; sys.exit(open(sys.argv[2], "rb").read().find(open(sys.argv[1], "rb").read()) < 0)' \
        "$work/signed/KeyManager.exe" "$work/signed/KeySetup.exe" || fail "the signed installer does not carry the signed manager"

    # Each program's debug link names its debug file and holds that file's CRC.
    for file in "$work"/*/*.exe; do
        python3 - "$file" <<'PY' || fail "$file: the debug link does not match ${file}.debug"
import sys, zlib
program = open(sys.argv[1], "rb").read()
name = sys.argv[1].rsplit("/", 1)[1].encode() + b".debug\0"
at = program.find(name)
crc = program[at + (len(name) + 3) // 4 * 4:][:4] if at >= 0 else b""
sys.exit(crc != zlib.crc32(open(sys.argv[1] + ".debug", "rb").read()).to_bytes(4, "little"))
PY
    done
    for program in KeyManager KeySetup; do
        file=$work/signed/$program.exe
        osslsigncode verify -CAfile "$ca/root.pem" -in "$file" || fail "$program.exe does not verify with the test root"
        osslsigncode verify -in "$file" && fail "$program.exe verifies without the test root"
    done
    # One flipped byte in the middle of the resources.
    cp "$work/signed/KeySetup.exe" "$work/tampered.exe"
    python3 - "$work/tampered.exe" "$(x86_64-w64-mingw32-objdump -h "$work/tampered.exe" | awk '$2 == ".rsrc" { print $6, $3 }')" <<'PY'
import sys
offset, size = (int(x, 16) for x in sys.argv[2].split())
with open(sys.argv[1], "r+b") as f:
    f.seek(offset + size // 2)
    byte = f.read(1)[0]
    f.seek(offset + size // 2)
    f.write(bytes([byte ^ 0x01]))
PY
    osslsigncode verify -CAfile "$ca/root.pem" -in "$work/tampered.exe" && fail "a tampered file verifies"
    osslsigncode verify -CAfile "$ca/root.pem" -in "$work/unsigned/KeyManager.exe" && fail "an unsigned file verifies"
    grep -q 'No signature found' "$work/verify.log" || fail "an unsigned file is not reported as unsigned"
    ;;
refuse)
    printf 'not the password\n' >"$work/wrong-password"
    printf 'this is no PFX\n' >"$work/not-a.pfx"
    pfx_env=(--password-env RELEASE_TEST_PASSWORD)
    # what is wrong | words of the error | OSSLSIGNCODE | options
    cases=(
        "missing PFX|cannot read the PFX|osslsigncode|--pfx $ca/absent.pfx ${pfx_env[*]}"
        "not a PFX|not a PFX file|osslsigncode|--pfx $work/not-a.pfx ${pfx_env[*]}"
        "wrong password|wrong password|osslsigncode|--pfx $ca/signer.pfx --password-file $work/wrong-password"
        "password variable unset|is not set|osslsigncode|--pfx $ca/signer.pfx --password-env RELEASE_TEST_UNSET"
        "no codeSigning usage|not for code signing|osslsigncode|--pfx $ca/no-codesigning.pfx ${pfx_env[*]}"
        "expired certificate|has expired|osslsigncode|--pfx $ca/expired.pfx ${pfx_env[*]}"
        "no osslsigncode|not found|$work/absent/osslsigncode|--pfx $ca/signer.pfx ${pfx_env[*]}"
    )
    for row in "${cases[@]}"; do
        IFS='|' read -r what words tool options <<<"$row"
        out=$work/refused
        # An older release there must not survive to look like this run's result.
        mkdir -p "$out" && touch "$out/SHA256SUMS"
        # shellcheck disable=SC2086
        OSSLSIGNCODE=$tool "$root/kit" release --no-build $options --out "$out" >"$work/refused.log" 2>&1
        rc=$?
        [ $rc -ne 0 ] || fail "$what: exit code 0"
        grep -q "$words" "$work/refused.log" || fail "$what: no '$words' in: $(cat "$work/refused.log")"
        [ ! -e "$out" ] || fail "$what: $out is left"
        ls -d "$work"/.release-* 2>/dev/null && fail "$what: a half-made release is left"
    done

    # Signing that fails after the manager is signed and the installer linked around it, as a token
    # pulled out part-way would: nothing signed stays in the build either.
    cat >"$work/sign-manager-only" <<'SH'
#!/bin/sh
case "$*" in *KeySetup.exe*) exit 1 ;; esac
exec osslsigncode "$@"
SH
    chmod +x "$work/sign-manager-only"
    out=$work/refused
    mkdir -p "$out" && touch "$out/SHA256SUMS"
    OSSLSIGNCODE=$work/sign-manager-only "$root/kit" release --no-build --pfx "$ca/signer.pfx" "${pfx_env[@]}" \
        --out "$out" >"$work/refused.log" 2>&1 && fail "signing failed part-way: exit code 0"
    grep -q 'signing KeySetup.exe failed' "$work/refused.log" || fail "signing failed part-way: $(cat "$work/refused.log")"
    [ ! -e "$out" ] || fail "signing failed part-way: $out is left"
    ls -d "$work"/.release-* 2>/dev/null && fail "signing failed part-way: a half-made release is left"
    # The signer's certificate is in every file that holds a signature, or a signed file inside it.
    openssl pkcs12 -in "$ca/signer.pfx" -passin env:RELEASE_TEST_PASSWORD -nokeys -clcerts 2>/dev/null |
        openssl x509 -outform DER >"$work/signer.der" || fail "cannot read the test signer's certificate"
    signed_left=$(python3 - "$shipped" "$work/signer.der" <<'PY'
import os, sys
build, signer = sys.argv[1], open(sys.argv[2], "rb").read()
for folder, subfolders, files in os.walk(build):
    # The release tests' own releases, and the Wine prefixes, are not the build.
    subfolders[:] = [s for s in subfolders if s != "release-test" and "prefix" not in s and not s.startswith("setup-e2e")]
    for name in files:
        path = os.path.join(folder, name)
        if not os.path.islink(path) and signer in open(path, "rb").read():
            print(path)
PY
)
    [ -z "$signed_left" ] || fail "signing failed part-way: signed files left in the build: $signed_left"

    # A folder that holds anything a release does not write is refused whole: nothing in it goes.
    out=$work/not-only-a-release
    rm -rf "$out"
    mkdir -p "$out/old notes"
    printf 'mine\n' >"$out/notes.txt"
    printf 'mine too\n' >"$out/old notes/list.txt"
    printf 'older release\n' | tee "$out/SHA256SUMS" >"$out/KeySetup.exe"
    state() { (cd "$out" && find . | sort && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
    before=$(state)
    "$root/kit" release --no-build --out "$out" >"$work/refused.log" 2>&1 && fail "a folder with other files: exit code 0"
    grep -q "notes.txt, old notes)" "$work/refused.log" || fail "a folder with other files: not named in: $(cat "$work/refused.log")"
    [ "$(state)" = "$before" ] || fail "a folder with other files: it was changed"
    ;;
trust)
    # Wine checks the digest but not the chain of a SHA-256 signature: it accepts any signer, so the
    # signed file passes here without our root, and the chain is checked only with osslsigncode (sign).
    winpath() { echo "Z:${1//\//\\}"; }
    "$root/cmake/wine-run" "$build/tests/trust_check.exe" \
        "$(winpath "$work/unsigned/KeyManager.exe")" 800B0100 \
        "$(winpath "$work/tampered.exe")" 80096010 \
        "$(winpath "$work/signed/KeySetup.exe")" 0 || fail "WinVerifyTrust"
    ;;
*)
    echo "usage: release_test.sh sign|refuse|trust BUILD_DIR SHIPPED_BUILD_DIR" >&2
    exit 2
    ;;
esac
exit $((failures > 0))
