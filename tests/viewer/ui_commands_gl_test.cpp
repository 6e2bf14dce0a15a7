// The menu commands driven in-process on a real OpenGL context (an
// off-screen buffer on the X display; skipped without one), with the dialogs
// answered from a script: the scene, the labels, the messages in order, the
// files written and the colours drawn.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "io/ply_reader.h"
#include "render/colour_legend.h"
#include "render/colour_map_texture.h"
#include "render/gl_driver.h"
#include "render/render_arrays.h"
#include "render/scene.h"
#include "scripted_prompts.h"
#include "test_support.h"
#include "ui/commands.h"
#include "ui/graphics_budget.h"
#include "ui/menus.h"
#include "ui/viewer_host.h"
#include "viewer/drawing_test_host.h"

// Last: Xlib defines macros (Status) that clash with names above.
#include "viewer/test_gl_context.h"
#undef Status

namespace Tavrin {
namespace {

constexpr int kWidth = 800, kHeight = 600;

bool gl_context() { return test::gl_context(kWidth, kHeight); }

using TestHost = test::DrawingTestHost<kWidth, kHeight>;

// Records every message with its route, the viewer-only ones included.
class AllMessages {
 public:
  AllMessages() {
    previous_ = set_message_sink([this](MessageRoute route, const std::string& text) {
      routes_.push_back(route);
      messages_.push_back(text);
    });
  }
  ~AllMessages() { set_message_sink(previous_); }
  const std::vector<std::string>& messages() const { return messages_; }
  const std::vector<MessageRoute>& routes() const { return routes_; }

 private:
  std::vector<std::string> messages_;
  std::vector<MessageRoute> routes_;
  MessageSink previous_;
};

// Everything a test needs: context, host with an empty original, menu state
// bound to it, scripted dialogs and captured messages.
class UiCommandsGl : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl_context()) GTEST_SKIP() << "no OpenGL context on this display";
    host = std::make_unique<TestHost>();
    host->scene_.set_original(std::make_unique<Object>());
    set_menu_state(&state, host.get());
  }
  void TearDown() override {
    set_menu_state(nullptr, nullptr);
    set_test_triangle_budget(0);
    host.reset();
  }
  bool said(MessageRoute route, const std::string& text) const {
    for (size_t i = 0; i < capture.messages().size(); ++i)
      if (capture.messages()[i] == text && capture.routes()[i] == route) return true;
    return false;
  }
  std::string last_status() {
    for (size_t i = capture.messages().size(); i-- > 0;)
      if (capture.routes()[i] == MessageRoute::Status) return capture.messages()[i];
    return "";
  }
  int count(const std::string& text) const {
    return int(std::count(capture.messages().begin(), capture.messages().end(), text));
  }
  void open(const std::string& path) {
    prompts->files.push_back(path);
    root_command(MENU_OPEN);
  }
  // Pixels of the blue half of the ramp: neither white, the grey original
  // nor the golden simplified object has blue well above red.
  int bluish_pixels() {
    host->redraw();
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    int n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) {
      if (int(rgb[i + 2]) > int(rgb[i]) + 60) ++n;
    }
    return n;
  }

  std::unique_ptr<TestHost> host;
  MenuState state;
  test::ScriptedPromptGuard prompts;
  AllMessages capture;
};

TEST_F(UiCommandsGl, EveryCommandWorksWithoutAnOriginalObject) {
  host->scene_.set_original(nullptr);
  const int values[] = {100, 101, 102, 110, 111, 112, 120, 121, 122, 130, 140, 150,
                        160, 170, 180, 190, 21,  22,  23,  41,  42,  43,  51,  52,
                        53,  54,  61,  31,  32,  37,  310, 312, 313, 41};
  // 310: 30 samples, width cancelled (nothing stored); 312: 12 samples, then
  // cancelled (kept, shader on); 313 cancelled.
  prompts->inputs = {"30", std::nullopt, "12", std::nullopt};
  for (int v : values) command(v);
  EXPECT_EQ(host->scene_.ssao_type, 12);
  EXPECT_EQ(host->scene_.ssao_width, 15);
  EXPECT_TRUE(host->scene_.shader_on);
  EXPECT_EQ(state.shader[0].label, "+ Shader Off");
  prompts->inputs = {"8", "0", "0.1"};
  command(58);  // no object to simplify: nothing happens
  command(59);
  prompts->files = {test::temp_dir("ui_no_original") + "/out.ply", std::nullopt};
  root_command(MENU_SAVE);
  EXPECT_EQ(last_status().rfind("Problems saving '", 0), 0u) << last_status();
  root_command(MENU_OPEN);  // chooser cancelled
  EXPECT_EQ(host->scene_.original, nullptr);
  EXPECT_EQ(host->scene_.simplified, nullptr);
  EXPECT_TRUE(said(MessageRoute::Status, "Drawing both objects."));
  EXPECT_TRUE(said(MessageRoute::Status, "No scalar selected"));
  host->redraw();
}

