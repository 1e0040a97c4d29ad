// Scene dispatch: the function that draws each scene (portable).
#include "director/scenes.h"

namespace {

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
