#!/usr/bin/env bash
# ./kit bench: each benchmark in rounds, the kit's program and its floor in turn, under Wine.
#   bench.sh BUILD_DIR [--quick] [--only window,refresh,install]
# Prints every measurement's line, then per benchmark the two medians, their spread and the ratio,
# and a table at the end (bench/summarize.py). KIT_BENCH_PREFIX names an already booted prefix for
# the window and refresh benchmarks (the tests' own); the installs always get fresh prefixes.
set -euo pipefail

build=$(cd "$1" && pwd)
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_run=$root/cmake/wine-run
rounds_window=31 rounds_refresh=101 rounds_install=3
only=window,refresh,install
while [ $# -gt 0 ]; do
    case "$1" in
        --quick) rounds_window=1 rounds_refresh=1 rounds_install=1 ;;
        --only) [ $# -ge 2 ] || { echo "bench: --only needs a list" >&2; exit 2; }; only=$2; shift ;;
        *) echo "bench: unknown option '$1' (--quick, --only window,refresh,install)" >&2; exit 2 ;;
    esac
    shift
done
wants() { [[ ",$only," == *",$1,"* ]]; }

work=$build/bench/work
bin=$build/bench
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
mkdir -p "$work"
if [ "$(basename "$build")" = win64 ]; then
    echo "bench: the x86-64 twin (build/win64) under 64-bit Wine: this machine cannot run the shipped 32-bit build"
else
    echo "bench: the shipped 32-bit build (build/win32) under Wine, in 64-bit prefixes (WOW64)"
fi
echo "bench: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"

# Xvfb has no window manager: Wine would wait up to 2 s for one to withdraw each hidden window (a box
# answered, a dialog closed), in the program and its floor alike. Prefixes the bench boots itself have
# Wine's windows unmanaged, as under a window manager that answers at once.
unmanaged_windows() {
    "$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

# The window and refresh benchmarks share one prefix; their keys lie in stores of their own.
shared_prefix() {
    export KIT_WINEPREFIX=${KIT_BENCH_PREFIX:-$work/prefix}
    if [ ! -f "$KIT_WINEPREFIX/system.reg" ]; then
        KIT_FRESH_PREFIX=1 "$wine_run" --boot
        unmanaged_windows
    fi
}

run_window() {
    shared_prefix
    local kit=$work/kit certs
    certs=$(winpath "$root/standins/certs")
    mkdir -p "$kit"
    # The manager beside its token libraries, the floor beside it: both started from one folder.
    cp "$build/manager/KeyManager.exe" "$bin/bench_empty_dialog.exe" "$build/standins/KeyCmd.dll" \
       "$build/standins/KeyDev.dll" "$build/standins/KeyNum.dll" "$kit/"
    rm -rf "$work/demo-keys"
    mkdir -p "$work/demo-keys"
    KEYSIM_STORE=$(winpath "$work/demo-keys")
    export KEYSIM_STORE
    "$wine_run" "$bin/window_up_bench.exe" "$rounds_window" "$(winpath "$kit/KeyManager.exe")" \
        "$(winpath "$kit/bench_empty_dialog.exe")" "$certs" || true
    unset KEYSIM_STORE
}

run_refresh() {
    shared_prefix
    local certs
    certs=$(winpath "$root/standins/certs")
    rm -rf "$work/full-keys"
    mkdir -p "$work/full-keys"
    KEYSIM_STORE=$(winpath "$work/full-keys")
    export KEYSIM_STORE
    # The token libraries beside the program, where the manager's loader finds them first.
    cp "$build/standins/KeyCmd.dll" "$build/standins/KeyDev.dll" "$build/standins/KeyNum.dll" "$bin/"
    "$wine_run" "$bin/refresh_bench.exe" "$rounds_refresh" "$certs" || true
    unset KEYSIM_STORE
}

# One install into a copy of the freshly booted template prefix; for the program, a reinstall follows.
install_round() {
    local side=$1 prefix=$work/install-round
    export KIT_WINEPREFIX=$prefix
    "$wine_run" --shutdown
    rm -rf "$prefix"
    cp -a "$work/install-template" "$prefix"
    "$wine_run" --boot
    local setup
    setup=$(winpath "$build/setup/KeySetup.exe")
    if [ "$side" = program ]; then
        "$wine_run" "$bin/install_bench.exe" first program "$setup" || true
        "$wine_run" "$bin/install_bench.exe" reinstall program "$setup" || true
    else
        "$wine_run" "$bin/install_bench.exe" first floor "$(winpath "$bin/install_floor.exe")" "$setup" || true
    fi
    "$wine_run" --shutdown
    rm -rf "$prefix"
}

run_install() {
    # Booted twice, as the installer's end-to-end test boots its prefix: after the first boot the
    # desktop process does not yet answer as the shell.
    export KIT_WINEPREFIX=$work/install-template
    KIT_FRESH_PREFIX=1 "$wine_run" --boot
    unmanaged_windows
    "$wine_run" --boot
    "$wine_run" --shutdown
    local round
    for round in $(seq 1 "$rounds_install"); do
        # The order changes every round, so neither side always runs on a machine warmed by the other.
        if [ $((round % 2)) -eq 1 ]; then
            install_round program
            install_round floor
        else
            install_round floor
            install_round program
        fi
    done
    # Booted afresh by every run, so not kept: a prefix is over a gigabyte.
    rm -rf "$work/install-template"
}

{
    wants window && run_window
    wants refresh && run_refresh
    wants install && run_install
    # A prefix of the bench's own is not left running; the tests' own is theirs to stop.
    [ -n "${KIT_BENCH_PREFIX:-}" ] || KIT_WINEPREFIX=$work/prefix "$wine_run" --shutdown
    echo "bench: load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
} 2>&1 | tee "$work/last-run.txt" | grep --line-buffered -v '^slot [0-9]: ' | python3 "$root/bench/summarize.py" \
    "$(echo "$only" | sed 's/install/install,reinstall/')"