TEST_F(UiCommandsGl, OpenSimplifySelectScalarAndColours) {
  open(test::data_path("bunny_attrs.ply"));
  Scene& scene = host->scene_;
  ASSERT_NE(scene.original, nullptr);
  EXPECT_EQ(scene.original->num_nodes(), 1839);
  EXPECT_EQ(host->file_field, "bunny_attrs.ply");
  const std::vector<std::string> names = scene.original->scalar_names();
  ASSERT_EQ(state.scalar.labels().size(), names.size() + 1);
  EXPECT_EQ(state.scalar.labels()[0], "+ No Scalar");
  EXPECT_EQ(state.scalar.labels()[1], "- " + names[0]);
  // The load showed the busy indicator and its phase messages in order.
  ASSERT_GE(capture.messages().size(), 3u);
  EXPECT_EQ(capture.routes()[0], MessageRoute::Busy);
  EXPECT_EQ(capture.messages()[0], "start");
  EXPECT_TRUE(said(MessageRoute::Progress, "Reading 'bunny_attrs.ply' ..."));

  command(130);
  EXPECT_EQ(last_status(), "Showing bounding box.");
  EXPECT_EQ(state.view[9].label, "Hide bbox");
  command(160);
  EXPECT_EQ(last_status(), "Using two lights.");
  EXPECT_EQ(state.view[12].label, "One light");
  command(160);  // back to the white light, so that grey stays grey
  EXPECT_EQ(last_status(), "Using one light.");
  EXPECT_EQ(state.view[12].label, "Two lights");

  // Hash simplification: a refused answer is asked again.
  prompts->inputs = {"0", "16", "abc", "0"};
  command(58);
  EXPECT_TRUE(said(MessageRoute::Box, "Expected natural number but got: 0"));
  EXPECT_TRUE(said(MessageRoute::Box, "Expected positive integer number but got: abc"));
  ASSERT_EQ(prompts->asked.size(), 4u);
  EXPECT_NE(prompts->asked[2].find("HASH_UC_SCALAR = 6 ( No Scalar), \n"), std::string::npos);
  EXPECT_NE(prompts->asked[2].find("HASH_UC_SCALAR3_VECTOR = 8 ( red, green, blue), \n"),
            std::string::npos)
      << prompts->asked[2];
  ASSERT_NE(scene.simplified, nullptr);
  EXPECT_GT(scene.simplified->num_triangles(), 0);
  // The report line states the result's error.
  EXPECT_EQ(last_status().rfind("HUC[ 16] v: ", 0), 0u) << last_status();
  EXPECT_NE(last_status().find(". Error: max "), std::string::npos) << last_status();
  EXPECT_FALSE(scene.show_original);
  EXPECT_TRUE(scene.show_simplified);
  EXPECT_EQ(state.object[1].label, "+ Simplified");

  // Both shown: selecting a scalar shares one map, logged once.
  command(43);
  EXPECT_EQ(last_status(), "Drawing both objects.");
  EXPECT_EQ(state.object[2].label, "+ Both");
  host->redraw();  // both objects now have drawing arrays
  const auto temp = std::find(names.begin(), names.end(), "temp C");
  ASSERT_NE(temp, names.end());
  const int value = MENU_NO_SCALAR + 1 + int(temp - names.begin());
  scalar_command(value);
  EXPECT_EQ(count("Using same colour map for both objects.\n"), 1);
  EXPECT_EQ(last_status(), "temp C selected");
  EXPECT_EQ(state.scalar.labels()[size_t(value - MENU_NO_SCALAR)], "+ temp C");
  EXPECT_EQ(state.scalar.labels()[0], "- No Scalar");
  EXPECT_TRUE(scene.original->draw_scalar && scene.simplified->draw_scalar);
  EXPECT_EQ(state.view[11].label, "Draw not scalar");

  // The simplified object's map is the original's range, and it is drawn
  // with coordinates.
  auto* shared = dynamic_cast<ColourMapTexture*>(scene.simplified->colour_map.get());
  ASSERT_NE(shared, nullptr);
  std::unique_ptr<ColourMapTexture> own = colour_map_for_sharing(*scene.original);
  EXPECT_EQ(shared->layout().bounds, own->layout().bounds);
  command(41);
  EXPECT_GT(bluish_pixels(), 1000);
  command(42);
  EXPECT_GT(bluish_pixels(), 1000);
  auto* arrays = dynamic_cast<RenderArrays*>(scene.simplified->graphic.get());
  ASSERT_NE(arrays, nullptr);
  EXPECT_EQ(arrays->tex_coord_size(), 1);

  // "No Scalar" turns the colours off again.
  scalar_command(MENU_NO_SCALAR);
  EXPECT_EQ(last_status(), "No scalar selected");
  EXPECT_FALSE(scene.simplified->draw_scalar);
  EXPECT_EQ(bluish_pixels(), 0);
  command(41);
  EXPECT_EQ(bluish_pixels(), 0);

  // The remaining View, Render and Model entries with their reports and labels.
  struct Step {
    int value;
    const char* report;
  } steps[] = {
      {101, "Style changed to 'draw edges'."},
      {100, "Style changed to 'draw body'."},
      {112, "Style changed to 'draw lines & triangles'."},
      {121, "Style changed to 'cull front faces'."},
      {120, "Style changed to 'no cull'."},
      {140, "Showing decimation grid."},
      {140, "Hidding decimation grid."},
      {150, "Drawing scalar."},
      {170, "Drawing thick lines."},
      {180, "Drawing front and back faces with different colours."},
      {22, "Render method changed to 'vertex array'."},
      {51, "Normals swapped."},
      {52, "Triangles swapped."},
      {54, "Object renumerated, change render method to recreate graphical object."},
  };
  for (const Step& step : steps) {
    command(step.value);
    EXPECT_EQ(last_status(), step.report) << step.value;
  }
  EXPECT_EQ(scene.original->cull_face, 0);
  EXPECT_EQ(state.view[11].label, "Draw not scalar");
  EXPECT_EQ(state.view[13].label, "Normal lines ( simplif.obj.)");
  EXPECT_EQ(state.view[14].label, "Same colour front an back faces");
  EXPECT_EQ(state.render[1].label, "+ Vertex arrays");
  EXPECT_GT(bluish_pixels(), 1000);  // "Draw scalar" with No Scalar: |Coordinates|
  const int32_t before_refine = scene.original->num_triangles();
  command(53);
  EXPECT_EQ(last_status(), "Object refined, change render method to recreate graphical object.");
  EXPECT_EQ(scene.original->num_triangles(), 4 * before_refine);
  command(190);
  EXPECT_FALSE(scene.thick_lines);
  EXPECT_EQ(scene.original->draw_style, 2);
  command(150);
  EXPECT_EQ(last_status(), "drawing scalar.");

  // Octree simplification from its prompt.
  Object* hashed = scene.simplified.get();
  prompts->inputs = {"-0.5", "0.05"};
  command(59);
  EXPECT_TRUE(said(MessageRoute::Box, "Expected positive real number but got: -0.5"));
  EXPECT_NE(prompts->asked.back().find("|\nEnter maximum error for model:"), std::string::npos);
  ASSERT_NE(scene.simplified, nullptr);
  EXPECT_NE(scene.simplified.get(), hashed);

  // A file that yields no object leaves the scene and the submenu as they were.
  scalar_command(value);
  EXPECT_EQ(state.scalar.labels()[size_t(value - MENU_NO_SCALAR)], "+ temp C") << "before";
  Object* before = scene.original.get();
  open(test::data_path("missing.ply"));
  EXPECT_EQ(scene.original.get(), before);
  EXPECT_EQ(state.scalar.labels()[size_t(value - MENU_NO_SCALAR)], "+ temp C");
}

