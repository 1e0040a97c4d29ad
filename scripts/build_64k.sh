#!/usr/bin/env bash
# Builds the 64 KB show: configures TREE (build-64k unless given) as a size
# build and builds TREE/oddball, the packed executable.  One build at a time
# per tree, so tests may call it side by side.
#   scripts/build_64k.sh [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-64k}
mkdir -p "$tree"
exec 9>"$tree/.build-lock"
flock 9
if [ ! -f "$tree/build.ninja" ]; then
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DODDBALL_SIZE_BUILD=ON >&2
fi
cmake --build "$tree" --target oddball-64k -j2 >&2
