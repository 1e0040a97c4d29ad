#!/usr/bin/env bash
# Builds the 64 KB show (tools/build_64k.sh) and prints where its bytes go:
# the packed size against the limit, the stub, the packed program, and the
# program's parts each packed alone (code, every stored data block, the
# rest), raw and packed with the packer's own model.
#   tools/size_report.sh [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-64k}
tools/build_64k.sh "$tree"
blocks=()
for file in data/*.*; do
    case $file in *.cmake | *.cpp | *.h | *.md | *.txt) ;; *) blocks+=("$file") ;; esac
done
exec "$tree/oddball-pack" report "$tree/oddball-stub" "$tree/oddball-unpacked" "$tree/oddball" "${blocks[@]}"