TEST_F(UiCommandsGl, OversizeMeshIsDrawnSimplifiedAndSavedFull) {
  set_test_triangle_budget(1000);
  open(test::data_path("bunny.ply"));
  Scene& scene = host->scene_;
  ASSERT_NE(scene.original, nullptr);
  ASSERT_NE(scene.original->full, nullptr);
  const Object& full = *scene.original->full;
  EXPECT_GT(full.num_triangles(), 1000);
  EXPECT_LE(scene.original->num_triangles(), full.num_triangles());
  const std::string expected_start = std::string(oversize_reason()) + " graphics: Object too big ";
  bool boxed = false, logged = false;
  for (size_t i = 0; i < capture.messages().size(); ++i) {
    const std::string& m = capture.messages()[i];
    if (m.rfind(expected_start, 0) != 0) continue;
    EXPECT_NE(m.find("Object drawn is a simplified version: grid 256^3\n"), std::string::npos);
    boxed |= capture.routes()[i] == MessageRoute::Box;
    logged |= capture.routes()[i] == MessageRoute::Output;
  }
  EXPECT_TRUE(boxed && logged);

  // Save writes the full mesh.
  const std::string dir = test::temp_dir("ui_save");
  prompts->files = {dir + "/out.PLY"};
  root_command(MENU_SAVE);
  EXPECT_EQ(last_status(), "File '" + dir + "/out.PLY' saved");
  PlyMesh back;
  ASSERT_TRUE(read_ply_mesh(dir + "/out.PLY", back));
  EXPECT_EQ(int(back.nodes.size()), full.num_nodes());
  EXPECT_EQ(int(back.triangles.size()), full.num_triangles());
  ASSERT_EQ(back.scalars.size(), full.scalars.size());
  for (size_t i = 0; i < back.scalars.size(); ++i)
    EXPECT_EQ(back.scalars[i].name, full.scalars[i].name);

  // Onto an existing file, "No" writes nothing.
  std::ofstream(dir + "/keep.ply") << "keep";
  prompts->files = {dir + "/keep.ply"};
  prompts->choices = {0};
  root_command(MENU_SAVE);
  EXPECT_EQ(test::read_file(dir + "/keep.ply"), "keep");
  // Other extensions are refused; no extension writes a GiD pair; a dot in
  // a folder name is not an extension.
  prompts->files = {dir + "/out.obj", dir + "/plain", dir + "/v1.2/mesh"};
  std::filesystem::create_directory(dir + "/v1.2");
  root_command(MENU_SAVE);
  EXPECT_EQ(last_status(), "Problems saving '" + dir +
                               "/out.obj': Save writes only .msh (GiD, also without an extension) "
                               "and .ply files");
  EXPECT_FALSE(test::file_exists(dir + "/out.obj"));
  root_command(MENU_SAVE);
  EXPECT_TRUE(test::file_exists(dir + "/plain.msh"));
  EXPECT_TRUE(test::file_exists(dir + "/plain.res"));
  root_command(MENU_SAVE);
  EXPECT_TRUE(test::file_exists(dir + "/v1.2/mesh.msh"));

  // Simplification starts from the full mesh.
  prompts->inputs = {"8", "1"};
  command(58);
  ASSERT_NE(scene.simplified, nullptr);
  EXPECT_TRUE(
      said(MessageRoute::StatusLine, "Simplification using 'Hash UC only average' ( HUCAcc)"));
}

