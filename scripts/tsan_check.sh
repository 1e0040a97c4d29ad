#!/usr/bin/env bash
# The race check: what has threads, built with ThreadSanitizer (clang, tree
# build-tsan, only the two programs it runs): the clock's timer against a
# frame loop that stalls, tasks started and stopped many times, the sound
# ring between the streaming task and SDL's audio thread (test_threads), and
# the show for a few seconds in real time on the SDL backend with SDL's dummy
# video and audio drivers (the dummy audio driver calls back in real time and
# needs no device).  Any report ends the program with status 66 and fails
# the check.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-tsan}
if [ ! -f "$tree/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DODDBALL_TSAN=ON >&2
fi
cmake --build "$tree" --target test_threads oddball >&2
export TSAN_OPTIONS="halt_on_error=1 exitcode=66"
"$tree/test_threads"

echo "tsan_check: the show for 6 s in real time" >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# SDL turns the TERM into a window close: the show ends as on Escape.
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout --preserve-status -s TERM 6 \
    "$tree/oddball" --windowed --stats 2>"$log" || status=$?
cat "$log" >&2
if ((status != 0)); then
    echo "tsan_check: the show ended with status $status" >&2
    exit 1
fi
if grep -q "no sound device" "$log" || ! grep -q "streaming step every" "$log"; then
    echo "tsan_check: the show did not play through SDL's dummy audio device" >&2
    exit 1
fi
echo "tsan_check: no data race reported" >&2
