// Shader programs and the occlusion passes on a real OpenGL context (an
// off-screen buffer on the X display; skipped without one). The pictures are
// judged by properties that a wrong shader or pass would break: darker in a
// concave corner than on the open floor, brighter where the surface faces
// the light, depth left and normals right, the same picture from both paths.
#include <GL/glew.h>

#include <GL/glu.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "io/ply_reader.h"
#include "render/gl_driver.h"
#include "render/scene.h"
#include "shaders/shader_effects.h"
#include "shaders/shader_table.h"
#include "test_support.h"

namespace Tavrin {
namespace {

constexpr int kWidth = 800, kHeight = 600;

// One off-screen GL context for the whole test program; false without an X
// display with GLX. Defined at the end of the file: the X headers define
// macros (Status, Box) that clash with our names.
bool gl_context();

// Adds an n x n grid of quads over origin + s u + t v, s and t in [0, 1].
void add_face(std::vector<Vec3>& nodes, std::vector<TriangleRecord>& triangles, Vec3 origin, Vec3 u,
              Vec3 v, int n) {
  int first = int(nodes.size());
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      float s = float(i) / n, t = float(j) / n;
      nodes.push_back({origin.x + s * u.x + t * v.x, origin.y + s * u.y + t * v.y,
                       origin.z + s * u.z + t * v.z});
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      int a = first + j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
      triangles.push_back({a, b, c, 0});
      triangles.push_back({a, c, d, 0});
    }
}

// A box of 2 x 2 x 0.6 without its top, open towards +z; faces do not share
// nodes, so each keeps its own flat normal.
std::unique_ptr<Object> open_box() {
  std::vector<Vec3> nodes;
  std::vector<TriangleRecord> triangles;
  const float h = 0.6f;
  add_face(nodes, triangles, {-1, -1, 0}, {2, 0, 0}, {0, 2, 0}, 16);  // floor
  add_face(nodes, triangles, {-1, -1, 0}, {2, 0, 0}, {0, 0, h}, 16);  // y = -1
  add_face(nodes, triangles, {-1, 1, 0}, {0, 0, h}, {2, 0, 0}, 16);   // y = +1
  add_face(nodes, triangles, {-1, -1, 0}, {0, 0, h}, {0, 2, 0}, 16);  // x = -1
  add_face(nodes, triangles, {1, -1, 0}, {0, 2, 0}, {0, 0, h}, 16);   // x = +1
  auto box = std::make_unique<Object>();
  box->build_from_records(int(nodes.size()), 0, int(triangles.size()), nodes.data(), nullptr,
                          triangles.data());
  return box;
}

std::unique_ptr<Object> sphere() {
  std::vector<Vec3> nodes;
  std::vector<TriangleRecord> triangles;
  const int rings = 48, segments = 96;
  for (int r = 0; r <= rings; ++r)
    for (int s = 0; s <= segments; ++s) {
      double theta = M_PI * r / rings, phi = 2 * M_PI * s / segments;
      nodes.push_back({float(std::sin(theta) * std::cos(phi)),
                       float(std::sin(theta) * std::sin(phi)), float(std::cos(theta))});
    }
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      int a = r * (segments + 1) + s, b = a + 1, c = a + segments + 2, d = a + segments + 1;
      triangles.push_back({a, d, c, 0});
      triangles.push_back({a, c, b, 0});
    }
  auto object = std::make_unique<Object>();
  object->build_from_records(int(nodes.size()), 0, int(triangles.size()), nodes.data(), nullptr,
                             triangles.data());
  return object;
}

// Looks into the box from above and in front, so the far wall's inside
// and the floor both show.
View box_view() {
  View view;
  const double angle = 0.6;  // about the x axis
  view.rotation = {float(std::sin(angle / 2)), 0, 0, float(std::cos(angle / 2))};
  return view;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  // Mean brightness (0 to 255) of the 5 x 5 pixels around (x, y).
  double brightness(int x, int y) const {
    double sum = 0;
    for (int j = -2; j <= 2; ++j)
      for (int i = -2; i <= 2; ++i) {
        const unsigned char* p = &rgb[3 * size_t((y + j) * width + x + i)];
        sum += (p[0] + p[1] + p[2]) / 3.0;
      }
    return sum / 25;
  }
  const unsigned char* at(int x, int y) const { return &rgb[3 * size_t(y * width + x)]; }
};

