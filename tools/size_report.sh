#!/usr/bin/env bash
# Builds the 64 KB show (tools/build_64k.sh) and prints where its bytes go:
# the packed size against the limit, the stub, the compressed program, and
# the program's parts each compressed alone (code, every stored data block,
# the rest), raw and packed, with the packer's own settings.
#   tools/size_report.sh [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-64k}
tools/build_64k.sh "$tree"
packed=$tree/oddball
program=$tree/oddball-unpacked
limit=65536
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The size of FILE compressed alone, with the settings the packer chose.
settings=$(sed -n 's/^settings: //p' "$tree/pack.txt")
compressed() { xz -c $settings "$1" 2>/dev/null | wc -c; }
row() { printf '  %-28s %8s %8s\n' "$@"; }

total=$(stat -c %s "$packed")
stub=$(sed -n 's/^stub: //p' "$tree/pack.txt")
payload=$((total - stub))
printf 'packed show %s: %d bytes of %d (%+d)\n\n' "$packed" "$total" "$limit" $((limit - total))
row part raw packed
row "stub (unpacks and runs)" "$stub" "$stub"
row "program, compressed" "$(stat -c %s "$program")" "$payload"
echo
echo "parts of the program, each compressed alone:"
objcopy -O binary --only-section=.text "$program" "$scratch/code"
code_raw=$(stat -c %s "$scratch/code")
row "code (.text)" "$code_raw" "$(compressed "$scratch/code")"
blocks_raw=0
: >"$scratch/blocks"
for file in data/*.*; do
    case $file in *.cmake|*.cpp|*.h|*.md|*.txt) continue ;; esac
    size=$(stat -c %s "$file")
    blocks_raw=$((blocks_raw + size + 64))  # each block is followed by 64 zero bytes
    row "data/${file#data/}" "$size" "$(compressed "$file")"
    cat "$file" >>"$scratch/blocks"
done
row "all data blocks together" "$(stat -c %s "$scratch/blocks")" "$(compressed "$scratch/blocks")"
rest=$(($(stat -c %s "$program") - code_raw - blocks_raw))
row "the rest (headers, linking," "$rest" ""
row "  tables, strings, zeros)" "" ""
