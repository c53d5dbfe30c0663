#!/usr/bin/env bash
# Builds the stand-ins' portable code (everything that parses stored or untrusted data) and its tests
# natively with AddressSanitizer and UndefinedBehaviorSanitizer, and runs them.
#   sanitize-native.sh [BUILD_FOLDER [GTEST_ARGUMENTS...]]      (default: build/native-sanitize)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build/native-sanitize}
[ $# -gt 0 ] && shift
gtest=/usr/src/googletest/googletest
mkdir -p "$out"
flags=(-std=c++17 -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if [ ! -f "$out/gtest-all.o" ]; then
    g++ "${flags[@]}" -isystem "$gtest/include" -I"$gtest" -c "$gtest/src/gtest-all.cc" -o "$out/gtest-all.o"
fi

cd "$root"
sources=(
    common/bounded_text.cpp
    manager/token/key_file.cpp manager/token/token_entries.cpp
    standins/token/{key_model,key_ini,key_store,file_tree,file_system,pin_state,key_presence,hex_to_dec,device_path}.cpp
    standins/keysim/{keysim_args,keysim_commands,certificate_file}.cpp
    tests/standins/memory_storage.cpp tests/standins/native_main.cpp
    tests/standins/{hex_to_dec,key_ini,file_system,pin_state,key_presence,keysim}_test.cpp
)
g++ "${flags[@]}" -Wall -Wextra -Werror -finput-charset=UTF-8 -fexec-charset=GBK \
    -Icommon -Imanager -Istandins/token -Istandins/keysim -isystem "$gtest/include" \
    "${sources[@]}" "$out/gtest-all.o" -o "$out/standin_portable_tests" -lpthread
"$out/standin_portable_tests" "$@"