const float kBackground[4] = {0.9f, 0.9f, 0.9f, 1.0f};

Picture draw_frame(Scene& scene, const View& view, int width = kWidth, int height = kHeight) {
  glViewport(0, 0, width, height);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  scene.draw(view, float(width) / float(height), kBackground);
  glFinish();
  Picture picture{width, height, std::vector<unsigned char>(size_t(width) * height * 3)};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
  return picture;
}

// Window position of a point of the scene's original object.
std::pair<int, int> project(Scene& scene, const View& view, Vec3 p, int width = kWidth,
                            int height = kHeight) {
  scene.set_camera(view, float(width) / float(height));
  const Object& o = *scene.original;
  Vec3 centre{(o.bbox_min.x + o.bbox_max.x) / 2, (o.bbox_min.y + o.bbox_max.y) / 2,
              (o.bbox_min.z + o.bbox_max.z) / 2};
  GLdouble model[16], projection[16];
  GLint viewport[4] = {0, 0, width, height};
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  GLdouble x, y, z;
  gluProject(p.x - centre.x, p.y - centre.y, p.z - centre.z, model, projection, viewport, &x, &y,
             &z);
  glDisable(GL_LIGHTING);
  return {int(std::lround(x)), int(std::lround(y))};
}

void save_ppm(const Picture& picture, const std::string& name) {
  const char* dir = std::getenv("TAVRIN_SHADER_PICTURES");
  if (!dir) return;
  std::ofstream out(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
  out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
  for (int y = picture.height - 1; y >= 0; --y)
    out.write(reinterpret_cast<const char*>(picture.at(0, y)), 3 * picture.width);
}

class ShadersGl : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl_context()) GTEST_SKIP() << "no X display with GLX";
    scene = std::make_unique<Scene>();
    scene->set_original(open_box());
  }
  void TearDown() override { scene.reset(); }

  // Chooses a set-up as the Shader menu does and turns the shaders on.
  void choose(int command) {
    const ShaderSetup* setup = shader_setup_for_command(command);
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(choose_shader_setup(*scene, *setup));
    scene->shader_on = true;
  }

  std::unique_ptr<Scene> scene;
};

TEST_F(ShadersGl, EveryProgramOfTheTableCompilesAndLinks) {
  for (const ShaderEntry& entry : shader_table()) {
    test::MessageCapture capture;
    std::unique_ptr<ShaderProgram> program = load_shader_program(entry.name);
    ASSERT_NE(program, nullptr) << entry.name << ": " << capture.text();
    EXPECT_NE(program->program, 0u);
    EXPECT_EQ(program->vertex != nullptr, entry.vertex_file != nullptr);
    EXPECT_EQ(capture.text(), loaded_message(entry.name, program->program));
  }
  test::MessageCapture capture;
  EXPECT_EQ(load_shader_program("bogus"), nullptr);
  EXPECT_EQ(capture.text(), "Shader 'bogus' not defined.\n");
}

