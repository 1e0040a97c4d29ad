#!/usr/bin/env bash
# Builds the 64 KB show (scripts/build_64k.sh) and prints where its bytes go:
# the packed size against the limit, the stub, the packed program, and the
# program's parts each packed alone (code, every stored data block, the
# rest), raw and packed with the packer's own model.  --functions adds the
# largest functions of the code (after link-time optimisation has inlined
# what it would), from a copy of the program linked with its symbols.
#   scripts/size_report.sh [--functions] [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
functions=0
if [ "${1:-}" = "--functions" ]; then
    functions=1
    shift
fi
tree=${1:-build-64k}
scripts/build_64k.sh "$tree"
blocks=()
for file in data/*.*; do
    case $file in *.cmake | *.cpp | *.h | *.md | *.txt) ;; *) blocks+=("$file") ;; esac
done
"$tree/oddball-pack" report "$tree/oddball-stub" "$tree/oddball-unpacked" "$tree/oddball" "${blocks[@]}"
if ((functions)); then
    cmake --build "$tree" --target oddball-symbols >&2
    echo
    echo "the largest functions (bytes of code):"
    nm -C --size-sort -S "$tree/oddball-symbols" | awk '$3 ~ /^[tT]$/' | tail -n 25 | sort -k2,2r |
        while read -r _ size _ name; do printf '  %6d  %s\n' "$((16#$size))" "${name:0:100}"; done
fi