// A simplified object never outlives its file, a type outside 0-10 is
// refused, q asks only while a simplification is unsaved, and a saved
// simplification is named after its source.
TEST_F(UiCommandsGl, ResultsAreNeverStaleAndUnsavedOnesAreGuarded) {
  Scene& scene = host->scene_;
  EXPECT_TRUE(may_quit(scene));
  open(test::data_path("bunny.ply"));
  // 11 and -1 are refused (the latter as no positive number), then asked again.
  prompts->inputs = {"8", "11", "-1", "0"};
  command(58);
  EXPECT_TRUE(said(MessageRoute::Box, "Expected positive integer number from 0 to 10 but got: 11"));
  EXPECT_TRUE(said(MessageRoute::Box, "Expected positive integer number but got: -1"));
  ASSERT_NE(scene.simplified, nullptr);
  ASSERT_GT(scene.simplified->num_triangles(), 0);
  EXPECT_EQ(scene.simplified->name, "bunny_simp_HASH_UC_0008");
  // A cancel after a refused type runs nothing.
  const Object* before = scene.simplified.get();
  prompts->inputs = {"8", "11"};
  command(58);
  EXPECT_EQ(scene.simplified.get(), before);

  // Unsaved: q asks once, and No (the default) keeps the program running.
  prompts->asked.clear();
  EXPECT_FALSE(may_quit(scene));
  prompts->choices = {1};
  EXPECT_TRUE(may_quit(scene));
  EXPECT_EQ(prompts->asked,
            std::vector<std::string>(2, "Quit without saving the simplified mesh?"));
  // The Quit menu entry asks the same question and stays on No.
  const int quits = host->quits;
  root_command(MENU_QUIT);
  EXPECT_EQ(host->quits, quits);
  EXPECT_EQ(prompts->asked.size(), 3u);

  // Saving the simplified object clears that; its header names its source.
  const std::string dir = test::temp_dir("ui_stale");
  prompts->files = {dir + "/simple.ply"};
  root_command(MENU_SAVE);
  EXPECT_NE(
      test::read_file(dir + "/simple.ply").find("comment object name 'bunny_simp_HASH_UC_0008'"),
      std::string::npos);
  prompts->asked.clear();
  EXPECT_TRUE(may_quit(scene));
  EXPECT_TRUE(prompts->asked.empty());

  // Open drops the simplified object: Save then writes the new file's mesh.
  prompts->inputs = {"8", "0"};
  command(58);
  EXPECT_FALSE(may_quit(scene));
  open(test::data_path("teapot.ply"));
  ASSERT_NE(scene.simplified, nullptr);
  EXPECT_EQ(scene.simplified->num_nodes(), 0);
  EXPECT_TRUE(scene.show_original);
  EXPECT_TRUE(may_quit(scene));
  prompts->files = {dir + "/after_open.ply"};
  root_command(MENU_SAVE);
  PlyMesh back;
  ASSERT_TRUE(read_ply_mesh(dir + "/after_open.ply", back));
  EXPECT_EQ(int(back.nodes.size()), scene.original->num_nodes());
}

