// The colour legend without a display: what it shows for the map that
// colours the scene, and where it goes in the window.
#include <gtest/gtest.h>

#include "render/colour_legend.h"
#include "render/colour_map_texture.h"
#include "render/scene.h"

namespace Tavrin {
namespace {

// A strip of triangles over nodes on the x axis with `values` as its one
// scalar "depth m".
std::unique_ptr<Object> strip(const std::vector<float>& values) {
  auto o = std::make_unique<Object>();
  std::vector<Vec3> nodes;
  for (size_t i = 0; i < values.size(); ++i) nodes.push_back({static_cast<float>(i), 0, 0});
  std::vector<TriangleRecord> tris;
  for (int32_t t = 0; t + 2 < static_cast<int32_t>(values.size()); ++t)
    tris.push_back({t, t + 1, t + 2, 0});
  o->build_from_records(static_cast<int32_t>(nodes.size()), 0, static_cast<int32_t>(tris.size()),
                        nodes.data(), nullptr, tris.data());
  o->scalars.push_back(Scalar{"depth m", values, -1.0});
  o->scalar_index = 0;
  return o;
}

TEST(RenderColourLegend, ShowsTheMapThatColoursTheShownObjects) {
  Scene scene;
  scene.set_original(strip({-3.5f, 0.0f, 2.0f, 12.25f}));
  scene.set_simplified(strip({0.0f, 1.0f, 2.0f}));
  Object& original = *scene.original;
  Object& simplified = *scene.simplified;
  EXPECT_FALSE(scene_colour_legend(scene));  // nothing coloured yet

  use_colour_map(original, colour_map_for_sharing(original));
  original.draw_scalar = true;
  std::optional<ColourLegend> legend = scene_colour_legend(scene);
  ASSERT_TRUE(legend);
  EXPECT_EQ(legend->name, "depth m");
  EXPECT_EQ(legend->minimum, -3.5f);
  EXPECT_EQ(legend->maximum, 12.25f);
  // One band between each pair of thresholds, dark blue at the bottom
  // through to dark red at the top, as the ramp runs.
  ASSERT_EQ(legend->bands.size(), size_t(kThresholdCount - 1));
  const Rgba low = legend->bands.front(), high = legend->bands.back();
  EXPECT_GT(low.b, 0.4f);
  EXPECT_LT(low.r, 0.1f);
  EXPECT_GT(high.r, 0.4f);
  EXPECT_LT(high.b, 0.1f);

  // Only the simplified object shown, coloured with the shared map: the
  // same legend; uncoloured, none.
  scene.show_original = false;
  scene.show_simplified = true;
  EXPECT_FALSE(scene_colour_legend(scene));
  use_colour_map(simplified, colour_map_for_sharing(original));
  simplified.draw_scalar = true;
  legend = scene_colour_legend(scene);
  ASSERT_TRUE(legend);
  EXPECT_EQ(legend->maximum, 12.25f);
  simplified.draw_scalar = false;
  EXPECT_FALSE(scene_colour_legend(scene));
}

TEST(RenderColourLegend, PlacedInsideTheWindowOrLeftOut) {
  ColourLegend legend;
  legend.name = "a rather long field name";
  legend.maximum = 123456.0f;  // "1.235e+05"
  const struct {
    int width, height;
    bool placed;
  } cases[] = {{1024, 600, true}, {256, 256, true}, {255, 600, false}, {1024, 200, false}};
  for (const auto& c : cases) {
    const std::optional<LegendPlace> p = place_colour_legend(legend, c.width, c.height, 8, 13);
    ASSERT_EQ(p.has_value(), c.placed) << c.width << "x" << c.height;
    if (!p) continue;
    // Bar and name 8 pixels from the right and top edges; the maximum ends
    // 4 pixels left of the bar; nothing below the window's bottom.
    EXPECT_EQ(p->bar_x + p->bar_w, c.width - 8);
    EXPECT_EQ(p->name_x + 8 * int(legend.name.size()), c.width - 8);
    EXPECT_EQ(p->name_y + 13, c.height - 8);
    EXPECT_EQ(p->max_x + 8 * 9 + 4, p->bar_x);
    EXPECT_GE(p->bar_y, 0);
  }
}

}  // namespace
}  // namespace Tavrin
