// The Shader menu: the on/off switch, the program choices, and the ambient
// occlusion set-ups with their parameter prompts.
#include <GL/glew.h>

#include "base/messages.h"
#include "render/scene.h"
#include "shaders/shader_effects.h"
#include "shaders/shader_setups.h"
#include "ui/commands.h"
#include "ui/menus.h"
#include "ui/prompts.h"
#include "ui/viewer_host.h"

namespace Tavrin {

namespace {

// 310 and 311: full sample patterns for the listed counts, else random
// samples within a square whose width is asked too. False when cancelled
// (nothing is stored then).
bool prompt_samples(Scene& scene, bool with_225) {
  const char* label =
      with_225 ? "Enter num samples\n9, 25, 49, 225 does full samples\nother values does "
                 "random samples"
               : "Enter num samples\n9, 25, 49 does full samples\nother values does "
                 "random samples";
  int32_t samples = scene.ssao_type;
  if (!prompt_value(samples, label, VALUE_NATURAL)) return false;
  if (samples == 9 || samples == 25 || samples == 49 || (with_225 && samples == 225)) {
    scene.ssao_type = samples;
    return true;
  }
  int32_t width = scene.ssao_width;
  if (!prompt_value(width, "Random samples. Enter max square width to search for samples",
                    VALUE_NATURAL))
    return false;
  scene.ssao_type = samples;
  scene.ssao_width = width;
  return true;
}

// 312 and 314: each answer is stored before the next prompt; a cancel stops
// there and keeps what was stored.
void prompt_samples_width_radius(Scene& scene) {
  int32_t samples = scene.ssao_type;
  if (!prompt_value(samples, format("Enter num samples ( %d < 40)", scene.ssao_type),
                    VALUE_NATURAL))
    return;
  scene.ssao_type = samples;
  int32_t width = scene.ssao_width;
  if (!prompt_value(width,
                    format("Enter max square width to search for samples ( %d)", scene.ssao_width),
                    VALUE_NATURAL))
    return;
  scene.ssao_width = width;
  float radius = scene.ssao_max_dist;
  if (!prompt_value(
          radius,
          format("Enter radius ( max distance) ( %g)", static_cast<double>(scene.ssao_max_dist)),
          VALUE_POSITIVE_REAL))
    return;
  scene.ssao_max_dist = radius;
}

void prompt_factor(Scene& scene) {
  float factor = scene.ssao_factor;
  if (prompt_value(factor, format("Enter AO factor ( %g)", static_cast<double>(scene.ssao_factor)),
                   VALUE_POSITIVE_REAL))
    scene.ssao_factor = factor;
}

}  // namespace

void shader_command(MenuState& state, int value) {
  ViewerHost& host = *state.host;
  Scene& scene = host.scene();
  if (value == 31) {
    toggle_shader(scene);
  } else if (const ShaderSetup* setup = shader_setup_for_command(value)) {
    choose_shader_setup(scene, *setup);
    bool turn_on = true;
    switch (value) {
      case 310:
        turn_on = prompt_samples(scene, true);
        break;
      case 311:
        turn_on = prompt_samples(scene, false);
        break;
      case 312:
      case 314:
        prompt_samples_width_radius(scene);
        break;
      case 313:
        prompt_factor(scene);
        break;
      default:
        break;
    }
    if (turn_on) scene.shader_on = true;
  }
  host.redraw();
  refresh_shader_label(state, scene.shader_on);
  host.redraw();
}

}  // namespace Tavrin
