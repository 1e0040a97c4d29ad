#!/usr/bin/env bash
# Builds the Windows program and plays it: directly where Windows runs this
# script (MSYS2, Git Bash), under Wine elsewhere.  ./play --windows [--64k] calls it.
# Usage: scripts/play_windows.sh PACKED [options for oddball.exe]
#   PACKED 0: build-win/oddball.exe; 1: the packed program, build-win64k/oddball.exe.
# Wine's prefix is $ODDBALL_WINEPREFIX (default ~/.cache/oddball-wine); it is
# made once, with Wine's virtual desktop on, which DirectDraw's full-screen
# modes need under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
packed=$1
shift
if ((packed)); then
    tree=build-win64k options=(-DODDBALL_WIN_SIZE_BUILD=ON) target=oddball-64k
else
    tree=build-win options=() target=oddball
fi
if [ ! -f $tree/build.ninja ]; then
    cmake -S . -B $tree -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        ${options[@]+"${options[@]}"} >&2
fi
cmake --build $tree --target $target >&2
exe=$tree/oddball.exe
case "$(uname -s)" in
    MINGW* | MSYS* | CYGWIN*) exec "$exe" "$@" ;;
esac

export WINEPREFIX=${ODDBALL_WINEPREFIX:-$HOME/.cache/oddball-wine}
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "play: making a Wine prefix in $WINEPREFIX" >&2
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f >/dev/null 2>&1
fi
wants_display=1
for arg in "$@"; do
    case "$arg" in
        --help | --still | --capture | --wav | --benchmark) wants_display=0 ;;
    esac
done
if ((wants_display)) && [ -z "${DISPLAY:-}" ]; then
    echo "play: Wine needs an X display (DISPLAY is not set); try ./play --windows --capture oddball.y4m" >&2
    exit 1
fi
exec wine "$exe" "$@"
