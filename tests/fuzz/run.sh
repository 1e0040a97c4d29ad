#!/usr/bin/env bash
# The fuzz targets of tests/fuzz (libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer), built in the sanitizer tree build-asan.
#
#   tests/fuzz/run.sh TARGET MINUTES   fuzz one target for MINUTES; new inputs
#                                      gather in build-asan/fuzz/TARGET/corpus,
#                                      a finding in build-asan/fuzz/TARGET/
#   tests/fuzz/run.sh --replay         run every seed of every target once
#                                      (what ./check does; a finding fails)
#   tests/fuzz/run.sh --list           the targets
#
# A finding's input can be run again with build-asan/fuzz_TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
tree=build-asan
targets=()
for source in tests/fuzz/*.cpp; do
    name=$(basename "$source" .cpp)
    [ -d "tests/fuzz/$name" ] && targets+=("$name")
done

build() {
    configure_sanitizer_tree "$tree"
    cmake --build "$tree" --target "${@/#/fuzz_}" >&2
}

case "${1:-}" in
--list)
    printf '%s\n' "${targets[@]}"
    ;;
--replay)
    build "${targets[@]}"
    log=$tree/fuzz/replay.log
    mkdir -p "$tree/fuzz"
    : > "$log"
    for target in "${targets[@]}"; do
        # Files, not the folder: libFuzzer then only runs them and adds nothing.
        if ! "$tree/fuzz_$target" -rss_limit_mb=2048 tests/fuzz/$target/* >>"$log" 2>&1; then
            cat "$log" >&2
            echo "fuzz: $target fails on one of its seeds (see above)" >&2
            exit 1
        fi
        echo "fuzz: $target: $(ls tests/fuzz/$target | wc -l) seeds replayed" >&2
    done
    ;;
*)
    target=${1:-}
    minutes=${2:-}
    if [[ ! " ${targets[*]} " == *" $target "* ]] || ! [[ "$minutes" =~ ^[0-9]+$ ]] || ((minutes < 1)); then
        echo "usage: tests/fuzz/run.sh TARGET MINUTES | --replay | --list (targets: ${targets[*]})" >&2
        exit 2
    fi
    build "$target"
    out=$tree/fuzz/$target
    mkdir -p "$out/corpus"
    # One process, at most 2 GB, 10 s per input; the target's own chatter on
    # standard output and error is dropped (libFuzzer's and the sanitizers'
    # reports still show).
    "$tree/fuzz_$target" "$out/corpus" "tests/fuzz/$target" \
        -max_total_time=$((minutes * 60)) -rss_limit_mb=2048 -timeout=10 -close_fd_mask=3 \
        -print_final_stats=1 -artifact_prefix="$out/" 2>&1 | tee "$out/last-run.log" | grep -v '^#.*\(NEW\|REDUCE\)'
    status=${PIPESTATUS[0]}
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)|^#[0-9]+.*DONE' "$out/last-run.log" || true
    exit "$status"
    ;;
esac