TEST_F(ShadersGl, BrokenSourcesLeaveTheSlotEmptyAndTheSceneDrawsFixedFunction) {
  View view = box_view();
  draw_frame(*scene, view);
  Picture plain = draw_frame(*scene, view);
  save_ppm(plain, "broken_before");

  // Sources in the working directory come before the program's own.
  std::string dir = test::temp_dir("shader_broken");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  std::ofstream("simple.vert");  // empty
  std::ofstream("tone.frag") << "#version 120\nvoid main() { gl_FragColor = vec4(1.0) }\n";

  test::MessageCapture capture;
  EXPECT_FALSE(choose_shader(*scene, "red"));
  scene->shader_on = true;
  ShaderEffects& effects = shader_effects(*scene);
  EXPECT_EQ(effects.shader, nullptr);
  EXPECT_FALSE(scene->ssao_on);
  ASSERT_GE(capture.messages().size(), 2u);
  EXPECT_EQ(capture.routes()[0], MessageRoute::Box);
  EXPECT_EQ(capture.messages()[0], "vertex shader: simple.vert - No shader code readed.\n");
  EXPECT_EQ(capture.messages()[1], capture.messages()[0]);

  // Compiler output goes to the fixed-width box the shell installs.
  std::string boxed;
  ShaderErrorBox previous_box =
      set_shader_error_box([&boxed](const std::string& text) { boxed += text; });
  test::MessageCapture compile_capture;
  EXPECT_FALSE(choose_shader(*scene, "tone"));
  set_shader_error_box(previous_box);
  ASSERT_EQ(compile_capture.messages().size(), 1u);
  EXPECT_EQ(compile_capture.routes()[0], MessageRoute::Log);
  const std::string& error = compile_capture.messages()[0];
  EXPECT_EQ(boxed, error);
  EXPECT_EQ(error.rfind("fragment shader: Error compiling 'tone.frag': \n", 0), 0u) << error;
  EXPECT_GT(error.size(), std::string("fragment shader: Error compiling 'tone.frag': \n\n").size());
  EXPECT_EQ(effects.shader, nullptr);
  ASSERT_EQ(chdir(previous), 0);

  // Nothing to draw through: the frame is the fixed-function one.
  Picture after = draw_frame(*scene, view);
  save_ppm(after, "broken_after");
  EXPECT_EQ(after.rgb, plain.rgb);
}

TEST_F(ShadersGl, PassUniformsReadBackAndResizingRemakesTheResources) {
  choose(313);
  ASSERT_TRUE(scene->ssao_on);
  scene->ssao_type = 30;
  scene->ssao_factor = 0.8f;
  View view = box_view();
  draw_frame(*scene, view);
  draw_frame(*scene, view);
  ShaderEffects& effects = shader_effects(*scene);
  EXPECT_EQ(effects.resources.texture_sets_made, 1);

  GLuint second = effects.ssao_shader->program, third = effects.compose_shader->program;
  GLfloat f = 0;
  GLint i = 0;
  glGetUniformfv(second, glGetUniformLocation(second, "inv_screen_width"), &f);
  EXPECT_FLOAT_EQ(f, 0.00125f);
  glGetUniformiv(second, glGetUniformLocation(second, "ssao_width"), &i);
  EXPECT_EQ(i, 15);
  glGetUniformiv(second, glGetUniformLocation(second, "ssao_type"), &i);
  EXPECT_EQ(i, 30);
  glGetUniformiv(second, glGetUniformLocation(second, "depth_texture"), &i);
  EXPECT_EQ(i, 1);
  glGetUniformfv(second, glGetUniformLocation(second, "ssao_max_dist"), &f);
  EXPECT_FLOAT_EQ(f, 20.0f);
  glGetUniformfv(third, glGetUniformLocation(third, "ssao_factor"), &f);
  EXPECT_FLOAT_EQ(f, 0.8f);
  glGetUniformfv(third, glGetUniformLocation(third, "inv_screen_height"), &f);
  EXPECT_FLOAT_EQ(f, 1.0f / kHeight);

  auto texture_width = [](GLuint texture) {
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    return w;
  };
  GLuint old_depth = effects.resources.depth_texture;
  EXPECT_EQ(texture_width(old_depth), kWidth);
  draw_frame(*scene, view, 640, 480);
  EXPECT_EQ(effects.resources.texture_sets_made, 2);
  EXPECT_EQ(scene->viewport[2], 640);
  for (GLuint texture : {effects.resources.depth_texture, effects.resources.normal_texture,
                         effects.resources.ssao_texture})
    EXPECT_EQ(texture_width(texture), 640);
  EXPECT_EQ(texture_width(effects.resources.random_texture), 512);
  glGetUniformfv(second, glGetUniformLocation(second, "inv_screen_width"), &f);
  EXPECT_FLOAT_EQ(f, 1.0f / 640);
  EXPECT_EQ(glIsTexture(old_depth) && old_depth != effects.resources.depth_texture &&
                old_depth != effects.resources.normal_texture,
            GL_FALSE);

  // A plain shader chosen while the passes run ends them and empties the
  // other two slots; the resources stay for the next occlusion set-up.
  choose(32);
  EXPECT_FALSE(scene->ssao_on);
  EXPECT_EQ(effects.ssao_shader, nullptr);
  EXPECT_EQ(effects.compose_shader, nullptr);
  EXPECT_NE(effects.resources.depth_texture, 0u);
}

