#!/usr/bin/env bash
# The Windows program (build-win/oddball.exe) under Wine and a private X
# server:
#   - it imports only Windows system DLLs;
#   - its offline modes give the Linux program's stills (compared pixel for
#     pixel through ffmpeg), its song and its capture (byte for byte);
#   - the show starts, presents changing frames, and ends with status 0
#     within 2 s of Escape or of a close request;
#   - a depth Wine's DirectDraw refuses (24) says "DDraw Error" and exits 1;
#   - depth 16 at scale 2 sets 640 x 480 x 16 and shows every pixel as a 2 x 2 block;
#   - without a sound device the show runs silently; with one (an ALSA
#     device writing a file) DirectSound plays the mixer's song;
#   - the mode dialog appears without options, its choice (16 bits, doubled)
#     is the mode set, and its close box ends the program with status 0;
#   - the packed program (build-win64k/oddball.exe) is at most 65,536 bytes,
#     it and the program inside import only system DLLs, and it shows the
#     show and ends with status 0 on Escape;
#   - its headers (read by Python's pefile): a read-and-execute section laid
#     out as the loader asks of an alignment under a page, the import address
#     table's directory, the right checksum, a time stamp and linker version;
#     the packer refuses a stub whose section breaks that layout;
#   - when its stub cannot load a DLL, or finds the program's range taken,
#     it says so on standard error and ends with status 127;
#   - the mode dialog offers only the depths DirectDraw lists (not 24 or 15
#     under Wine).
# Usage: tests/windows/run.sh [LINUX_ODDBALL]   (default build/oddball)
# Wine's prefix lives in a temporary folder; DirectDraw's modes need Wine's
# virtual desktop, which the prefix's registry turns on.
set -uo pipefail
cd "$(dirname "$0")/../.."
linux=$(realpath "${1:-build/oddball}")
tree=build-win
if [ ! -f $tree/build.ninja ]; then
    cmake -S . -B $tree -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >&2 || exit 1
fi
cmake --build $tree --target oddball probe >&2 || exit 1
exe=$(realpath $tree/oddball.exe)
probe=$(realpath $tree/probe.exe)
packed_tree=build-win64k
if [ ! -f $packed_tree/build.ninja ]; then
    cmake -S . -B $packed_tree -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DODDBALL_WIN_SIZE_BUILD=ON >&2 || exit 1
fi
cmake --build $packed_tree --target oddball-64k >&2 || exit 1
packed=$(realpath $packed_tree/oddball.exe)

source tests/windows/wine_session.sh

# ---- imports ----------------------------------------------------------------
# system_imports NAME FILE: FILE imports some DLLs, all of them Windows' own.
system_imports() {
    local imports
    imports=$(x86_64-w64-mingw32-objdump -p "$2" | awk '/DLL Name:/ {print toupper($3)}' | sort | tr '\n' ' ')
    if [ -n "$imports" ] && ! echo "$imports" | tr ' ' '\n' | grep -vqxE '(KERNEL32|USER32|GDI32|WINMM|DDRAW|DSOUND|MSVCRT)\.DLL|'; then
        pass "$1 imports: $imports"
    else
        fail "$1 imports: $imports"
    fi
}
system_imports oddball.exe "$exe"
system_imports oddball-compatible.exe "$tree/oddball-compatible.exe"
size=$(stat -c %s "$packed")
((size <= 65536)) && pass "the packed program is $size bytes" || fail "the packed program is $size bytes, more than 65,536"
system_imports "the packed program" "$packed"
system_imports "the program it unpacks" "$packed_tree/oddball-unpacked.exe"

