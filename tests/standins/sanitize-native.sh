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

for part in gtest-all gtest_main; do
    [ -f "$out/$part.o" ] ||
        g++ "${flags[@]}" -isystem "$gtest/include" -I"$gtest" -c "$gtest/src/$part.cc" -o "$out/$part.o"
done

cd "$root"
sources=(
    common/bounded_text.cpp
    standins/token/{key_model,key_ini,key_store,file_tree,file_system,pin_state,key_presence,hex_to_dec,device_path}.cpp
    standins/keysim/{keysim_args,keysim_commands,certificate_file}.cpp
    tests/standins/memory_storage.cpp
    tests/standins/{key_ini,file_system,pin_state,key_presence,keysim}_test.cpp
)
g++ "${flags[@]}" -Wall -Wextra -Werror -finput-charset=UTF-8 -fexec-charset=GBK \
    -Icommon -Istandins/token -Istandins/keysim -isystem "$gtest/include" \
    "${sources[@]}" "$out/gtest-all.o" "$out/gtest_main.o" -o "$out/standin_portable_tests" -lpthread
"$out/standin_portable_tests" "$@"
