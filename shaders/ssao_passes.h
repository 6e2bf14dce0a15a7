// The ambient-occlusion frame: a first pass draws normals and depths into
// textures; then either a second, full-screen pass turns them into an
// occlusion picture (and an optional third pass draws the objects again,
// darkened by it), or, with no second-pass program, the depth and normal
// textures are shown side by side. Needs a current OpenGL context.
#pragma once

#include <array>
#include <functional>

#include "shaders/uniforms.h"

namespace Tavrin {

class ShaderProgram;
class SsaoResources;

// What the passes need from the scene for one frame.
struct SsaoFrame {
  std::array<int, 4> viewport{0, 0, 0, 0};  // x, y, width, height; width, height > 0
  SsaoParams params;
  const float* background = nullptr;   // RGBA, the third pass's clear colour
  std::function<void()> draw_objects;  // the scene's geometry, in the current state
  std::function<void()> set_camera;    // projection, model-view and lights of the frame
};

// Draws one occlusion frame. `shader` is the first-pass program (null or
// unlinked: the objects are drawn fixed-function); a null `ssao_shader`
// gives the side-by-side display; a null `compose_shader` leaves the
// occlusion picture on screen. Makes the resources when they are missing.
void draw_ssao_frame(SsaoResources& resources, const SsaoFrame& frame, const ShaderProgram* shader,
                     const ShaderProgram* ssao_shader, const ShaderProgram* compose_shader);

}  // namespace Tavrin
