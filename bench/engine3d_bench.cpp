// Benchmarks of the 3D engine: each render mode on a 320 x 240 frame, the blob's texture, start-up (Google Benchmark).
#include <benchmark/benchmark.h>

#include <vector>

#include "base/memory.h"
#include "director/precalc.h"
#include "engine3d/mesh.h"
#include "engine3d/object_drawing.h"
#include "engine3d/rasterisers.h"
#include "engine3d/render_modes.h"
#include "tools/preview/stand_in_textures.h"

namespace {

void ready()
{
    static bool done = false;
    if (!done) {
        fill_stand_in_textures(false);
        setup_objects(texture_slots[slot_bubbles], texture_slots[slot_environment], texture_slots[slot_clouds]);
        done = true;
    }
}

// t advances every frame as in the show, so poses and sort orders vary.
template <typename Draw>
void run_mode(benchmark::State& state, uint32_t fill, float t_step, Draw draw)
{
    ready();
    std::vector<uint32_t> frame(320 * 240, fill);
    float t = 0;
    for (auto _ : state) {
        draw(t, frame.data());
        t += t_step;
        benchmark::DoNotOptimize(frame.data());
    }
}

void render_blob_per_axis(benchmark::State& state)
{
    run_mode(state, 0, 150 * 20, [](float t, uint32_t* f) { render_blob(0, t, 0.5f, t / 30, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], f); });
}
void render_blob_two_waves(benchmark::State& state)
{
    run_mode(state, 0, 100 * 20, [](float t, uint32_t* f) { render_blob(1, t, 0.4f, t * 0.6f, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment], f); });
}
void render_wire_dots_frame(benchmark::State& state)
{
    run_mode(state, 0x808080, 175 * 20, [](float t, uint32_t* f) { render_wire_dots(t, texture_slots[slot_glow], f); });
}
void render_wire_outline_frame(benchmark::State& state)
{
    run_mode(state, 0xFFFFFF, 400 * 20, render_wire_outline);
}
// Order 8's last rows: the outline 64 times over.
void render_wire_outline_65_copies(benchmark::State& state)
{
    run_mode(state, 0xFFFFFF, 400 * 20, [](float t, uint32_t* f) {
        render_wire_outline(t, f);
        for (int i = 0; i < 64; ++i)
            render_wire_outline(float(i * 5000) + t, f);
    });
}
void render_sprite_sphere_frame(benchmark::State& state)
{
    run_mode(state, 0, 2, [](float t, uint32_t* f) { render_sprite_sphere(t, texture_slots, f); });
}

void make_bump_envmap_slot(benchmark::State& state)
{
    ready();
    int32_t k = 0;
    for (auto _ : state) {
        make_bump_envmap(k, -k, -2 * k, k / 2, texture_slots[slot_clouds], texture_slots[slot_swirl], texture_slots[slot_environment]);
        ++k;
        benchmark::DoNotOptimize(texture_slots[slot_environment]);
    }
}

void setup_objects_startup(benchmark::State& state)
{
    ready();
    for (auto _ : state) {
        release_object(engine3d.outline_object);
        release_object(engine3d.ball_object);
        release_object(engine3d.sphere_object);
        setup_objects(texture_slots[slot_bubbles], texture_slots[slot_environment], texture_slots[slot_clouds]);
    }
}

void build_edge_list_sphere(benchmark::State& state)
{
    ready();
    object3d& sphere = engine3d.sphere_object;
    for (auto _ : state) {
        mem_free(sphere.edges);
        if (state.range(0))
            build_edge_list(sphere, 256);
        else
            build_edge_list_plain(sphere, 256);
    }
}

void draw_textured_triangle_large(benchmark::State& state)
{
    ready();
    std::vector<uint32_t> frame(320 * 240, 0);
    for (auto _ : state) {
        draw_textured_triangle({20, 10, 0, 0}, {300, 60, 255, 40}, {90, 230, 30, 255}, texture_slots[slot_clouds], frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}

}  // namespace

BENCHMARK(render_blob_per_axis)->Unit(benchmark::kMicrosecond);
BENCHMARK(render_blob_two_waves)->Unit(benchmark::kMicrosecond);
BENCHMARK(render_wire_dots_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(render_wire_outline_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(render_wire_outline_65_copies)->Unit(benchmark::kMicrosecond);
BENCHMARK(render_sprite_sphere_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(make_bump_envmap_slot)->Unit(benchmark::kMicrosecond);
BENCHMARK(setup_objects_startup)->Unit(benchmark::kMillisecond);
BENCHMARK(build_edge_list_sphere)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(draw_textured_triangle_large)->Unit(benchmark::kMicrosecond);
