// The scene's shader programs and occlusion resources, and the operations
// the Shader menu (and the rendering tool) call to choose them.
//
// The scene reaches this through its `effects` (render/scene_effects.h); the
// functions below install a ShaderEffects there when the scene has none. The
// scene keeps the switches and parameters (shader_on, ssao_on, ssao_type,
// ssao_width, ssao_factor, ssao_max_dist, viewport). Everything that makes or
// deletes programs or textures needs the scene's GL context to be current.
#pragma once

#include <memory>

#include "render/scene_effects.h"
#include "shaders/shader_program.h"
#include "shaders/shader_setups.h"
#include "shaders/ssao_resources.h"

namespace Tavrin {

class Scene;

class ShaderEffects : public SceneEffects {
 public:
  // Plain program: draws the objects through it. Occlusion (scene.ssao_on):
  // the passes, making the resources at the viewport's size when missing.
  // False when there is no `shader` to draw with.
  bool draw(Scene& scene, const View& view, float aspect, const float background[4]) override;
  // Deletes the frame buffer and the four textures (the viewport changed).
  void release_resources() override { resources.release(); }
  // Destroys the three programs.
  void release_programs();

  std::unique_ptr<ShaderProgram> shader;          // the selected program
  std::unique_ptr<ShaderProgram> ssao_shader;     // second pass
  std::unique_ptr<ShaderProgram> compose_shader;  // third pass
  SsaoResources resources;
};

// The scene's ShaderEffects, installed (replacing any other effects) when
// missing.
ShaderEffects& shader_effects(Scene& scene);

// Replaces the scene's `shader` with the program `name` and sets `ssao_on`
// exactly when a program came back and the name is "draw_normal+depth" or
// "draw_normal+depth 2" (any case). Returns whether a program came back;
// failures are reported by load_shader_program.
bool set_shader(Scene& scene, const char* name);

// A shader choice of the Shader menu: releases the three programs, loads
// `first` as the scene's `shader` (set_shader), then `second` as
// `ssao_shader` and `third` as `compose_shader` when given. Leaves
// `shader_on` alone: the menu sets it. True when every named program loaded;
// a slot whose program failed stays empty (the frame then draws
// fixed-function, or skips the passes that program was for).
bool choose_shader(Scene& scene, const char* first, const char* second = nullptr,
                   const char* third = nullptr);

// choose_shader with the programs of a set-up (see shader_setups.h).
bool choose_shader_setup(Scene& scene, const ShaderSetup& setup);

// Command 31: turns drawing through the shaders on or off; returns the new
// state (the menu label shows it).
bool toggle_shader(Scene& scene);

}  // namespace Tavrin
