#!/usr/bin/env bash
# Makes a throwaway code-signing authority for the release tests; its keys live only in OUT.
#   make-test-ca.sh OUT PASSWORD
# OUT/root.pem: the root. PFX files protected by PASSWORD, each with a leaf certificate issued by it:
#   signer.pfx (codeSigning, valid 2020-2099), no-codesigning.pfx (clientAuth only), expired.pfx (2020-2021).
set -euo pipefail
out=$1
password=$2
mkdir -p "$out/issued"
: >"$out/index.txt"
cat >"$out/ca.cnf" <<CONF
[ca]
default_ca = test
[test]
database = $out/index.txt
new_certs_dir = $out/issued
serial = $out/serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[req]
distinguished_name = unused
prompt = no
[unused]
CN = unused
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign
subjectKeyIdentifier = hash
[codesigning]
basicConstraints = CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
[clientauth]
basicConstraints = CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth
CONF
echo 01 >"$out/serial"

# issue NAME EXTENSIONS START END ISSUER|self
issue() {
    openssl genrsa -out "$out/$1.key" 2048 2>/dev/null
    openssl req -new -config "$out/ca.cnf" -key "$out/$1.key" -subj "/CN=Release test $1" -out "$out/$1.csr"
    local signer=(-cert "$out/$5.pem" -keyfile "$out/$5.key")
    [ "$5" = self ] && signer=(-selfsign -keyfile "$out/$1.key")
    openssl ca -batch -config "$out/ca.cnf" "${signer[@]}" -in "$out/$1.csr" -out "$out/$1.pem" \
        -extensions "$2" -startdate "$3" -enddate "$4" -notext 2>/dev/null
}
issue root root 20200101000000Z 20991231000000Z self
issue signer codesigning 20200101000000Z 20991231000000Z root
issue no-codesigning clientauth 20200101000000Z 20991231000000Z root
issue expired codesigning 20200101000000Z 20210101000000Z root
for name in signer no-codesigning expired; do
    openssl pkcs12 -export -in "$out/$name.pem" -inkey "$out/$name.key" -certfile "$out/root.pem" \
        -passout "pass:$password" -out "$out/$name.pfx"
done