// The octree's new fields reach the Select scalar menu at once, the
// selection survives, and its report boxes use the fixed-width font.
TEST_F(UiCommandsGl, OctreeFieldsRebuildTheScalarMenu) {
  Scene& scene = host->scene_;
  open(test::data_path("bunny_attrs.ply"));
  const size_t before = state.scalar.labels().size();
  scalar_command(MENU_NO_SCALAR + 1);
  const std::string first = state.scalar.labels()[1];
  ASSERT_EQ(first[0], '+');
  prompts->inputs = {"0.001"};
  command(59);
  ASSERT_NE(scene.simplified, nullptr);
  const std::vector<std::string>& labels = state.scalar.labels();
  ASSERT_EQ(labels.size(), before + 2);
  EXPECT_EQ(labels[labels.size() - 2], "- error qef");
  EXPECT_EQ(labels.back(), "- error dist");
  EXPECT_EQ(labels[1], first);
  EXPECT_EQ(state.scalar_entries.size(), labels.size());
  EXPECT_EQ(prompts->fixed_width, (std::vector<bool>{true, false}));
  EXPECT_TRUE(std::find(capture.routes().begin(), capture.routes().end(), MessageRoute::Box) !=
              capture.routes().end());
}

// The colour legend is drawn while a scalar colours the mesh: blue at the
// bottom of its bar, red at the top, and gone with "No Scalar".
TEST_F(UiCommandsGl, ColourLegendFollowsTheScalarSelection) {
  open(test::data_path("bunny_attrs.ply"));
  scalar_command(MENU_NO_SCALAR + 1);
  host->redraw();
  const std::optional<ColourLegend> legend = scene_colour_legend(host->scene_);
  ASSERT_TRUE(legend);
  const std::optional<LegendPlace> p = place_colour_legend(*legend, kWidth, kHeight, 8, 13);
  ASSERT_TRUE(p);
  auto pixel = [](int x, int y) {
    std::array<unsigned char, 3> rgb{};
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  };
  const int x = p->bar_x + p->bar_w / 2;
  const auto bottom = pixel(x, p->bar_y + 2), top = pixel(x, p->bar_y + p->bar_h - 2);
  EXPECT_GT(bottom[2], bottom[0] + 60);
  EXPECT_GT(top[0], top[2] + 60);
  scalar_command(MENU_NO_SCALAR);
  EXPECT_FALSE(scene_colour_legend(host->scene_));
  host->redraw();
  EXPECT_EQ(pixel(x, p->bar_y + 2), (std::array<unsigned char, 3>{255, 255, 255}));
}

}  // namespace
}  // namespace Tavrin