TEST_F(ShadersGl, EverySetupDrawsThePictureOfItsOwn) {
  std::unique_ptr<Object> teapot = load_ply(test::data_path("teapot.ply"));
  ASSERT_NE(teapot, nullptr);
  scene->set_original(std::move(teapot));
  View view;
  view.rotation = {0.25f, 0.2f, 0.0f, 0.947f};
  draw_frame(*scene, view);
  Picture plain = draw_frame(*scene, view);
  for (const ShaderSetup& setup : shader_setups()) {
    choose(setup.command);
    Picture picture = draw_frame(*scene, view);
    save_ppm(picture, std::string("teapot_") + setup.key);
    size_t changed = 0;
    for (size_t k = 0; k < picture.rgb.size(); ++k)
      changed += std::abs(int(picture.rgb[k]) - int(plain.rgb[k])) > 8;
    // Each program changes a good part of the picture (the teapot covers
    // about a tenth of it) and leaves no trace of the red clear of the
    // second pass.
    EXPECT_GT(changed, plain.rgb.size() / 50) << setup.key;
    const unsigned char* corner = picture.at(kWidth - 10, kHeight - 10);
    EXPECT_FALSE(corner[0] > 200 && corner[1] < 50 && corner[2] < 50) << setup.key;
  }
}

TEST_F(ShadersGl, RefusedFrameBufferIsReportedOnceAndTheCopyPathTakesOver) {
  if (is_intel() || !frame_buffers_available()) GTEST_SKIP() << "copy path only here";
  // Empty attachments are the one refusal every driver agrees on.
  SsaoResources resources;
  test::MessageCapture capture;
  resources.create(0, 0);
  EXPECT_FALSE(resources.uses_fbo());
  EXPECT_NE(resources.normal_texture, 0u);
  EXPECT_NE(resources.depth_texture, 0u);
  const std::string expected = "Could not attach textures to frame buffer obj.: FRAMEBUFFER_";
  EXPECT_NE(capture.text().find(expected), std::string::npos) << capture.text();
  resources.release();
  EXPECT_EQ(resources.normal_texture, 0u);
  test::MessageCapture again;
  resources.create(0, 0);
  EXPECT_EQ(again.text().find(expected), std::string::npos) << again.text();
  resources.release();
  while (glGetError() != GL_NO_ERROR) {
  }
}

TEST_F(ShadersGl, OcclusionDarkensTheConcaveCornerAndLeavesTheOpenFloor) {
  View view = box_view();
  auto corner = project(*scene, view, {0.0f, 0.97f, 0.03f});
  auto inner_corner = project(*scene, view, {-0.97f, 0.97f, 0.03f});
  auto floor = project(*scene, view, {0.0f, -0.2f, 0.0f});
  Picture plain = draw_frame(*scene, view);
  save_ppm(plain, "plain");

  choose(313);
  Picture combined = draw_frame(*scene, view);
  save_ppm(combined, "ssao_2nd_render");
  for (auto [x, y] : {corner, inner_corner}) {
    EXPECT_LT(combined.brightness(x, y), plain.brightness(x, y) - 20) << x << "," << y;
  }
  EXPECT_NEAR(combined.brightness(floor.first, floor.second),
              plain.brightness(floor.first, floor.second), 6);

  // The occlusion pictures alone: white on the open floor, grey in corners.
  for (int command : {310, 311, 312, 314}) {
    choose(command);
    Picture occlusion = draw_frame(*scene, view);
    save_ppm(occlusion, "ssao_" + std::to_string(command));
    EXPECT_GT(occlusion.brightness(floor.first, floor.second), 235) << command;
    EXPECT_LT(occlusion.brightness(corner.first, corner.second), 215) << command;
  }
  // A full 15 x 15 pattern as well as random samples.
  choose(310);
  scene->ssao_type = 225;
  Picture full = draw_frame(*scene, view);
  EXPECT_GT(full.brightness(floor.first, floor.second), 235);
  EXPECT_LT(full.brightness(corner.first, corner.second), 215);
}

