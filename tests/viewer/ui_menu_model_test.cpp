// The menu tree as data: labels for each state, relabelling that keeps the
// values in place, the Select scalar rebuild and the triangle budget.
#include <gtest/gtest.h>

#include "render/gl_driver.h"
#include "ui/graphics_budget.h"
#include "ui/menu_model.h"

namespace Tavrin {
namespace {

std::vector<int> values_of(const std::vector<MenuEntry>& entries) {
  std::vector<int> v;
  for (const MenuEntry& e : entries) v.push_back(e.value);
  return v;
}

std::string label_of(const std::vector<MenuEntry>& entries, int value) {
  for (const MenuEntry& e : entries)
    if (e.value == value) return e.label;
  return "<missing>";
}

TEST(UiMenuModel, ViewLabelsFollowEveryStateAndKeepPositions) {
  std::vector<MenuEntry> view = initial_view_entries();
  const std::vector<int> values = values_of(view);
  ASSERT_EQ(values.size(), 16u);
  EXPECT_EQ(values[9], 130);
  EXPECT_EQ(values[15], 190);

  ViewLabelState on;
  on.show_bbox = on.show_grid = on.draw_scalar = on.thick_lines = on.two_colour_faces = true;
  on.light_count = 2;
  relabel_view(view, on);
  EXPECT_EQ(values_of(view), values);
  EXPECT_EQ(view[9].label, "Hide bbox");
  EXPECT_EQ(view[10].label, "Hide dec.grid");
  EXPECT_EQ(view[11].label, "Draw not scalar");
  EXPECT_EQ(view[12].label, "One light");
  EXPECT_EQ(view[13].label, "Normal lines ( simplif.obj.)");
  EXPECT_EQ(view[14].label, "Same colour front an back faces");
  EXPECT_EQ(view[0].label, "Body");

  relabel_view(view, ViewLabelState{});
  const std::vector<MenuEntry> fresh = initial_view_entries();
  for (size_t i = 0; i < fresh.size(); ++i) EXPECT_EQ(view[i].label, fresh[i].label) << i;
}

TEST(UiMenuModel, GroupsMarkTheCurrentChoice) {
  std::vector<MenuEntry> render = initial_render_entries();
  EXPECT_EQ(render[2].label, "+ Buffer objects");
  relabel_render(render, 0);
  EXPECT_EQ(render[0].label, "+ Display lists");
  EXPECT_EQ(render[1].label, "  Vertex arrays");
  EXPECT_EQ(render[2].label, "  Buffer objects");
  EXPECT_EQ(values_of(render), (std::vector<int>{21, 22, 23}));

  std::vector<MenuEntry> object = initial_object_entries();
  relabel_object(object, object_mode(true, true));
  EXPECT_EQ(object[2].label, "+ Both");
  EXPECT_EQ(object[0].label, "  Original");
  relabel_object(object, object_mode(false, true));
  EXPECT_EQ(object[1].label, "+ Simplified");
  EXPECT_EQ(object_mode(false, false), 0);

  std::vector<MenuEntry> shader = initial_shader_entries();
  EXPECT_EQ(shader.size(), 14u);
  EXPECT_EQ(label_of(shader, 314), "  ssao velk dravel");
  relabel_shader(shader, true);
  EXPECT_EQ(shader[0].label, "+ Shader Off");
  relabel_shader(shader, false);
  EXPECT_EQ(shader[0].label, "- Shader On");

  EXPECT_EQ(label_of(initial_model_entries(), 58), "Simplify ( hash UC lib)");
}

TEST(UiMenuModel, ScalarMenuRebuildSelectAndNames) {
  ScalarMenu menu;
  EXPECT_EQ(menu.labels(), std::vector<std::string>{"+ No Scalar"});
  EXPECT_EQ(menu.last(), 61);

  menu.rebuild({"temp C", "Boundary"});
  EXPECT_EQ(menu.labels(), (std::vector<std::string>{"+ No Scalar", "- temp C", "- Boundary"}));
  EXPECT_EQ(menu.selected(), 61);
  EXPECT_EQ(menu.last(), 63);
  EXPECT_FALSE(menu.contains(64));
  EXPECT_FALSE(menu.contains(60));

  menu.select(63);
  EXPECT_EQ(menu.labels(), (std::vector<std::string>{"- No Scalar", "- temp C", "+ Boundary"}));
  EXPECT_EQ(menu.name_of(62), "temp C");
  EXPECT_EQ(menu.name_of(61), std::nullopt);
  EXPECT_EQ(menu.name_of(64), std::nullopt);

  // A rebuild forgets the selection.
  menu.rebuild({"a"});
  EXPECT_EQ(menu.labels(), (std::vector<std::string>{"+ No Scalar", "- a"}));
}

TEST(UiGraphicsBudget, BudgetAndReasonPerVendor) {
  struct Case {
    DriverFacts facts;
    int64_t budget;
    const char* reason;
  } cases[] = {
      {{true, false, false, 64}, 10000000, "Intel"},
      {{false, true, false, 64}, 10000000, "Microsoft"},
      {{false, false, true, 64}, 10000000, "Mesa"},
      {{true, false, true, 64}, 10000000, "Intel"},
      {{false, true, true, 64}, 10000000, "Mesa"},
      {{false, false, false, 3072}, 30000000, "Less than 512 MB"},
      {{false, false, false, 255.9f}, 10000000, "Less than 512 MB"},
      {{false, false, false, 256}, 30000000, "Less than 512 MB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(drawing_budget(c.facts), c.budget);
    EXPECT_STREQ(oversize_reason_for(c.facts), c.reason);
  }
  set_test_triangle_budget(100);
  EXPECT_EQ(drawing_budget(cases[5].facts), 100);
  set_test_triangle_budget(0);
  EXPECT_EQ(drawing_budget(cases[5].facts), 30000000);

  EXPECT_EQ(oversize_message("Intel", 12000000, 10000000, kOversizeGrid),
            "Intel graphics: Object too big 12.000.000 > 10.000.000\n"
            "Object drawn is a simplified version: grid 256^3\n");
}

}  // namespace
}  // namespace Tavrin
