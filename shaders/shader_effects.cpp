// Drawing through the chosen programs, and choosing them.
#include <GL/glew.h>

#include "shaders/shader_effects.h"

#include "render/scene.h"
#include "shaders/shader_table.h"
#include "shaders/ssao_passes.h"
#include "shaders/uniforms.h"

namespace Tavrin {

bool ShaderEffects::draw(Scene& scene, const View& view, float aspect, const float background[4]) {
  if (!shader) return false;
  if (scene.ssao_on) {
    SsaoFrame frame;
    frame.viewport = {scene.viewport[0], scene.viewport[1], scene.viewport[2], scene.viewport[3]};
    frame.params = {scene.ssao_type, scene.ssao_width, scene.ssao_factor, scene.ssao_max_dist};
    frame.background = background;
    frame.draw_objects = [&scene] { scene.draw_objects(); };
    frame.set_camera = [&scene, &view, aspect] { scene.set_camera(view, aspect); };
    draw_ssao_frame(resources, frame, shader.get(), ssao_shader.get(), compose_shader.get());
    return true;
  }
  if (!shader->program) return false;
  glUseProgram(shader->program);
  // The Phong program lights with the second light only while it is on.
  setUniformInt(shader->program, "light_count", glIsEnabled(GL_LIGHT1) ? 2 : 1);
  scene.draw_objects();
  glUseProgram(0);
  return true;
}

void ShaderEffects::release_programs() {
  shader.reset();
  ssao_shader.reset();
  compose_shader.reset();
}

ShaderEffects& shader_effects(Scene& scene) {
  if (auto* mine = dynamic_cast<ShaderEffects*>(scene.effects.get())) return *mine;
  auto effects = std::make_unique<ShaderEffects>();
  ShaderEffects& result = *effects;
  scene.effects = std::move(effects);
  return result;
}

bool set_shader(Scene& scene, const char* name) {
  ShaderEffects& effects = shader_effects(scene);
  effects.shader = load_shader_program(name);
  scene.ssao_on = effects.shader && name && is_normal_depth_shader(name);
  return effects.shader != nullptr;
}

bool choose_shader(Scene& scene, const char* first, const char* second, const char* third) {
  ShaderEffects& effects = shader_effects(scene);
  effects.release_programs();
  bool all = set_shader(scene, first);
  if (second) {
    effects.ssao_shader = load_shader_program(second);
    all = all && effects.ssao_shader;
  }
  if (third) {
    effects.compose_shader = load_shader_program(third);
    all = all && effects.compose_shader;
  }
  return all;
}

bool choose_shader_setup(Scene& scene, const ShaderSetup& setup) {
  return choose_shader(scene, setup.shader, setup.ssao_shader, setup.compose_shader);
}

bool toggle_shader(Scene& scene) {
  scene.shader_on = !scene.shader_on;
  return scene.shader_on;
}

}  // namespace Tavrin
