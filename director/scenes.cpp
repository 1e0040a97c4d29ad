// Scene dispatch, and the scenes not drawn yet, which clear the screen (portable).
#include "director/scenes.h"

#include <cstring>

#include "shell/display.h"

namespace {

void clear_screen(uint32_t* screen)
{
    std::memset(screen, 0, size_t(screen_width) * size_t(screen_height) * 4);
}

using scene_fn = void (*)(int32_t t, uint32_t* screen);

// Indexed by scene_id.
constexpr scene_fn scene_functions[] = {
    scene_opening_zoomer,
    scene_zoomer_streaks,
    scene_plasma_shaded,
    scene_plasma_lines,
    scene_bump_sprites,
    scene_plasma_shaded_two,
    scene_zoomer_dots,
    scene_plasma_sequence,
    scene_tunnel,
    scene_layer_lens,
    scene_closing_layer,
};

}  // namespace

void run_scene(scene_id scene, int32_t t, uint32_t* screen)
{
    scene_functions[static_cast<int>(scene)](t, screen);
}

// Not drawn yet: each of these clears the screen until its scene is built.
void scene_plasma_shaded(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_plasma_lines(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_bump_sprites(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_plasma_shaded_two(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_zoomer_dots(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_plasma_sequence(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_tunnel(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_layer_lens(int32_t, uint32_t* screen) { clear_screen(screen); }
void scene_closing_layer(int32_t, uint32_t* screen) { clear_screen(screen); }
