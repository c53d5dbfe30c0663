#!/usr/bin/env bash
# Runs the key manager under Wine in the demo prefix, the way an installed kit runs it.
#   demo.sh BUILD_DIR PREFIX window       show the window on the current display
#   demo.sh BUILD_DIR PREFIX screenshot   run it on Wine's virtual desktop, save a screenshot, end
#   demo.sh BUILD_DIR PREFIX prepare      only lay out the prefix and its keys
set -euo pipefail

build=$1
prefix=$2
mode=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export KIT_WINEPREFIX=$prefix KIT_WINEARCH=win32
export WINEPREFIX=$prefix WINEARCH=win32 LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

KIT_FRESH_PREFIX=1 "$root/cmake/wine-run" --boot

# The kit lives in the 32-bit system directory, as the installer leaves it.
sysdir="$prefix/drive_c/windows/system32"
cp "$build/manager/KeyManager.exe" "$sysdir/"
if [ -f "$build/standins/KeyCmd.dll" ]; then
    tokens="$build/standins"
else
    tokens="$build/tests/fixtures/full"
fi
cp "$tokens/KeyCmd.dll" "$tokens/KeyDev.dll" "$tokens/KeyNum.dll" "$sysdir/"
if [ -x "$root/tools/demo-keys.sh" ]; then
    "$root/tools/demo-keys.sh" "$build" "$prefix"
fi

case "$mode" in
prepare)
    ;;
window)
    wine 'C:\windows\system32\KeyManager.exe'
    ;;
screenshot)
    shot="$build/demo-screenshot.png"
    wine explorer /desktop=shot,800x600 'C:\windows\system32\KeyManager.exe' >/dev/null 2>&1 &
    sleep "${KIT_DEMO_SECONDS:-10}"
    import -window root -crop 800x600+0+0 "$shot"
    "$root/cmake/wine-run" --shutdown
    wait || true
    echo "KeyManager ran on a virtual display; screenshot: $shot"
    ;;
esac
