#!/usr/bin/env bash
# The browser build's tests: builds build-web and the native program in
# build, then drives the page in headless Chromium and Firefox against the
# native program (tests/web/web_test.py).  Installs what it needs on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
started=$SECONDS
install_missing "${build_packages[@]}" "${web_packages[@]}"
platform/web/build.sh build-web
configure_and_build build oddball
/usr/bin/python3 tests/web/web_test.py build-web build/oddball
echo "check: the browser build and its tests took $((SECONDS - started)) s" >&2