TEST_F(ShadersGl, CopyPathGivesTheFrameBufferPicture) {
  View view = box_view();
  ShaderEffects& effects = shader_effects(*scene);
  // The side-by-side display and a full-pattern occlusion picture: neither
  // depends on the random texture, which is drawn afresh when remade.
  for (int command : {37, 310}) {
    choose(command);
    effects.resources.release();
    effects.resources.copy_path_only = false;
    Picture first = draw_frame(*scene, view);
    // Under a driver taken for Intel's both frames take the copy path.
    EXPECT_EQ(effects.resources.uses_fbo(), !is_intel());
    effects.resources.release();
    effects.resources.copy_path_only = true;
    Picture copied = draw_frame(*scene, view);
    EXPECT_FALSE(effects.resources.uses_fbo());
    size_t differing = 0;
    for (size_t k = 0; k < first.rgb.size(); ++k)
      differing += std::abs(int(first.rgb[k]) - int(copied.rgb[k])) > 2;
    EXPECT_LT(differing, first.rgb.size() / 2000) << command;
  }
}

TEST_F(ShadersGl, NormalDepthDisplayShowsDepthLeftAndNormalsRight) {
  View view;  // straight down onto the floor
  choose(37);
  Picture picture = draw_frame(*scene, view);
  save_ppm(picture, "normal_depth");
  const unsigned char* left = picture.at(kWidth / 2 - 40, kHeight / 2);
  const unsigned char* right = picture.at(kWidth / 2 + 40, kHeight / 2);
  // Depth: grey, neither the white of nothing nor black.
  EXPECT_EQ(left[0], left[1]);
  EXPECT_EQ(left[1], left[2]);
  EXPECT_GT(left[0], 30);
  EXPECT_LT(left[0], 230);
  // The floor faces the viewer: its normal (0, 0, 1) shows as (0.5, 0.5, 1).
  EXPECT_NEAR(right[0], 128, 6);
  EXPECT_NEAR(right[1], 128, 6);
  EXPECT_GT(right[2], 245);
}

TEST_F(ShadersGl, PhongIsBrighterWhereTheSurfaceFacesTheLight) {
  scene->set_original(sphere());
  View view;
  // The light comes from (1, 1, 2) in eye space; the view is the identity.
  double n = std::sqrt(6.0);
  auto lit = project(*scene, view, {float(1 / n), float(1 / n), float(2 / n)});
  auto away = project(*scene, view, {float(-0.7), float(-0.7), 0.14f});
  choose(35);
  Picture picture = draw_frame(*scene, view);
  save_ppm(picture, "phong");
  EXPECT_GT(picture.brightness(lit.first, lit.second),
            picture.brightness(away.first, away.second) + 60);
  EXPECT_GT(picture.brightness(lit.first, lit.second), 180);

  choose(34);  // tone: warm towards the light, cool away from it
  Picture tone = draw_frame(*scene, view);
  save_ppm(tone, "tone");
  const unsigned char* warm = tone.at(lit.first, lit.second);
  const unsigned char* cool = tone.at(away.first, away.second);
  EXPECT_GT(warm[0], warm[2]);
  EXPECT_GT(cool[2], cool[0]);
}

}  // namespace
}  // namespace Tavrin

// Last: the X headers define macros (Status, Box) that clash with our names.
#include "viewer/test_gl_context.h"

namespace Tavrin {
namespace {

bool gl_context() { return test::gl_context(kWidth, kHeight); }

}  // namespace
}  // namespace Tavrin