# ---- the packed program's headers ----------------------------------------------
if headers=$(/usr/bin/python3 - "$packed" 2>&1 <<'EOF'
import sys, pefile
pe = pefile.PE(sys.argv[1])
o, problems = pe.OPTIONAL_HEADER, []
for s in pe.sections:
    if s.Characteristics != 0x60000020:
        problems.append(f"section flags {s.Characteristics:#x}, not read and execute")
    if o.SectionAlignment < 0x1000 and (s.PointerToRawData != s.VirtualAddress or s.Misc_VirtualSize > s.SizeOfRawData):
        problems.append("a section not at its address in the file")
iat, thunk = o.DATA_DIRECTORY[12], pe.DIRECTORY_ENTRY_IMPORT[0].struct.FirstThunk
if not iat.VirtualAddress <= thunk < iat.VirtualAddress + iat.Size:
    problems.append("no import address table directory over the imports")
if o.CheckSum != pe.generate_checksum():
    problems.append(f"checksum {o.CheckSum:#x}, not {pe.generate_checksum():#x}")
if not pe.FILE_HEADER.TimeDateStamp or not (o.MajorLinkerVersion or o.MinorLinkerVersion):
    problems.append("no time stamp or linker version")
print("; ".join(problems) or f"section {pe.sections[0].Characteristics:#x}, IAT {iat.VirtualAddress:#x}+{iat.Size}, "
      f"checksum {o.CheckSum:#x}, time stamp {pe.FILE_HEADER.TimeDateStamp:#x}, linker {o.MajorLinkerVersion}.{o.MinorLinkerVersion}")
sys.exit(1 if problems else 0)
EOF
); then pass "packed headers: $headers"; else fail "packed headers: $headers"; fi
# A stub whose section's bytes are not at its address: the packer writes nothing.
stub=$packed_tree/oddball-pe-stub.bin
/usr/bin/python3 -c '
import sys; d = bytearray(open(sys.argv[1], "rb").read()); nt = int.from_bytes(d[0x3C:0x40], "little")
at = nt + 24 + int.from_bytes(d[nt + 20:nt + 22], "little") + 20; d[at] += 16; open(sys.argv[2], "wb").write(d)' "$stub" "$work/bad_stub.bin"
if ! "$packed_tree/oddball-pe-pack" "$work/bad_stub.bin" "$packed_tree/oddball-unpacked.exe" "$work/bad.exe" 2>"$work/bad.err" &&
    [ ! -e "$work/bad.exe" ] && grep -q "alignment under a page" "$work/bad.err"; then
    pass "the packer refuses a section whose bytes are not at its address"
else
    fail "the packer wrote an image the loader would refuse: $(cat "$work/bad.err")"
fi

wine_desktop

# ---- the same bytes as the Linux program --------------------------------------
pixels() { ffmpeg -loglevel error -i "$1" -f rawvideo -pix_fmt rgb24 - | md5sum; }
for seconds in 2 20 60 100 140; do
    "$linux" --still $((seconds * 1000)) "$work/linux.png" 2>/dev/null
    wine "$exe" --still $((seconds * 1000)) "$work/windows.png" >/dev/null 2>&1
    if [ -s "$work/linux.png" ] && [ -s "$work/windows.png" ] && [ "$(pixels "$work/linux.png")" = "$(pixels "$work/windows.png")" ]; then
        pass "--still at $seconds s is the Linux frame"
    else
        fail "--still at $seconds s differs from the Linux frame"
    fi
    rm -f "$work/linux.png" "$work/windows.png"
done
"$linux" --wav "$work/linux.wav" --seconds 10 2>/dev/null
wine "$exe" --wav "$work/windows.wav" --seconds 10 >/dev/null 2>&1
if [ -s "$work/linux.wav" ] && cmp -s "$work/linux.wav" "$work/windows.wav"; then
    pass "--wav is the Linux song byte for byte"
else
    fail "--wav differs from the Linux song"
fi
"$linux" --capture "$work/linux.y4m" --seconds 3 2>/dev/null
wine "$exe" --capture "$work/windows.y4m" --seconds 3 >/dev/null 2>&1
if [ -s "$work/linux.y4m" ] && cmp -s "$work/linux.y4m" "$work/windows.y4m" && cmp -s "$work/linux.wav" "$work/windows.wav"; then
    pass "--capture (y4m and wav) is the Linux capture byte for byte"
else
    fail "--capture differs from the Linux capture"
