// The scene's arithmetic without a display: zoom limits, framing of
// degenerate meshes without NaN, the switch to the simplified object, the
// style inheritance, and the order of the bounding box's edges.
#include <gtest/gtest.h>

#include <cmath>

#include "io/ply_reader.h"
#include "render/box_drawing.h"
#include "render/camera.h"
#include "render/scene.h"
#include "simplify/driver.h"
#include "test_support.h"

namespace Tavrin {
namespace {

std::unique_ptr<Object> mesh_of(std::vector<Vec3> nodes, std::vector<TriangleRecord> triangles) {
  auto o = std::make_unique<Object>();
  o->build_from_records(static_cast<int32_t>(nodes.size()), 0,
                        static_cast<int32_t>(triangles.size()), nodes.data(), nullptr,
                        triangles.data());
  o->update_bbox();
  return o;
}

TEST(RenderScene, ZoomStaysInsideItsLimits) {
  Scene scene;
  scene.zoom = 9.5f;
  scene.change_zoom(0.1f);
  EXPECT_EQ(scene.zoom, 9.5f);  // 9.5 < 10 - 0.95 is false
  scene.zoom = 0.5f;
  scene.change_zoom(0.1f);
  EXPECT_FLOAT_EQ(scene.zoom, 0.55f);
  scene.change_zoom(-0.1f);
  EXPECT_FLOAT_EQ(scene.zoom, 0.495f);
  for (int i = 0; i < 1000; ++i) scene.change_zoom(0.1f);
  EXPECT_LT(scene.zoom, 10.0f);
  EXPECT_GT(scene.zoom, 9.0f);
  for (int i = 0; i < 1000; ++i) scene.change_zoom(-0.1f);
  EXPECT_GT(scene.zoom, 0.0001f);
  EXPECT_LT(scene.zoom, 0.00012f);
}

TEST(RenderScene, DegenerateMeshesAreFramedWithoutNaN) {
  const TriangleRecord t{0, 1, 2, 0};
  struct Case {
    const char* what;
    std::unique_ptr<Object> object;
    float size;  // expected model size; 0: only check it is usable
  };
  std::vector<Case> cases;
  cases.push_back({"plane z = 0", mesh_of({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, {t}), 5.0f});
  cases.push_back({"segment on x", mesh_of({{1, 2, 3}, {4, 2, 3}, {2, 2, 3}}, {t}), 3.0f});
  cases.push_back({"single point", mesh_of({{5, 5, 5}, {5, 5, 5}, {5, 5, 5}}, {t}), 2.0f});
  cases.push_back({"no nodes", std::make_unique<Object>(), 2.0f});
  cases.push_back({"huge", mesh_of({{-3e37f, 0, 0}, {3e37f, 0, 0}, {0, 3e37f, 0}}, {t}), 2.0f});
  cases.push_back({"tiny", mesh_of({{0, 0, 0}, {1e-35f, 0, 0}, {0, 1e-35f, 0}}, {t}), 2.0f});
  auto unset = mesh_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {t});
  unset->bbox_min = {kLargestFloat, kLargestFloat, kLargestFloat};
  unset->bbox_max = {-kLargestFloat, -kLargestFloat, -kLargestFloat};
  cases.push_back({"box never computed", std::move(unset), 2.0f});

  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    scene.set_original(std::move(c.object));
    EXPECT_FLOAT_EQ(scene.model_size, c.size);
    EXPECT_EQ(scene.zoom, 0.5f);
    EXPECT_FLOAT_EQ(scene.eye_distance, 10.0f * c.size);
    for (float aspect : {1024.0f / 600.0f, 0.0f, INFINITY, NAN}) {
      Frustum f = camera_frustum(scene.model_size, scene.zoom, scene.eye_distance, aspect);
      for (double v : {f.left, f.right, f.bottom, f.top, f.near_plane, f.far_plane, f.eye})
        EXPECT_TRUE(std::isfinite(v));
      EXPECT_GT(f.near_plane, 0.0);
      EXPECT_LT(f.near_plane, f.far_plane);
      EXPECT_LT(f.left, f.right);
      EXPECT_LT(f.bottom, f.top);
    }
  }
  // The normal case keeps the plain numbers: near 8.5 and far 11.5 sizes.
  Frustum f = camera_frustum(5.0f, 0.5f, 50.0f, 2.0f);
  EXPECT_DOUBLE_EQ(f.near_plane, 42.5);
  EXPECT_DOUBLE_EQ(f.far_plane, 57.5);
  EXPECT_DOUBLE_EQ(f.top, 2.5);
  EXPECT_DOUBLE_EQ(f.right, 5.0);
  // Fields set by hand so that the eye sits inside the model still give a
  // positive near plane.
  f = camera_frustum(2.0f, 1.0f, 1.0f, 1.0f);
  EXPECT_GT(f.near_plane, 0.0);
  EXPECT_LT(f.near_plane, f.far_plane);
}

TEST(RenderScene, SimplifiedObjectTakesOverTheViewAndTheStyle) {
  Scene scene;
  auto original = load_ply(test::data_path("bunny.ply"));
  ASSERT_TRUE(original);
  original->draw_style = 1;
  scene.set_original(std::move(original));
  ASSERT_TRUE(scene.show_original);
  ASSERT_FALSE(scene.show_simplified);

  ASSERT_TRUE(scene.take_simplified(simplify_object(scene.original.get(), {16, HASH_UC, 0.0f})));
  ASSERT_TRUE(scene.simplified);
  EXPECT_FALSE(scene.show_original);  // only the new result is shown
  EXPECT_TRUE(scene.show_simplified);
  EXPECT_EQ(scene.simplified->draw_style, 1);  // from the original
  EXPECT_EQ(scene.simplified->bbox_min, scene.original->bbox_min);
  EXPECT_EQ(scene.simplified->bbox_max, scene.original->bbox_max);

  scene.simplified->draw_style = 3;
  scene.simplified->show_bbox = true;
  scene.show_original = true;  // both shown: a new result keeps both
  ASSERT_TRUE(scene.take_simplified(simplify_object(scene.original.get(), {8, HASH_UC, 0.0f})));
  EXPECT_TRUE(scene.show_original);
  EXPECT_TRUE(scene.show_simplified);
  EXPECT_EQ(scene.simplified->draw_style, 3);  // from the previous result
  EXPECT_TRUE(scene.simplified->show_bbox);

  // No result (an original without triangles): nothing changes.
  Scene empty;
  empty.set_original(std::make_unique<Object>());
  EXPECT_FALSE(empty.take_simplified(simplify_object(empty.original.get(), {16, HASH_UC, 0.0f})));
  EXPECT_FALSE(empty.simplified);
  EXPECT_TRUE(empty.show_original);
  EXPECT_FALSE(empty.show_simplified);

  scene.zoom = 3.0f;
  scene.thick_lines = true;
  scene.reset_view();
  EXPECT_EQ(scene.zoom, 0.5f);
  EXPECT_FALSE(scene.thick_lines);
  EXPECT_EQ(scene.original->draw_style, 2);
  EXPECT_EQ(scene.simplified->draw_style, 2);
}

TEST(RenderScene, BoxEdgesInDrawingOrder) {
  const Box box{{0, 0, 0}, {1, 2, 3}};
  const Vec3 expected[24] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 2, 0}, {1, 2, 0}, {0, 2, 0},
                             {0, 2, 0}, {0, 0, 0}, {0, 0, 3}, {1, 0, 3}, {1, 0, 3}, {1, 2, 3},
                             {1, 2, 3}, {0, 2, 3}, {0, 2, 3}, {0, 0, 3}, {0, 2, 0}, {0, 2, 3},
                             {1, 2, 0}, {1, 2, 3}, {0, 0, 0}, {0, 0, 3}, {1, 0, 0}, {1, 0, 3}};
  std::array<Vec3, 24> got = box_edge_points(box);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(got[i], expected[i]) << "point " << i;
}

}  // namespace
}  // namespace Tavrin
