#!/usr/bin/env bash
# Builds the browser build into the given tree (default build-web): index.html,
# oddball.js and oddball.wasm, and the single-file oddball.html.  Installs
# emscripten from Debian when it is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
tree=${1:-build-web}
install_missing "${web_packages[@]}"
# Debian's emscripten finds its JavaScript packages here.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
if [ ! -f "$tree/build.ninja" ]; then
    emcmake cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
fi
cmake --build "$tree" >&2
