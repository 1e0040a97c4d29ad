#!/usr/bin/env bash
# Remakes the seed corpora of the fuzz targets (tests/fuzz/<target>/) from
# small valid files made by oddball-tool (ffmpeg only paints the sources).
# Usage: tests/fuzz/make_seeds.sh [BUILD_TREE]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
tool=${1:-build}/oddball-tool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -loglevel error -y "$@"; }

# Pictures: small encoder inputs, their MPEG-1 streams, and the decoded PNGs.
mkdir -p tests/fuzz/png_read tests/fuzz/decode_picture
ff -f lavfi -i testsrc=size=32x16:rate=1 -frames:v 1 "$work/a.png"
ff -f lavfi -i mandelbrot=size=48x32:rate=1 -frames:v 1 "$work/b.png"
"$tool" encode-picture "$work/a.png" tests/fuzz/decode_picture/testsrc-32x16.m1v >/dev/null
"$tool" encode-picture "$work/b.png" tests/fuzz/decode_picture/mandelbrot-48x32-q2.m1v --qscale 2 >/dev/null
"$tool" encode-picture "$work/b.png" tests/fuzz/decode_picture/mandelbrot-48x32-q31.m1v --qscale 31 >/dev/null
"$tool" decode-picture tests/fuzz/decode_picture/testsrc-32x16.m1v tests/fuzz/png_read/rgb-32x16.png
# The other PNG layouts libpng reads: palette, grey with alpha, 16 bits, RGBA.
ff -i "$work/a.png" -pix_fmt pal8 tests/fuzz/png_read/palette.png
ff -i "$work/a.png" -pix_fmt ya8 tests/fuzz/png_read/grey-alpha.png
ff -i "$work/a.png" -vf scale=8:8 -pix_fmt rgb48be tests/fuzz/png_read/rgb16-8x8.png
ff -i "$work/a.png" -vf scale=4:4 -pix_fmt rgba tests/fuzz/png_read/rgba-4x4.png

# Sound: short WAVs, their coded streams, and the decoded WAVs.
mkdir -p tests/fuzz/wav_read tests/fuzz/decode_samples
ff -f lavfi -i "sine=frequency=440:sample_rate=8363" -t 0.06 -c:a pcm_u8 "$work/tone.wav"
ff -f lavfi -i "anoisesrc=colour=pink:sample_rate=11025:seed=1" -t 0.1 -ac 2 -c:a pcm_s16le "$work/noise.wav"
"$tool" encode-samples "$work/tone.wav" tests/fuzz/decode_samples/tone.sbc >/dev/null
"$tool" encode-samples "$work/noise.wav" tests/fuzz/decode_samples/noise.sbc >/dev/null
"$tool" encode-samples "$work/tone.wav" "$work/noise.wav" tests/fuzz/decode_samples/both.sbc >/dev/null
"$tool" decode-samples tests/fuzz/decode_samples/tone.sbc tests/fuzz/wav_read/tone-8bit-mono.wav >/dev/null
cp "$work/noise.wav" tests/fuzz/wav_read/noise-16bit-stereo.wav
ff -i "$work/tone.wav" -t 0.01 -c:a pcm_s16le -rf64 never -f wav -write_bext 1 tests/fuzz/wav_read/with-bext-chunk.wav
ff -f lavfi -i "sine=frequency=300:sample_rate=8000" -t 0.01 -ac 3 -c:a pcm_s16le tests/fuzz/wav_read/extensible-3ch.wav

# The song's sources: song.txt, instruments.txt and three short patterns,
# each file ended by a zero byte (the target's input layout).
mkdir -p tests/fuzz/song_source
song=content/song
pack() {  # pack OUT ORDERS ROWS
    {
        sed "s/^orders .*/orders $2/" $song/song.txt; printf '\0'
        cat $song/instruments.txt; printf '\0'
        for p in 00 01 02; do head -n "$3" $song/patterns/$p.txt; printf '\0'; done
    } > "$1"
}
pack tests/fuzz/song_source/three-patterns.bin "0 1 2 1" 14
pack tests/fuzz/song_source/one-pattern.bin "0" 6
# Modules: the program's song (its samples are the program's own, which the
# target puts behind every module) and the small modules of the module tests.
mkdir -p tests/fuzz/play_module tests/fuzz/import_xm
tree=${1:-build}
cp data/song.mxm tests/fuzz/play_module/song.mxm
"$tree/test_music" --gtest_filter='RenderSong.*' >/dev/null
cp "$tree/test-scratch/render-song-refusal/good.mxm" tests/fuzz/play_module/small-song.mxm
cp "$tree/test-scratch/render-song-samples/song.mxm" tests/fuzz/play_module/looped-sample.mxm

# XM files: the small songs export-xm makes of them (with the coded samples
# of the program's song behind the first).
"$tool" export-xm data/song.mxm "$work/song.xm" --samples data/song.sbc >/dev/null
head -c 12000 "$work/song.xm" > tests/fuzz/import_xm/song-start.xm  # header, patterns, a first instrument
"$tool" export-xm tests/fuzz/play_module/small-song.mxm tests/fuzz/import_xm/small-song.xm >/dev/null
"$tool" export-xm tests/fuzz/play_module/looped-sample.mxm tests/fuzz/import_xm/looped-sample.xm \
    --samples "$tree/test-scratch/render-song-samples/song.smp" >/dev/null

ls -l tests/fuzz/*/ | awk 'NF > 5 { print $5, $9 }'
