#!/usr/bin/env bash
# Takes the documentation's screenshots of the key manager on the demo's two virtual keys:
# the main window, the verification dialog unshifted and with Shift held, the change dialog.
#   screenshots.sh BUILD_DIR PREFIX OUTPUT_DIR      (run under a display; ./kit screenshots does it)
set -euo pipefail
build=$1
prefix=$2
out=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$out"

KIT_DEMO_SECONDS=1 "$root/tools/demo.sh" "$build" "$prefix" prepare
export WINEPREFIX=$prefix WINEARCH=win32 LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" TZ=Asia/Shanghai
desk() { "$root/cmake/wine-run" explorer /desktop=shot,800x600 "$@" >/dev/null 2>&1; }
shoot() { sleep 1.5; import -window root -crop 800x600+0+0 "$out/$1"; echo "$out/$1"; }

desk 'C:\windows\system32\KeyManager.exe' &
sleep 6
shoot main-window-two-keys.png
desk "$build/tools/shot_driver.exe" verify
desk "$build/tools/shot_driver.exe" type 1018 abc
shoot verify-pin.png
desk "$build/tools/shot_driver.exe" press 1061
shoot verify-pin-shift.png
desk "$build/tools/shot_driver.exe" close
desk "$build/tools/shot_driver.exe" change
desk "$build/tools/shot_driver.exe" type 1007 1234
desk "$build/tools/shot_driver.exe" type 1008 Abcdefg1
shoot change-pin.png
wineserver -k || true
wait || true
