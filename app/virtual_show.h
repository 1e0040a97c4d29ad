// The show on the virtual backend, as the offline modes and the page's tests run it: the run, where it stops, the frames' times per scene, the song alone (portable).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "director/timeline.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

// Runs the whole show on the virtual backend, frames at `fps` and the
// picture at `scale`, handing every flipped frame and played sound span to
// the sinks; returns the program's exit status.  A sink ends the run early
// by setting quit_requested.
int virtual_show_run(int fps, int scale, virtual_frame_sink frames, void* frames_user,
                     virtual_sound_sink sound = nullptr, void* sound_user = nullptr);

// From a frame sink: ends the run once the next frame would come after
// `until_ms` (never for a negative one).
void virtual_show_stop_after(int32_t until_ms, int fps);

// The frames' times of a run, per scene.
struct scene_frame_times {
    std::vector<float> ms[scene_count];

    // One frame of `ms` milliseconds in the scene the published order picks.
    void add(double frame_ms);
    struct summary {
        size_t frames = 0;
        double median = 0, p99 = 0, largest = 0;
    };
    summary of(scene_id scene);
};

// The song as the mixer renders it from its start, 16-bit stereo: `frames`
// frames, or with a negative count to the end of the show and the clock's
// delay beyond.  False when the song never reaches its end.
bool render_song(int64_t frames, std::vector<int16_t>& samples);
