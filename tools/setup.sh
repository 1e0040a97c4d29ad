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

build_packages=(g++ cmake ninja-build pkg-config libsdl2-dev libpng-dev libgtest-dev libbenchmark-dev)

configure_and_build() {
    local tree=$1; shift
    if [ ! -f "$tree/build.ninja" ]; then
        cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >&2
    fi
    cmake --build "$tree" >&2
}
