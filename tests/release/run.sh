#!/usr/bin/env bash
# The release archive: runs scripts/release.sh, then checks what it wrote:
#   - oddball.zip holds release/oddball/'s files, the same bytes, the Linux
#     program executable;
#   - the packed programs' and the page's sizes are the ones README gives;
#   - oddball.exe and oddball-compatible.exe start under Wine, show the show
#     and end with status 0 on Escape; so does oddball under Xvfb;
#   - oddball.html, opened from the disk in Chromium, shows at the still's
#     time the frame oddball.png holds.
# Usage: tests/release/run.sh [LINUX_64K_TREE]   (default build-64k; ./check
# passes build/build-64k, which its tests have built)
set -uo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
install_missing "${test_packages[@]}"
set +e  # setup.sh's -e: a failed check is counted, not the end
scripts/release.sh "${1:-build-64k}" || exit 1
cmake --build build-win --target probe >&2 || exit 1
probe=$(realpath build-win/probe.exe)
out=$(realpath release/oddball)
test_name=release
source tests/windows/wine_session.sh

python3 - "$out" <<'EOF' && pass "oddball.zip holds the folder's files" || fail "oddball.zip is not the folder"
import os, sys, zipfile
folder = sys.argv[1]
with zipfile.ZipFile(folder + '.zip') as z:
    names = sorted(i.filename for i in z.infolist())
    same = names == ['oddball/' + n for n in sorted(os.listdir(folder))] and all(
        z.read('oddball/' + n) == open(os.path.join(folder, n), 'rb').read() for n in os.listdir(folder))
    sys.exit(0 if same and z.getinfo('oddball/oddball').external_attr >> 16 & 0o111 else 1)
EOF

# readme_size PATTERN FILE: README's number in PATTERN's group is FILE's size.
readme_size() {
    local said
    said=$(sed -n "s/.*$1.*/\1/p" README.md | head -n 1 | tr -d ,)
    [ -n "$said" ] && [ "$said" = "$(stat -c %s "$out/$2")" ] && pass "$2: $said bytes, as README says" ||
        fail "$2: $(stat -c %s "$out/$2") bytes, README says ${said:-nothing}"
}
readme_size 'at most 65,536 bytes (\([0-9,]*\) now)' oddball
readme_size '65,536 bytes: \([0-9,]*\) now' oddball.exe
readme_size 'the single-file oddball.html \([0-9,]*\) bytes' oddball.html

wine_desktop
exe=$out/oddball.exe
escape_run packed "oddball.exe: " --depth 32
exe=$out/oddball-compatible.exe
escape_run compatible "oddball-compatible.exe: " --depth 32

# The Linux program as a user starts it, without options (on this X server,
# which has no window manager, its window stays 320 x 240 where SDL put it).
(cd "$work" && exec timeout 60 "$out/oddball" >"$work/linux.out" 2>&1) &
pid=$!
for _ in $(seq 100); do [ -n "$(show_window)" ] && break; sleep 0.2; done
eval "$(xdotool getwindowgeometry --shell "$(show_window)" 2>/dev/null)"
if [ -n "$(show_window)" ] && showing 320 240 "${X:-0}" "${Y:-0}"; then
    pass "oddball: the show presents changing frames"
    xdotool key --window "$(show_window)" Escape
    ended_within 2 && pass "oddball: Escape ends the show with status 0 within 2 s" ||
        fail "oddball: Escape did not end the show with status 0 within 2 s"
else
    fail "oddball: no show on the display: $(tail -n 3 "$work/linux.out")"
    stop_run
fi

python3 - "$out" <<'EOF' && pass "oddball.html from the disk shows oddball.png's frame" || fail "oddball.html's still is not oddball.png"
import sys
sys.path.insert(0, 'tests/web')
import devtools, png_pixels
browser = devtools.Browser()
try:
    browser.open('file://%s/oddball.html?still=54000' % sys.argv[1], 'oddball: done', timeout=120)
    got = browser.evaluate('oddballStill.hashes[0]')
finally:
    browser.close()
want = png_pixels.picture_hash(png_pixels.rgb_pixels(open(sys.argv[1] + '/oddball.png', 'rb').read())[2])
print('release: the page %s, the still %s' % (got, want), file=sys.stderr)
sys.exit(got != want)
EOF

if ((failures)); then
    echo "release: $failures failed" >&2
    exit 1
fi
echo "release: all passed" >&2