fi
rm -f "$work"/*.y4m "$work"/*.wav

# ---- the show on the display --------------------------------------------------

escape_run escape "" --depth 32

grep -q "no sound device" "$work/escape.out" && pass "without a sound device the show runs silently" ||
    fail "the show found a sound device where there is none"

# The packed program: unpacked, placed and linked by its stub, the same show.
exe_normal=$exe
exe=$packed
escape_run packed "packed: " --depth 32 --scale 1
exe=$exe_normal

# The stub's failures: a DLL it cannot load (the program's WINMM renamed),
# and the program's range taken (its address made the stub's own).
sed 's/WINMM\.dll/WINMX.dll/' "$packed_tree/oddball-unpacked.exe" >"$work/no_dll.exe"
"$packed_tree/oddball-pe-pack" "$stub" "$work/no_dll.exe" "$work/no_dll_packed.exe" 2>/dev/null
/usr/bin/python3 -c '
import sys; d = bytearray(open(sys.argv[1], "rb").read()); at = int(sys.argv[2]) - 8
d[at:at + 4] = (0x400000).to_bytes(4, "little"); open(sys.argv[3], "wb").write(d)' "$packed" "$(stat -c %s "$stub")" "$work/taken.exe"
for run in "no_dll_packed.exe:oddball: cannot load WINMX.dll" "taken.exe:oddball: the program's address range is in use"; do
    timeout 60 wine "$work/${run%%:*}" --depth 32 >/dev/null 2>"$work/stub.err"
    status=$?
    if [ $status -eq 127 ] && [ "$(tr -d '\r' <"$work/stub.err")" = "${run#*:}" ]; then
        pass "packed, ${run%%:*}: \"${run#*:}\" and status 127"
    else
        fail "packed, ${run%%:*}: status $status, said: $(head -c 300 "$work/stub.err")"
    fi
done

# Sound: Wine's DirectSound plays into an ALSA device that writes a file
# (48 kHz, 32-bit float, faster than real time); resampled, its song must be
# the mixer's, as --wav writes it.
cat >"$work/asound.conf" <<EOF
pcm.!default {
    type file
    slave.pcm "discard"
    file "$work/played.f32"
    format "raw"
}
pcm.discard {
    type null
}
EOF
g++ -O2 -o "$work/correlate" tests/windows/probe/correlate.cpp
"$linux" --wav "$work/song.wav" 2>/dev/null
ffmpeg -loglevel error -i "$work/song.wav" -f s16le -acodec pcm_s16le "$work/song.raw"
# sound_run: plays the show into the file for more than ten seconds of the
# song (the device takes it at least as fast as real time); sets $r to
# the correlation and $late to the streaming step's worst delay in ms.
sound_run() {
    rm -f "$work"/played.*
    r=0
    late=0
    ALSA_CONFIG_PATH=$work/asound.conf start sound --depth 32 --stats
    if ! wait_for sound "oddball: display 320 x 240, 32 bits" 60; then
        fail "sound: the show did not start: $(tail -n 3 "$work/sound.out")"
        stop_run
        return
    fi
    showing 320 240 || true
    sleep 11
    xdotool key --window "$(show_window)" Escape
    ended_within 2 || fail "sound: Escape did not end the show"
    late=$(sed -n 's/.*at worst \([0-9]*\).*/\1/p' "$work/sound.out")
    ffmpeg -loglevel error -f f32le -ar 48000 -ac 2 -i "$work/played.f32" -ar 44100 -f s16le -acodec pcm_s16le "$work/played.raw"
    read -r r _ < <("$work/correlate" "$work/song.raw" "$work/played.raw" 10 || echo "0 0")
}
good() { awk -v r="$r" 'BEGIN { exit !(r >= 0.999) }'; }
sound_run
# The device takes the sound some three times faster than real time, so the
# ring lasts only about 120 ms, less what Wine reads ahead: a step more than
# 50 ms late (a machine busy with other work) may leave a gap, and the run
# proves nothing.  Up to twice more then.
for _ in 1 2; do
    good || [ "${late:-0}" -le 50 ] && break
    echo "windows: the streaming step was $late ms late (the machine is busy): once more" >&2
    sound_run
done
if good; then
    pass "sound: what DirectSound played is the mixer's song (correlation $r over 10 s)"
else
    fail "sound: what DirectSound played is not the mixer's song (correlation $r, the step at worst ${late:-?} ms late)"
