// The four ways the scenes draw a 3D object, the blob's per-frame texture, the frame border (portable).
#pragma once

#include <cstdint>

// Each mode poses its object from t alone (and the camera), so any mode may
// follow any other; destination is a 320 x 240 frame.

// The environment-mapped, wobbling sphere.  mode 1: two waves along the
// normals (focal 140); any other mode: the per-axis wave.  Its environment
// (rewritten every frame) is the clouds with their heights in alpha bump-shifted
// under the swirl.
void render_blob(int32_t mode, float t, float amplitude, float spin, const uint32_t* clouds, const uint32_t* swirl,
                 uint32_t* environment, uint32_t* destination);
// The tumbling, breathing ball: grey subtractive feature edges and a `dot` per vertex.
void render_wire_dots(float t, const uint32_t* dot, uint32_t* destination);
// The extruded outline turning about the vertical axis (angle -t), dark edges.
void render_wire_outline(float t, uint32_t* destination);
// The geodesic sphere's vertices as additive sprites sized by depth, the
// four `sprites` in turn.
void render_sprite_sphere(float t, const uint32_t* const sprites[4], uint32_t* destination);

// Slot-sized bump shift: the source mirrored left to right and displaced by
// the gradient of its alpha heights, plus the light displaced the same way;
// A, B move the colour, C, D the light.
void make_bump_envmap(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* source, const uint32_t* light,
                      uint32_t* destination);
// The same texels by the literal per-texel rule; the tests compare the two.
void make_bump_envmap_plain(int32_t a, int32_t b, int32_t c, int32_t d, const uint32_t* source, const uint32_t* light,
                            uint32_t* destination);

// Blackens the first and last row and column of a screen-sized frame.
void clear_border(uint32_t* pixels);
