// Scalar colouring arithmetic against hand-worked values: the ramp, the
// range and thresholds, the texel layout and the texture coordinates.
#include <gtest/gtest.h>

#include "render/colour_map_layout.h"

namespace Tavrin {
namespace {

// A strip of triangles over `values.size()` nodes on the x axis, with the
// values as its one scalar "s" (selected).
std::unique_ptr<Object> strip(const std::vector<float>& values, int32_t triangles) {
  auto o = std::make_unique<Object>();
  std::vector<Vec3> nodes;
  for (size_t i = 0; i < values.size(); ++i) nodes.push_back({static_cast<float>(i), 0, 0});
  std::vector<TriangleRecord> tris;
  for (int32_t t = 0; t < triangles; ++t) tris.push_back({t, t + 1, t + 2, 0});
  o->build_from_records(static_cast<int32_t>(nodes.size()), 0, triangles, nodes.data(), nullptr,
                        tris.data());
  o->scalars.push_back(Scalar{"s", values, -1.0});
  o->scalar_index = 0;
  return o;
}

ColourMapLayout layout_for(const Object& o) {
  ColourMapLayout layout;
  EXPECT_TRUE(layout_colour_map(boundary_list(colour_thresholds(scalar_range(o))),
                                colour_indices().data(), 0.5f, 16384, layout));
  return layout;
}

TEST(RenderColourMap, RampAtHandWorkedEntries) {
  const auto& ramp = colour_ramp();
  auto near = [](Rgba c, float r, float g, float b) {
    return std::abs(c.r - r) < 1e-5f && std::abs(c.g - g) < 1e-5f && std::abs(c.b - b) < 1e-5f &&
           c.a == 1.0f;
  };
  EXPECT_TRUE(near(ramp[1], 0, 0, 0.5f));                // b = 0
  EXPECT_TRUE(near(ramp[5], 0, 0, 4 / 9.8f + 0.5f));     // b = 4
  EXPECT_TRUE(near(ramp[6], 0, 0.1f / 12.25f, 1));       // b = 5
  EXPECT_TRUE(near(ramp[20], 0, 1, 1 - 1.85f / 7.35f));  // b = 19
  EXPECT_TRUE(near(ramp[26], 0.5f / 7.35f, 1, 0));       // b = 25
  EXPECT_TRUE(near(ramp[40], 1, 1 - (39 - 31.849998f) / 12.25f, 0));
  EXPECT_TRUE(near(ramp[50], 0.5f, 0, 0));  // b = 49
  EXPECT_TRUE(near(ramp[0], 0, 0, 0.5f));
  EXPECT_TRUE(near(ramp[51], 0.5f, 0, 0));
  EXPECT_EQ(colour_indices()[0], 1);
  EXPECT_EQ(colour_indices()[49], 50);
  EXPECT_EQ(colour_indices()[51], 50);
}

TEST(RenderColourMap, RangeSkipsLowestFloatAndNodesOutsideElements) {
  // Node 3 belongs to no triangle; node 0 holds the lowest float.
  auto o = strip({-kLargestFloat, 1.0f, 2.0f, 100.0f}, 1);
  ScalarRange r = scalar_range(*o);
  EXPECT_EQ(r.minimum, 1.0f);
  EXPECT_EQ(r.maximum, 2.0f);
  EXPECT_EQ(r.name, "s");
  ColourMapLayout layout = layout_for(*o);
  // The ignored value still gets a coordinate, below the first boundary.
  EXPECT_LT(colour_coordinate(layout, -kLargestFloat), 0.0);

  // Without a selected scalar: distances from the origin, named |Coordinates|.
  o->scalar_index = -1;
  r = scalar_range(*o);
  EXPECT_EQ(r.name, "|Coordinates|");
  EXPECT_EQ(r.minimum, 0.0f);
  EXPECT_EQ(r.maximum, 2.0f);

  // A drawing copy takes its range from the full mesh.
  auto copy = strip({5.0f, 6.0f, 7.0f}, 1);
  copy->full = strip({0.0f, 10.0f, 20.0f}, 1);
  r = scalar_range(*copy);
  EXPECT_EQ(r.minimum, 0.0f);
  EXPECT_EQ(r.maximum, 20.0f);

  // No elements: the empty range.
  Object empty;
  r = scalar_range(empty);
  EXPECT_EQ(r.minimum, kLargestFloat);
  EXPECT_EQ(r.maximum, -kLargestFloat);
}

TEST(RenderColourMap, ThresholdsAndCoordinatesByHand) {
  auto o = strip({0.0f, 49.0f, 10.0f}, 1);
  std::vector<float> t = colour_thresholds(scalar_range(*o));
  ASSERT_EQ(t.size(), 50u);
  const float d = 49.0f * 1e-6f;
  EXPECT_FLOAT_EQ(t[0], -d * 0.5f);
  EXPECT_FLOAT_EQ(t[1], 1.0f + d);
  EXPECT_FLOAT_EQ(t[49], 49.0f * (1.0f + d));

  ColourMapLayout layout = layout_for(*o);
  ASSERT_EQ(layout.interval_count, 51);
  // The open ends become as wide as their neighbours.
  EXPECT_FLOAT_EQ(layout.bounds[0], t[0] - (t[1] - t[0]));
  EXPECT_FLOAT_EQ(layout.bounds[51], t[49] + (t[49] - t[48]));
  // The minimum lies in interval 1, just above t0.
  const double at_min = colour_coordinate(layout, 0.0);
  EXPECT_GE(at_min, 1.0 / 51);
  EXPECT_LT(at_min, 2.0 / 51);
  EXPECT_NEAR(at_min, ((0.0 - t[0]) / (t[1] - t[0]) + 1) / 51, 1e-12);
  // 10 lies in interval 10 (t9 = 9.0004 < 10 <= t10 = 10.0005).
  EXPECT_NEAR(colour_coordinate(layout, 10.0), ((10.0 - t[9]) / (t[10] - t[9]) + 10) / 51, 1e-12);
  std::vector<float> coords = colour_coordinates(*o, layout);
  ASSERT_EQ(coords.size(), 3u);
  EXPECT_FLOAT_EQ(coords[2], static_cast<float>(colour_coordinate(layout, 10.0)));
  EXPECT_GT(coords[1], 49.0f / 51);  // the maximum in the last full interval
  EXPECT_LE(coords[1], 50.0f / 51);
}

TEST(RenderColourMap, AllEqualScalarFallsIntoTheFirstIntervals) {
  auto o = strip({3.0f, 3.0f, 3.0f}, 1);
  ScalarRange r = scalar_range(*o);
  EXPECT_EQ(r.minimum, 3.0f);
  EXPECT_EQ(r.maximum, 3.0f);
  ColourMapLayout layout = layout_for(*o);
  for (float c : colour_coordinates(*o, layout)) {
    EXPECT_TRUE(std::isfinite(c));
    EXPECT_GE(c, 0.0f);
    EXPECT_LE(c, 2.0f / 51);
  }
}

TEST(RenderColourMap, TexelLayoutForFiftyOneIntervals) {
  // Distinct colours for the intervals that matter, to see where each lands.
  std::array<int32_t, 52> indices = colour_indices();
  indices[49] = 10;
  indices[50] = 40;
  ColourMapLayout m;
  ASSERT_TRUE(layout_colour_map(boundary_list(colour_thresholds({0.0f, 1.0f, "s"})), indices.data(),
                                0.5f, 16384, m));
  EXPECT_EQ(m.width, 256);
  EXPECT_EQ(m.per, 5);
  EXPECT_DOUBLE_EQ(m.scale, 1.0);
  EXPECT_FALSE(m.alpha_test);
  ASSERT_EQ(m.texels.size(), 256u * 4);
  auto texel = [&](int k, const Rgba& c) {
    const uint8_t* p = &m.texels[static_cast<size_t>(k) * 4];
    return p[0] == static_cast<uint8_t>(c.r * 255) && p[1] == static_cast<uint8_t>(c.g * 255) &&
           p[2] == static_cast<uint8_t>(c.b * 255) && p[3] == 127;
  };
  const auto& ramp = colour_ramp();
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(texel(k, ramp[1])) << k;        // interval 0
  EXPECT_TRUE(texel(5, ramp[2]));                                         // interval 1
  for (int k = 245; k <= 250; ++k) EXPECT_TRUE(texel(k, ramp[10])) << k;  // interval 49 + 1
  for (int k = 251; k < 256; ++k) EXPECT_TRUE(texel(k, ramp[40])) << k;   // interval 50

  // A small driver limit caps the width; the rest still fits.
  ASSERT_TRUE(layout_colour_map(boundary_list(colour_thresholds({0.0f, 1.0f, "s"})),
                                colour_indices().data(), 0.5f, 128, m));
  EXPECT_EQ(m.width, 128);
  EXPECT_EQ(m.per, 2);
  EXPECT_DOUBLE_EQ(m.scale, 103.0 / 128);
  // Boundary lists without the open ends make nothing.
  EXPECT_FALSE(layout_colour_map({0.0f, 1.0f, 2.0f}, colour_indices().data(), 0.5f, 1024, m));
}

}  // namespace
}  // namespace Tavrin
