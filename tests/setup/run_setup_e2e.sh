#!/usr/bin/env bash
# Runs the installer's end-to-end tests in a fresh private Wine prefix, so the shared test prefix
# never sees the installer's system files, registry keys or certificates.
#   run_setup_e2e.sh win64|win32 BUILD_DIR [INSTALLER]   (default: the build's KeySetup.exe)
set -u
arch=$1
build=$2
[ -n "${3:-}" ] && export KIT_SETUP_EXE="Z:${3//\//\\}"
# An x86-64 build (the twin tested where 32-bit code cannot run) has no 32-bit prefix to install into.
if [ "$arch" = win32 ] && [ "$(basename "$build")" = win64 ]; then
    echo "skipped: the x86-64 build installs into 64-bit prefixes only"
    exit 77
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run=$here/../../cmake/wine-run

export KIT_WINEPREFIX=$build/setup-e2e-$arch
export KIT_WINEARCH=$arch
KIT_FRESH_PREFIX=1 "$wine_run" --boot
# Booted again: the desktop process that a new prefix's first boot starts does not answer as the shell.
"$wine_run" --boot
# Wine's desktop process answers as the desktop shell, which starts the tray client for the installer.
# In the 32-bit prefix the installer is kept from reaching it (no proxies for the shell's interfaces),
# as where no shell runs, so it starts no tray client (the 64-bit run is kept so for one install too).
if [ "$arch" = win64 ]; then
    export KIT_DESKTOP_SHELL=1
else
    "$wine_run" reg add 'HKCU\Software\Wine\AppDefaults\KeySetup.exe\DllOverrides' /v actxprxy /d '' /f \
        >/dev/null 2>&1
fi
rc=0
"$wine_run" "$build/tests/setup_e2e_tests.exe" || rc=$?
"$wine_run" --shutdown
# Kept after a failure, to look into.
[ "$rc" -eq 0 ] && rm -rf "$KIT_WINEPREFIX"
exit "$rc"
