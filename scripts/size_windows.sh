#!/usr/bin/env bash
# The Windows show built for size (tree build-win64k) and packed with the
# 64 KB packer's model: how many bytes the packed program takes, before any
# stub.  No packed executable is made yet: the PE stub that would unpack and
# run it is still to write, and the program does not fit yet.
#   scripts/size_windows.sh [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-win64k}
if [ ! -f "$tree/build.ninja" ]; then
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DODDBALL_WIN_SIZE_BUILD=ON >&2
fi
cmake --build "$tree" --target oddball-unpacked >&2
g++ -O2 -std=c++20 -I. size/pe_pack.cpp size/pack.cpp -o "$tree/oddball-pe-pack"
"$tree/oddball-pe-pack" "$tree/oddball-unpacked.exe" "$tree/packed_program.c"
x86_64-w64-mingw32-objdump -h "$tree/oddball-unpacked.exe" | while read -r _ name size _; do
    [[ $name == .* ]] && printf "  %-8s %7d bytes\n" "$name" "$((16#$size))"
done
exit 0
