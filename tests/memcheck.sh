#!/usr/bin/env bash
# valgrind's memcheck on the show's first SECONDS (default 30) on the
# virtual backend, 10 frames a second: any invalid read or write, use of an
# uninitialised value or definitely lost block fails it.
# Usage: tests/memcheck.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
seconds=${1:-30}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: tests/memcheck.sh [SECONDS]" >&2
    exit 2
fi
configure_and_build build oddball
valgrind --tool=memcheck --quiet --error-exitcode=1 --track-origins=yes \
    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    build/oddball --benchmark --seconds "$seconds" --fps 10
