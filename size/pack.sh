#!/usr/bin/env bash
# Packs the size build: the stripped program compressed with xz (the best of
# a few filter settings) behind a one-line shell stub that unpacks it to a
# temporary file, runs it with the given arguments and removes it, passing
# the exit status through.
# Also writes pack.txt beside PACKED: the xz settings and the stub's length.
#   size/pack.sh PROGRAM PACKED
set -euo pipefail
program=$1
packed=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Candidates, each decoded by a plain `xz -dc`: the .lzma format (13 bytes of
# header) and the .xz format with the x86 branch filter (longer header, but
# calls and jumps become absolute and repeat).
best=""
best_size=0
best_settings=""
try() {
    local name=$1; shift
    xz -c "$@" "$program" >"$scratch/$name" 2>/dev/null || return 0
    local size; size=$(stat -c %s "$scratch/$name")
    if [ -z "$best" ] || ((size < best_size)); then best=$name; best_size=$size; best_settings="$*"; fi
}
for lc in 0 1 2 3; do
    for pb in 0 2; do
        try "lzma-$lc-$pb" --format=lzma --lzma1=preset=9e,lc=$lc,lp=0,pb=$pb,nice=273
        try "x86-$lc-$pb" --format=xz --check=none --x86 --lzma2=preset=9e,lc=$lc,lp=0,pb=$pb,nice=273
    done
done

# The stub; N is where the payload starts, counted from 1 as tail -c+N does.
stub_for() {
    printf '#!/bin/sh\na=`mktemp`;trap '"'"'rm -f "$a"'"'"' 0 2 15;tail -c+%d "$0"|xz -dc>"$a"||exit;chmod +x "$a";"$a" "$@";exit\n' "$1"
}
length=$(stub_for 100 | wc -c)
stub=$(stub_for $((length + 1)))
[ "$(printf '%s\n' "$stub" | wc -c)" -eq "$length" ] || { echo "pack: stub length changed" >&2; exit 1; }
{ printf '%s\n' "$stub"; cat "$scratch/$best"; } >"$packed.part"
chmod +x "$packed.part"
mv "$packed.part" "$packed"
# What the size report needs to compress the parts alone the same way.
printf 'settings: %s\nstub: %d\n' "$best_settings" "$length" >"$(dirname "$packed")/pack.txt"
echo "pack: $(stat -c %s "$packed") bytes ($best, stub $length bytes)" >&2
