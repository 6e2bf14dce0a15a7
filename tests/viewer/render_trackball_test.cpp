// The trackball against geometric facts: a drag turns the ball by the angle
// between the two points on it, the model follows the pointer, compositions
// apply the newer drag last, and the periodic renormalisation restores unit
// length.
#include <gtest/gtest.h>

#include <cmath>

#include "render/trackball.h"

namespace Tavrin {
namespace {

using V3 = std::array<double, 3>;

// The column-major matrix applied to a vector, as glMultMatrixf does.
V3 mat_times(const std::array<float, 16>& m, const V3& v) {
  V3 r{};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) r[row] += m[col * 4 + row] * v[col];
  return r;
}

double length(const Quaternion& q) {
  return std::sqrt(double{q[0]} * q[0] + double{q[1]} * q[1] + double{q[2]} * q[2] +
                   double{q[3]} * q[3]);
}

TEST(RenderTrackball, EqualPointsGiveTheIdentity) {
  for (float x : {0.0f, 0.3f, -0.9f, 1.0f}) {
    Quaternion q = trackball_rotation(x, -x, x, -x);
    EXPECT_EQ(q, (Quaternion{0, 0, 0, 1}));
  }
}

TEST(RenderTrackball, DragTurnsByTheArcBetweenThePointsAndTheModelFollows) {
  struct Drag {
    float x1, y1, x2, y2;
  };
  // Inside the sphere (r = 0.55), where the ball is a true sphere.
  for (Drag d : {Drag{0, 0, 0.1f, 0}, Drag{0, 0, 0, 0.2f}, Drag{-0.1f, 0.1f, 0.15f, -0.05f}}) {
    const V3 p1{d.x1, d.y1, project_to_sphere(0.55f, d.x1, d.y1)};
    const V3 p2{d.x2, d.y2, project_to_sphere(0.55f, d.x2, d.y2)};
    double dotp = p1[0] * p2[0] + p1[1] * p2[1] + p1[2] * p2[2];
    double arc = std::acos(dotp / (0.55 * 0.55));
    Quaternion q = trackball_rotation(d.x1, d.y1, d.x2, d.y2);
    EXPECT_NEAR(length(q), 1.0, 1e-6);
    EXPECT_NEAR(2.0 * std::acos(q[3]), arc, 1e-4);
    // The point of the ball under the pointer moves to where the pointer
    // went: the model follows the drag.
    V3 moved = mat_times(rotation_matrix(q), p1);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(moved[i], p2[i], 2e-4) << i;
  }
  // Far out on the hyperbolic sheet the turn stays finite.
  Quaternion far = trackball_rotation(0.9f, 0.9f, 1.0f, 0.95f);
  for (float v : far) EXPECT_TRUE(std::isfinite(v));
}

TEST(RenderTrackball, CompositionAppliesTheFirstRotationLast) {
  // The window composes compose_rotations(drag, view): the new drag must act
  // in eye space after the old view, i.e. M(result) = M(drag) * M(view).
  reset_composition_count();
  Quaternion drag = trackball_rotation(0, 0, 0.2f, 0.1f);
  Quaternion view = trackball_rotation(0.1f, -0.2f, -0.1f, 0.05f);
  Quaternion both = compose_rotations(drag, view);
  const V3 v{0.3, -0.7, 0.2};
  V3 expected = mat_times(rotation_matrix(drag), mat_times(rotation_matrix(view), v));
  V3 got = mat_times(rotation_matrix(both), v);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], expected[i], 1e-6) << i;
}

TEST(RenderTrackball, NinetyEighthCompositionRestoresUnitLength) {
  reset_composition_count();
  // A step that lengthens by 0.1 % each time stands for accumulated drift.
  const Quaternion grow{0, 0, 0, 1.001f};
  Quaternion q{0, 0.6f, 0, 0.8f};
  for (int i = 1; i <= 97; ++i) q = compose_rotations(grow, q);
  EXPECT_EQ(composition_count(), 97);
  EXPECT_NEAR(length(q), std::pow(1.001, 97), 1e-4);  // not yet renormalised
  q = compose_rotations(grow, q);
  EXPECT_EQ(composition_count(), 0);
  EXPECT_NEAR(length(q), 1.0, 1e-6);
  // The direction is kept.
  EXPECT_NEAR(q[1] / q[3], 0.75, 1e-5);
  // And the count starts again: the next 97 do not renormalise.
  q = compose_rotations(grow, q);
  EXPECT_EQ(composition_count(), 1);
  EXPECT_NEAR(length(q), 1.001, 1e-5);
}

}  // namespace
}  // namespace Tavrin