fi
rm -f "$work"/played.* "$work"/song.*

start close --depth 15
if wait_for close "oddball: display 320 x 240, 16 bits a pixel (red 7c00" 60; then
    sleep 1
    wine "$probe" close oddball
    ended_within 2 && pass "15 bits; a close request ends the show with status 0 within 2 s" ||
        fail "a close request did not end the show with status 0 within 2 s"
else
    fail "the show did not set 320 x 240 x 15: $(tail -n 3 "$work/close.out")"
    stop_run
fi

start refused --depth 24
wait $pid
status=$?
if [ $status -eq 1 ] && grep -q "DDraw Error" "$work/refused.out" && grep -q "SetDisplayMode" "$work/refused.out"; then
    pass "--depth 24, refused by Wine: \"DDraw Error\" and status 1"
else
    fail "--depth 24 gave status $status: $(tail -n 3 "$work/refused.out")"
fi

# doubled RAW: 640 x 480 of 2 x 2 blocks, not black, colours of 16 bits (at
# most 32 reds and 64 greens).
doubled() {
    local blocks reds greens
    blocks=$(ffmpeg -loglevel error -f rawvideo -pix_fmt rgb24 -video_size 640x480 -i "$1" \
        -vf scale=320:240:flags=neighbor,scale=640:480:flags=neighbor -f rawvideo -pix_fmt rgb24 - | md5sum)
    reds=$(od -An -v -tu1 -w3 "$1" | awk '{print $1}' | sort -u | wc -l)
    greens=$(od -An -v -tu1 -w3 "$1" | awk '{print $2}' | sort -u | wc -l)
    ! black "$1" && [ "$blocks" = "$(md5sum <"$1")" ] && [ "$reds" -le 32 ] && [ "$greens" -le 64 ]
}
# mode_16_doubled NAME: the run set 640 x 480 x 16 and shows the picture doubled; Escape ends it.
mode_16_doubled() {
    if ! wait_for $1 "oddball: display 640 x 480, 16 bits a pixel (red f800" 60; then
        fail "$1: no 640 x 480 x 16 mode: $(tail -n 3 "$work/$1.out")"
        stop_run
        return
    fi
    showing 640 480 && doubled "$work/b.raw" && pass "$1: 640 x 480 x 16, every pixel a 2 x 2 block" || fail "$1: the picture is not the frame doubled at 16 bits"
    xdotool key --window "$(show_window)" Escape
    ended_within 2 || fail "$1: Escape did not end the show"
}
start double --depth 16 --scale 2
mode_16_doubled double

# ---- the mode dialog ----------------------------------------------------------
start dialog_closed
if wine "$probe" wait "oddball: display" 30; then
    # Wine's DirectDraw lists 32 and 16 bits (5-6-5), not 24 or 15 (5-5-5).
    offered=$(wine "$probe" enabled "oddball: display" | tr -d '\r')
    [ "$offered" = 1010 ] && pass "the dialog offers only the depths DirectDraw lists (32, 16)" ||
        fail "the dialog's depth buttons enabled: $offered, not 1010"
    wine "$probe" close "oddball: display"
    ended_within 5
    status=$?
    if [ $status -eq 0 ] && ! grep -q "oddball: display 3\|oddball: display 6" "$work/dialog_closed.out"; then
        pass "the dialog's close box ends the program with status 0, no show"
    else
        fail "closing the dialog did not end the program with status 0 at once (status $status): $(tail -n 3 "$work/dialog_closed.out")"
    fi
else
    fail "the mode dialog did not appear: $(tail -n 3 "$work/dialog_closed.out")"
    stop_run
fi

start dialog
if wine "$probe" wait "oddball: display" 30; then
    dialog=$(xdotool search --name '^oddball: display$' | head -n 1)
    xdotool key --window "$dialog" alt+6 alt+d Return
    mode_16_doubled dialog
else
    fail "the mode dialog did not appear: $(tail -n 3 "$work/dialog.out")"
    stop_run
fi
if ((failures)); then
    echo "windows: $failures failed" >&2
    exit 1
fi
echo "windows: all passed" >&2
