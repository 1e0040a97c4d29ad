#!/usr/bin/env bash
# Builds the packed Windows program (TREE/oddball.exe, tree build-win64k
# unless given: the show built for size, packed behind the Windows stub) and
# shows where its bytes go: the total against 65,536, the stub and its parts,
# the packed program, and each of the program's sections packed alone.
#   scripts/size_windows.sh [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-win64k}
if [ ! -f "$tree/build.ninja" ]; then
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DODDBALL_WIN_SIZE_BUILD=ON >&2
fi
if ! cmake --build "$tree" --target oddball-64k -j2 >"$tree/size-build.log" 2>&1; then
    cat "$tree/size-build.log" >&2
    exit 1
fi
"$tree/oddball-pe-pack" --report "$tree/oddball-pe-stub.bin" "$tree/oddball-unpacked.exe" "$tree/oddball.exe" 2>&1
# The parts of the stub, from its labels.
declare -A at
while read -r value _ name; do at[$name]=$((16#$value)); done < <(nm "$tree/oddball-pe-stub.bin.o")
echo "the stub's parts:"
printf "  headers (with the imported names)         %6d\n" "${at[code]}"
printf "  imports (KERNEL32, seven), failure texts %6d\n" "$((at[start] - at[code]))"
printf "  the loader                                %6d\n" "$((at[cm_unpack] - at[start]))"
printf "  the decoder (unpack.S)                    %6d\n" "$((at[packed] - at[cm_unpack]))"
