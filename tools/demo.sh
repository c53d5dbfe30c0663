#!/usr/bin/env bash
# Runs the key manager under Wine in the demo prefix, the way an installed kit runs it.
#   demo.sh BUILD_DIR PREFIX window [keep|fresh]       show the window on the current display
#   demo.sh BUILD_DIR PREFIX screenshot [keep|fresh]   run it on Wine's virtual desktop, save a screenshot, end
#   demo.sh BUILD_DIR PREFIX prepare [keep|fresh]      only lay out the prefix and its keys
# keep reuses the prefix and the keys in its store; fresh (the default) starts over.
set -euo pipefail

build=$1
prefix=$2
mode=$3
keep=${4:-fresh}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export KIT_WINEPREFIX=$prefix KIT_WINEARCH=win32
export WINEPREFIX=$prefix WINEARCH=win32 LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ "$keep" = keep ] && [ -f "$prefix/system.reg" ]; then
    "$root/cmake/wine-run" --boot
else
    KIT_FRESH_PREFIX=1 "$root/cmake/wine-run" --boot
fi
# Caption buttons are glyphs of Wine's Marlett font (fonts-wine). 64-bit Wine started on its own does
# not look in Wine's font folder, so the prefix gets its own copy.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp -n /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
fi

# The kit lives in the 32-bit system directory, as the installer leaves it.
sysdir="$prefix/drive_c/windows/system32"
cp "$build/manager/KeyManager.exe" "$sysdir/"
if [ -f "$build/standins/KeyCmd.dll" ]; then
    tokens="$build/standins"
else
    tokens="$build/tests/fixtures/full"
fi
cp "$tokens/KeyCmd.dll" "$tokens/KeyDev.dll" "$tokens/KeyNum.dll" "$sysdir/"
# The demo's keys go in once per prefix; after that the store is the user's, keys made or deleted
# with keysim included.
if [ -x "$root/tools/demo-keys.sh" ] && [ ! -f "$prefix/kit-demo-keys" ]; then
    "$root/tools/demo-keys.sh" "$build" "$prefix" ||
        echo "demo: not every demo key went in: slot 0 or 1 already held a key of yours, which is kept" >&2
    touch "$prefix/kit-demo-keys"
fi

case "$mode" in
prepare)
    ;;
window)
    "$root/cmake/wine-run" 'C:\windows\system32\KeyManager.exe'
    ;;
screenshot)
    shot="$build/demo-screenshot.png"
    "$root/cmake/wine-run" explorer /desktop=shot,800x600 'C:\windows\system32\KeyManager.exe' >/dev/null 2>&1 &
    sleep "${KIT_DEMO_SECONDS:-10}"
    import -window root -crop 800x600+0+0 "$shot"
    "$root/cmake/wine-run" --shutdown
    wait || true
    echo "KeyManager ran on a virtual display; screenshot: $shot"
    ;;
esac
