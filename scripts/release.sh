#!/usr/bin/env bash
# Writes what a person downloads: release/oddball/ and release/oddball.zip
# holding oddball.exe (the packed Windows program), oddball-compatible.exe
# (the normal one, for machines whose scanner flags the packed one), oddball
# (the packed Linux program), oddball.html (the single-file page),
# oddball.png (a still of the show) and oddball.txt (what it is, how to start
# it, what it needs, how it was made).  Builds what is missing in the usual
# trees: build (the still), build-win, build-win64k, build-web, and
# LINUX_64K_TREE (default build-64k).
#   scripts/release.sh [LINUX_64K_TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing "${build_packages[@]}" "${web_packages[@]}" "${windows_packages[@]}"
linux_tree=${1:-build-64k}
still_ms=54000  # order 9: the bump-mapped plasma and "oddball / built from zero."

configure_and_build build oddball
scripts/build_64k.sh "$linux_tree"
for tree in build-win build-win64k; do
    if [ ! -f $tree/build.ninja ]; then
        option=-DODDBALL_WIN_SIZE_BUILD=$([ $tree = build-win64k ] && echo ON || echo OFF)
        cmake -S . -B $tree -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "$option" >&2
    fi
done
cmake --build build-win --target oddball >&2
cmake --build build-win64k --target oddball-64k >&2
platform/web/build.sh build-web >&2

out=release/oddball
rm -rf release
mkdir -p $out
cp build-win64k/oddball.exe $out/oddball.exe
x86_64-w64-mingw32-strip -o $out/oddball-compatible.exe build-win/oddball.exe  # without its symbols (1.7 MB)
cp "$linux_tree/oddball" $out/oddball
cp build-web/oddball.html $out/oddball.html
build/oddball --still $still_ms $out/oddball.png
chmod 755 $out/oddball

size() { stat -c %s "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }

cat >$out/oddball.txt <<EOF
ODDBALL
=======

A 64 KB intro: a real-time audiovisual show of about 159 seconds.  Every
picture is drawn in software into a 320 x 240 frame while a software mixer
plays its tracker song; the song drives the picture (its position picks the
scene, its commands make captions appear and effects pulse).  Eleven scenes:
a title built letter by letter over a tilted zoomer, radial streaks, plasma
under shaded and wire-frame objects, bump refraction, a rotozoom tunnel, a
lens with feedback and a closing line.  It ends by itself when the song
does, or at once on Escape.


STARTING IT

Windows (10 or later, x64)
    Double-click oddball.exe.  A dialog asks for the colour depth (32, 24,
    16 or 15 bits, as the display allows) and the picture size (320 x 240,
    or doubled to 640 x 480); its close box ends the program.  Options on the command line
    skip the dialog:
        oddball.exe --depth 32|24|16|15 --scale 1|2 --windowed
    Some virus scanners flag oddball.exe: it unpacks itself into memory, as
    programs this small do, and their heuristics dislike that.  Where one
    does, run oddball-compatible.exe: the same show, not packed (bigger, and
    with the offline modes: oddball-compatible.exe --help lists them).

Linux (x86-64, with SDL2's library: on Debian or Ubuntu the package
libsdl2-2.0-0)
    ./oddball              full screen on the desktop, with sound
    ./oddball --windowed   in a window
    (chmod +x oddball first if your unzip tool dropped its execute bit.)
    Options: --depth 32|24|16|15, --scale 1|2, --windowed, --help.  Without
    a sound device it says so and plays silently.  It needs Linux 3.19 or
    later (it unpacks itself into memory, without a temporary file).

Any current browser (tested in Firefox and Chromium)
    Open oddball.html, then click or press a key to start (the button starts
    it in full screen); Escape ends it.  The file holds the whole show and
    works opened from the disk or from any web server that sends it without
    naming another character set.  Where the browser cannot play sound it
    says "no sound output: playing silently" and the show goes on.

oddball.png is a still of the show at $((still_ms / 1000)) seconds.


HOW IT WAS MADE

Everything it shows or plays is generated when it starts from data stored
inside the program, all of it made for this show: a tracker song whose
instruments are synthesised and stored as a subband-coded stream, one
MPEG-1 intra picture cut into textures, three meshes, a bitmap font and a
table of caption texts.  The code is C++ (the Linux and Windows stubs that
unpack it are assembly); a context-mixing packer of our own compresses it.

Sizes (the first three at most 65,536 bytes each, the limit of the form):
    oddball.exe              $(size $out/oddball.exe) bytes (the Windows program, packed)
    oddball                  $(size $out/oddball) bytes (the Linux program, packed)
    oddball.html             $(size $out/oddball.html) bytes (the browser page, one file)
    oddball-compatible.exe   $(size $out/oddball-compatible.exe) bytes (the Windows program, not packed)
EOF

rm -f release/oddball.zip
python3 - <<'EOF'
import os, zipfile
with zipfile.ZipFile('release/oddball.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in sorted(os.listdir('release/oddball')):
        z.write(os.path.join('release/oddball', name), 'oddball/' + name)
EOF
echo "release: $(ls $out | tr '\n' ' ')in release/oddball/ and release/oddball.zip ($(size release/oddball.zip) bytes)" >&2
