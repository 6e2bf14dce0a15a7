// Menu entries checked one by one on a real OpenGL context (an off-screen
// buffer on the X display; skipped without one): the drawing styles reach
// only the shown objects, the render methods reach every object, and each
// Shader entry fills the scene's program slots, asks its prompts, stores the
// answers and switches the shaders on (or not, when cancelled) with the
// matching label.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "io/ply_reader.h"
#include "render/gl_driver.h"
#include "render/scene.h"
#include "scripted_prompts.h"
#include "shaders/shader_effects.h"
#include "test_support.h"
#include "ui/commands.h"
#include "ui/menus.h"
#include "ui/viewer_host.h"
#include "viewer/drawing_test_host.h"

// Last: Xlib defines macros (Status) that clash with names above.
#include "viewer/test_gl_context.h"
#undef Status

namespace Tavrin {
namespace {

constexpr int kWidth = 320, kHeight = 240;

bool gl_context() { return test::gl_context(kWidth, kHeight); }

using TestHost = test::DrawingTestHost<kWidth, kHeight>;

// Both objects present (the same small mesh), only the original shown.
class UiMenuEntriesGl : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl_context()) GTEST_SKIP() << "no OpenGL context on this display";
    host = std::make_unique<TestHost>();
    host->scene_.set_original(load_ply(test::data_path("bunny_attrs.ply")));
    host->scene_.set_simplified(load_ply(test::data_path("bunny_attrs.ply")));
    ASSERT_NE(host->scene_.original, nullptr);
    ASSERT_NE(host->scene_.simplified, nullptr);
    set_menu_state(&state, host.get());
  }
  void TearDown() override {
    set_menu_state(nullptr, nullptr);
    host.reset();
  }
  std::string last_status() {
    for (size_t i = capture.messages().size(); i-- > 0;)
      if (capture.routes()[i] == MessageRoute::Status) return capture.messages()[i];
    return "";
  }
  // Among the messages from number `from` on.
  bool logged(const std::string& text, size_t from) {
    for (size_t i = from; i < capture.messages().size(); ++i)
      if (capture.messages()[i] == text && capture.routes()[i] == MessageRoute::Log) return true;
    return false;
  }

  std::unique_ptr<TestHost> host;
  MenuState state;
  test::ScriptedPromptGuard prompts;
  test::MessageCapture capture;
};

TEST_F(UiMenuEntriesGl, StyleAndRenderEntriesReachTheirObjectsAndReport) {
  Scene& scene = host->scene_;
  Object& original = *scene.original;
  Object& simplified = *scene.simplified;
  struct Style {
    int value;
    int32_t Object::*field;
    int32_t setting;
    const char* report;
  } styles[] = {
      {100, &Object::draw_style, 2, "Style changed to 'draw body'."},
      {101, &Object::draw_style, 1, "Style changed to 'draw edges'."},
      {102, &Object::draw_style, 3, "Style changed to 'draw body & edges'."},
      {110, &Object::draw_elements, 2, "Style changed to 'draw lines'."},
      {111, &Object::draw_elements, 12, "Style changed to 'draw triangles'."},
      {112, &Object::draw_elements, 14, "Style changed to 'draw lines & triangles'."},
      {120, &Object::cull_face, 0, "Style changed to 'no cull'."},
      {121, &Object::cull_face, 1028, "Style changed to 'cull front faces'."},
      {122, &Object::cull_face, 1029, "Style changed to 'cull back faces'."},
  };
  for (const Style& s : styles) {
    // Only the simplified object shown: the hidden original keeps its value.
    original.*s.field = simplified.*s.field = -1;
    command(42);
    command(s.value);
    EXPECT_EQ(last_status(), s.report) << s.value;
    EXPECT_EQ(simplified.*s.field, s.setting) << s.value;
    EXPECT_EQ(original.*s.field, -1) << s.value;
    command(43);
    command(s.value);
    EXPECT_EQ(original.*s.field, s.setting) << s.value << " with both shown";
  }

  // Render methods reach both objects, shown or not; the label marks the one
  // in use.
  command(42);
  struct Render {
    int value;
    const char* report;
    std::vector<std::string> labels;
  } renders[] = {
      {21,
       "Render method changed to 'display list'.",
       {"+ Display lists", "  Vertex arrays", "  Buffer objects"}},
      {22,
       "Render method changed to 'vertex array'.",
       {"  Display lists", "+ Vertex arrays", "  Buffer objects"}},
      {23,
       "Render method changed to 'buffer object'.",
       {"  Display lists", "  Vertex arrays", "+ Buffer objects"}},
  };
  for (const Render& r : renders) {
    command(r.value);
    EXPECT_EQ(last_status(), r.report) << r.value;
    EXPECT_EQ(original.render_method, r.value - 21) << r.value;
    EXPECT_EQ(simplified.render_method, r.value - 21) << r.value;
    ASSERT_EQ(state.render.size(), r.labels.size());
    for (size_t i = 0; i < r.labels.size(); ++i) {
      EXPECT_EQ(state.render[i].label, r.labels[i]) << r.value;
      EXPECT_EQ(state.render[i].value, int(21 + i));
    }
  }
}

