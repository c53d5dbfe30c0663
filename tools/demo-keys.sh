#!/usr/bin/env bash
# Puts the demo's two virtual keys into the demo prefix's key store.
#   demo-keys.sh BUILD_DIR PREFIX
set -euo pipefail
build=$1
prefix=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
certs="Z:$(echo "$root/standins/certs" | tr / '\\')"

k() { KIT_WINEPREFIX=$prefix KIT_WINEARCH=win32 "$root/cmake/wine-run" "$build/standins/keysim.exe" "$@" >/dev/null; }

# Zhang San's key: both applications, certificates in two containers.
k create 0 --label "张三的USBKey" --pin 123456 --serial 5E2B0001 --apps 2 --removed
k put-cert 0 1 0 enc "$certs\\zhangsan-enc.der"
k put-cert 0 1 0 sig "$certs\\zhangsan-sig.der"
k put-cert 0 2 0 sig "$certs\\zhangsan-app2-sig.der"
k insert 0
# Li Si's key: one application with a single signature certificate.
k create 1 --label "李四的USBKey" --pin 888888 --serial 5E2B0002 --apps 1 --removed
k put-cert 1 1 0 sig "$certs\\lisi-sig.der"
k insert 1
echo "demo keys: slot 0 张三的USBKey (PIN 123456), slot 1 李四的USBKey (PIN 888888)"
