// The show rendered offline on the virtual backend: a still, a capture, the song as WAV, a benchmark (portable).
#pragma once

#include <cstdint>
#include <string>

struct offline_options {
    int fps = 60;        // frames per second of the virtual schedule
    int scale = 1;       // 2 doubles the picture
    int32_t until_ms = -1;  // stop after the frame at or before this show time (-1: the whole show)
};

// The frame shown at show time `ms` (the last frame whose clock is at or
// before it) as a PNG.  Returns the exit status.
int offline_still(int32_t ms, const std::string& path, const offline_options& options);
// The whole show, picture and sound, as .mp4 (through ffmpeg) or as .y4m
// with a .wav beside it.
int offline_capture(const std::string& path, const offline_options& options);
// The song as the mixer renders it, from its start to the end of the show.
int offline_wav(const std::string& path);
// A contact sheet of the show as a PNG: the frame shown at every multiple of
// `every_ms`, at half size, labelled with its time and order, rows of eight.
int offline_storyboard(const std::string& path, int32_t every_ms, const offline_options& options);
// The whole show as fast as it renders, with a report.
int offline_benchmark(const offline_options& options);