TEST_F(UiMenuEntriesGl, ShaderEntriesFillSlotsAskAndSwitchOn) {
  Scene& scene = host->scene_;
  using Answers = std::vector<std::optional<std::string>>;
  const std::string samples_310 =
      "Enter num samples\n9, 25, 49, 225 does full samples\nother values does random samples";
  const std::string samples_311 =
      "Enter num samples\n9, 25, 49 does full samples\nother values does random samples";
  const std::string width_random = "Random samples. Enter max square width to search for samples";
  // The parameters start at 25, 15, 1 and 20 on every row.
  const std::string samples = "Enter num samples ( 25 < 40)";
  const std::string width = "Enter max square width to search for samples ( 15)";
  const std::string radius = "Enter radius ( max distance) ( 20)";
  const std::string factor = "Enter AO factor ( 1)";
  struct Row {
    int value;
    const char* shader;
    const char* ssao_shader;     // null: slot empty
    const char* compose_shader;  // null: slot empty
    bool on_before;
    Answers answers;  // none: Cancel
    std::vector<std::string> asked;
    bool on_after;
    int32_t type, width;
    float factor, max_dist;
  };
  const char* nd = "draw_normal+depth";
  const char* nd2 = "draw_normal+depth 2";
  // A row with fewer programs follows one with more: the choice empties the
  // slots it does not fill.
  // clang-format off
  const Row rows[] = {
      {313, nd2, "ssao_2nd_random", "ssao_2nd_combined", false, {"0.5"}, {factor}, true, 25, 15, 0.5f, 20},
      {32, "red", nullptr, nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {33, "depth", nullptr, nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {34, "tone", nullptr, nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {35, "phong", nullptr, nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {36, "normal_scaled", nullptr, nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {38, nd, "simple_texture", nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {37, nd, nullptr, nullptr, false, {}, {}, true, 25, 15, 1, 20},
      {39, nd, "edges", nullptr, false, {}, {}, true, 25, 15, 1, 20},
      // Full sample sets need no width; other counts ask for it.
      {310, nd, "ssao_1st_random", nullptr, false, {"225"}, {samples_310}, true, 225, 15, 1, 20},
      {310, nd, "ssao_1st_random", nullptr, false, {"30", "7"}, {samples_310, width_random}, true, 30, 7, 1, 20},
      {311, nd, "ssao_1st_21", nullptr, false, {"225", "5"}, {samples_311, width_random}, true, 225, 5, 1, 20},
      {311, nd, "ssao_1st_21", nullptr, false, {"49"}, {samples_311}, true, 49, 15, 1, 20},
      // 310 and 311 cancelled: nothing stored, the switch left as it was.
      {310, nd, "ssao_1st_random", nullptr, false, {"30", std::nullopt}, {samples_310, width_random}, false, 25, 15, 1, 20},
      {311, nd, "ssao_1st_21", nullptr, true, {std::nullopt}, {samples_311}, true, 25, 15, 1, 20},
      // Refused answers are asked again; 0 is a valid radius.
      {312, nd2, "ssao_2nd_random", nullptr, false, {"0", "12", "9", "-1", "0"}, {samples, samples, width, radius, radius}, true, 12, 9, 1, 0},
      // 312, 313 and 314 cancelled: what was stored stays, the shaders go on.
      {312, nd2, "ssao_2nd_random", nullptr, false, {"12", "9", std::nullopt}, {samples, width, radius}, true, 12, 9, 1, 20},
      {313, nd2, "ssao_2nd_random", "ssao_2nd_combined", false, {std::nullopt}, {factor}, true, 25, 15, 1, 20},
      {314, nd2, "ssao_velk_dravel", nullptr, false, {"16", "4", "2.5"}, {samples, width, radius}, true, 16, 4, 1, 2.5f},
      {314, nd2, "ssao_velk_dravel", nullptr, false, {"10", std::nullopt}, {samples, width}, true, 10, 15, 1, 20},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "entry " << row.value << ", row " << (&row - rows));
    scene.shader_on = row.on_before;
    scene.ssao_type = 25;
    scene.ssao_width = 15;
    scene.ssao_factor = 1;
    scene.ssao_max_dist = 20;
    prompts->inputs.assign(row.answers.begin(), row.answers.end());
    prompts->asked.clear();
    const size_t first_message = capture.messages().size();
    command(row.value);
    EXPECT_EQ(prompts->asked, row.asked);
    EXPECT_TRUE(prompts->inputs.empty());
    EXPECT_EQ(scene.shader_on, row.on_after);
    EXPECT_EQ(state.shader[0].label, row.on_after ? "+ Shader Off" : "- Shader On");
    EXPECT_EQ(scene.ssao_on, row.shader == std::string(nd) || row.shader == std::string(nd2));
    EXPECT_EQ(scene.ssao_type, row.type);
    EXPECT_EQ(scene.ssao_width, row.width);
    EXPECT_FLOAT_EQ(scene.ssao_factor, row.factor);
    EXPECT_FLOAT_EQ(scene.ssao_max_dist, row.max_dist);
    // Each slot holds the program named, as its load line tells.
    ShaderEffects& effects = shader_effects(scene);
    const struct {
      const std::unique_ptr<ShaderProgram>& slot;
      const char* name;
    } slots[] = {{effects.shader, row.shader},
                 {effects.ssao_shader, row.ssao_shader},
                 {effects.compose_shader, row.compose_shader}};
    for (const auto& s : slots) {
      if (!s.name) {
        EXPECT_EQ(s.slot, nullptr);
        continue;
      }
      ASSERT_NE(s.slot, nullptr) << s.name;
      EXPECT_NE(s.slot->program, 0u);
      EXPECT_TRUE(logged(format("Shader '%s' loaded ( %d).\n", s.name, int(s.slot->program)),
                         first_message))
          << s.name;
    }
  }

  // 31 only flips the switch and its label; the programs stay.
  const ShaderProgram* chosen = shader_effects(scene).ssao_shader.get();
  const int redraws = host->redraws;
  command(31);
  EXPECT_FALSE(scene.shader_on);
  EXPECT_EQ(state.shader[0].label, "- Shader On");
  command(31);
  EXPECT_TRUE(scene.shader_on);
  EXPECT_EQ(state.shader[0].label, "+ Shader Off");
  EXPECT_EQ(shader_effects(scene).ssao_shader.get(), chosen);
  EXPECT_TRUE(scene.ssao_on);
  EXPECT_GT(host->redraws, redraws);
  for (size_t i = 1; i < state.shader.size(); ++i)
    EXPECT_EQ(state.shader[i].label.substr(0, 2), "  ") << state.shader[i].value;

  // Quit switches the shaders off before leaving.
  root_command(MENU_QUIT);
  EXPECT_EQ(host->quits, 1);
  EXPECT_FALSE(scene.shader_on);
}

}  // namespace
}  // namespace Tavrin
