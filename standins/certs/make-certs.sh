#!/usr/bin/env bash
# Builds the demo certificate authority of the virtual keys: a root, an intermediate CA and an encryption
# and a signature certificate for two users, and a second signature certificate for 张三 (for his key's
# second application), all DER, subject names in UTF8String.
# Keys are made fresh on each run and thrown away; names, serial numbers and validity are fixed, so only
# the keys and signatures differ between runs.
#   make-certs.sh [OUTPUT_FOLDER]     (default: this script's folder)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/ca.cnf" <<CONF
[ca]
default_ca = demo

[demo]
database = $work/index.txt
new_certs_dir = $work/issued
serial = $work/serial
default_md = sha256
policy = names_as_given
unique_subject = no
email_in_dn = no
preserve = yes
utf8 = yes
string_mask = utf8only

[names_as_given]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = supplied

[req]
distinguished_name = unused
string_mask = utf8only
utf8 = yes
prompt = no

[unused]
CN = unused

[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[intermediate]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[signature]
basicConstraints = CA:false
keyUsage = critical, digitalSignature, nonRepudiation
extendedKeyUsage = clientAuth, emailProtection
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[encryption]
basicConstraints = CA:false
keyUsage = critical, keyEncipherment, dataEncipherment
extendedKeyUsage = emailProtection
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CONF
mkdir "$work/issued"
: >"$work/index.txt"

# A positive serial of the given number of bytes derived from the name, so it never changes.
serial_of() {
    local hex
    hex=$(printf '%s' "velmora-demo:$1" | sha256sum | cut -c1-$(($2 * 2)))
    printf '%X%s' $((0x${hex:0:1} & 7 | 1)) "${hex:1}" | tr 'a-f' 'A-F'
}

# issue NAME SUBJECT EXTENSIONS SERIAL_BYTES ISSUER_NAME|self
issue() {
    local name=$1 subject=$2 extensions=$3 bytes=$4 issuer=$5
    openssl genrsa -out "$work/$name.key" 2048 2>/dev/null
    openssl req -new -config "$work/ca.cnf" -key "$work/$name.key" -subj "$subject" -utf8 \
        -out "$work/$name.csr"
    serial_of "$name" "$bytes" >"$work/serial"
    local signer=(-cert "$work/$issuer.pem" -keyfile "$work/$issuer.key")
    [ "$issuer" = self ] && signer=(-selfsign -keyfile "$work/$name.key")
    openssl ca -batch -config "$work/ca.cnf" "${signer[@]}" -in "$work/$name.csr" -out "$work/$name.pem" \
        -extensions "$extensions" -startdate 240101000000Z -enddate 340101000000Z -notext -utf8 2>/dev/null
}

issue root "/C=CN/O=Velmora CA/CN=Velmora 根证书" root 20 self
issue subca "/C=CN/O=Velmora CA/OU=用户证书/CN=Velmora 用户证书签发中心" intermediate 20 root
issue zhangsan-sig "/C=CN/O=某某公司/OU=信息部/CN=张三" signature 20 subca
issue zhangsan-enc "/C=CN/O=某某公司/OU=信息部/CN=张三" encryption 20 subca
issue zhangsan-app2-sig "/C=CN/O=某某公司/OU=财务部/CN=张三" signature 20 subca
issue lisi-sig "/C=CN/O=某某科技有限公司/CN=李四" signature 16 subca
issue lisi-enc "/C=CN/O=某某科技有限公司/CN=李四" encryption 16 subca

openssl x509 -in "$work/root.pem" -outform DER -out "$out/rootca.cer"
openssl x509 -in "$work/subca.pem" -outform DER -out "$out/subca.cer"
for name in zhangsan-sig zhangsan-enc zhangsan-app2-sig lisi-sig lisi-enc; do
    openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.der"
done
# The chain must hold together, or the demo shows certificates no one could trust.
cat "$work/root.pem" >"$work/trust.pem"
for name in zhangsan-sig zhangsan-enc zhangsan-app2-sig lisi-sig lisi-enc; do
    openssl verify -CAfile "$work/trust.pem" -untrusted "$work/subca.pem" -attime 1735689600 "$work/$name.pem" >/dev/null
done
ls -l "$out"/*.cer "$out"/*.der
