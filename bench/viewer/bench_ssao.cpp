// Frame time of each shader and ambient-occlusion set-up against the plain
// fixed-function frame of the same run, drawn off-screen (an X display with
// GLX is needed: run under xvfb-run). The counters show that the frame
// buffer and textures are made once per viewport size, not per frame.
//
// Usage: bench_ssao [mesh.ply ...] [--frames N] [--size WxH]
// Without meshes: tests/data/dragon_small.ply as read and refined once.
#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "io/ply_reader.h"
#include "render/gl_driver.h"
#include "render/scene.h"
#include "shaders/shader_effects.h"

// Last: Xlib's macros (None, Status, Bool) would clash with the names above.
#include "app/tools/viewer/offscreen_gl.h"

using namespace Tavrin;

namespace {

// An off-screen context of that size; false without an X display with GLX.
// Defined at the end: the X headers' macros (Status, Box) clash with ours.

double frame_ms(Scene& scene, int width, int height, int frames) {
  const float background[4] = {0.9f, 0.9f, 0.9f, 1.0f};
  View view;
  view.rotation = {0.2f, 0.3f, 0.0f, 0.93f};
  auto one = [&] {
    glViewport(0, 0, width, height);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene.draw(view, float(width) / float(height), background);
    glFinish();
  };
  for (int i = 0; i < 3; ++i) one();
  // Best of three runs: the machine is shared, and interference only adds.
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) one();
    std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    best = std::min(best, spent.count() / frames);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> meshes;
  int frames = 20, width = 1024, height = 600;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
      frames = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
      std::sscanf(argv[++i], "%dx%d", &width, &height);
    else
      meshes.push_back(argv[i]);
  }
  bool refine_default = meshes.empty();
  if (meshes.empty()) meshes = {"tests/data/dragon_small.ply", "tests/data/dragon_small.ply"};
  static OffscreenGl gl;
  std::string why;
  if (!gl.open(width, height, why) || !glew_ready()) {
    std::fprintf(stderr, "no X display with GLX (run under xvfb-run)\n");
    return 77;
  }
  set_message_sink([](MessageRoute, const std::string&) {});  // keep the table readable

  for (size_t m = 0; m < meshes.size(); ++m) {
    std::unique_ptr<Object> object = load_ply(meshes[m]);
    if (!object) {
      std::fprintf(stderr, "cannot read %s\n", meshes[m].c_str());
      return 1;
    }
    if (refine_default && m == 1) object->refine();
    Scene scene;
    int64_t triangles = object->num_triangles();
    scene.set_original(std::move(object));
    double plain = frame_ms(scene, width, height, frames);
    std::printf("%s, %lld triangles, %dx%d, %d frames each\n", meshes[m].c_str(),
                (long long)triangles, width, height, frames);
    std::printf("  %-18s %8.1f ms/frame  1.00x\n", "fixed-function", plain);
    for (const ShaderSetup& setup : shader_setups()) {
      if (!setup.ssao_shader && setup.command != 35 && setup.command != 37) continue;
      if (!choose_shader_setup(scene, setup)) {
        std::printf("  %-18s program failed\n", setup.key);
        continue;
      }
      scene.shader_on = true;
      for (int samples : {25, 225}) {
        if (samples == 225 && setup.command != 310) continue;
        scene.ssao_type = samples;
        ShaderEffects& effects = shader_effects(scene);
        int made_before = effects.resources.texture_sets_made;
        double ms = frame_ms(scene, width, height, frames);
        std::string name = setup.key;
        if (setup.command >= 310) name += format(" %d", samples);
        std::printf("  %-18s %8.1f ms/frame  %.2fx  texture sets made: %d in %d frames\n",
                    name.c_str(), ms, ms / plain, effects.resources.texture_sets_made - made_before,
                    3 * frames + 3);
      }
    }
    scene.shader_on = false;
  }
  return 0;
}
