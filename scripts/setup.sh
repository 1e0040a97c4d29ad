#!/usr/bin/env bash
# Shared by ./play and ./check: installs the Debian packages the build needs
# when any is missing, then configures and builds into the given tree.
set -euo pipefail

install_missing() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    if ((${#missing[@]})); then
        echo "setup: installing ${missing[*]}" >&2
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
    fi
}

# The compiler and build tools, SDL2 (with the X11 headers the end-to-end
# tests use directly), libpng, GoogleTest, Google Benchmark, libopenmpt
# (the XM tests compare our player with it) and libavcodec (linked into the
# benchmarks only, as the atlas decoder's yardstick).
build_packages=(g++ cmake ninja-build pkg-config libsdl2-dev libx11-dev libpng-dev libgtest-dev libbenchmark-dev
                libopenmpt-dev libavcodec-dev)
# What the tests run besides the build: a private X server and its keyboard, ffmpeg and tesseract as oracles.
test_packages=(xvfb xauth xdotool ffmpeg tesseract-ocr)
# The browser build (platform/web/build.sh) and its tests in headless Chromium
# and Firefox (firefox-esr: about 310 MB with --no-install-recommends, which
# install_missing uses; without it, it would bring far more).
web_packages=(emscripten chromium firefox-esr python3 cmake ninja-build)
# The sanitizer and fuzzing tree: clang with its runtimes (AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer); valgrind for the memcheck run.
sanitizer_packages=(clang-14 libclang-rt-14-dev valgrind)
# The Windows program: mingw-w64 (its -posix compiler, and dlltool, windres,
# objdump), Wine to run it, Mesa's drivers for Wine's display under Xvfb,
# Python's PE reader for the packed program's headers.
windows_packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 libgl1-mesa-dri python3-pefile)

# configure_and_build TREE [TARGET...]: configures TREE once, then builds the
# targets (everything when none is named).
configure_and_build() {
    local tree=$1; shift
    if [ ! -f "$tree/build.ninja" ]; then
        cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
    fi
    if (($#)); then
        cmake --build "$tree" --target "$@" >&2
    else
        cmake --build "$tree" >&2
    fi
}

# configure_sanitizer_tree TREE: configures TREE once with clang,
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzz targets.
configure_sanitizer_tree() {
    local tree=$1
    if [ ! -f "$tree/build.ninja" ]; then
        CC=clang-14 CXX=clang++-14 cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DODDBALL_SANITIZE=ON -DODDBALL_FUZZ=ON >&2
    fi
}
