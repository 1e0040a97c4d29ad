#!/usr/bin/env bash
# Builds the browser build into the given tree (default build-web): the
# module and its script (oddball.wasm, oddball.js) and the page's unpacker
# (oddball-unpack.wasm) with emscripten, then the packed payload
# (oddball.pack) and the pages that unpack it: index.html, which fetches it,
# and the single-file oddball.html, which holds it.  Installs emscripten from
# Debian when it is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
tree=${1:-build-web}
install_missing "${web_packages[@]}" g++
# Debian's emscripten finds its JavaScript packages here.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
if [ ! -f "$tree/build.ninja" ]; then
    emcmake cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
fi
cmake --build "$tree" >&2
# The packer runs here, on this machine.
packer=$tree/oddball-web-pack
if [ ! -x "$packer" ] || [ -n "$(find size/packers/web_pack.cpp size/packers/pack.cpp size/packers/pack.h size/packers/cm_model.h media/whole_file.* \
        size/packers/packed_format.h -newer "$packer")" ]; then
    g++ -O2 -std=c++20 -Wall -Wextra -I. size/packers/web_pack.cpp size/packers/pack.cpp media/whole_file.cpp -o "$packer"
fi
/usr/bin/python3 platform/web/make_pages.py platform/web/page.html platform/web/loader.js "$tree" "$packer"
