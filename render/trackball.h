// The virtual trackball: mouse drags in normalised window coordinates become
// rotations, composed into the view's unit quaternion. The ball is a sphere
// of radius 0.55 joined to a hyperbolic sheet, so a drag outside the sphere
// still turns the model smoothly instead of jumping at the silhouette.
#pragma once

#include <array>

namespace Tavrin {

using Quaternion = std::array<float, 4>;  // x, y, z, w

// Height of the trackball surface of radius r above (x, y): the sphere inside
// r/sqrt(2) of the centre, the sheet t^2/d (t = r/sqrt(2)) beyond it.
float project_to_sphere(float r, float x, float y);

// The rotation that turns the ball from (x1, y1) to (x2, y2), both in
// normalised window coordinates ([-1, 1], y up). Exactly equal points give
// the identity (0, 0, 0, 1).
Quaternion trackball_rotation(float x1, float y1, float x2, float y2);

// The rotation q1 followed by q2. Float rounding makes a long chain of
// compositions drift from unit length, so every 98th call (counted across the
// process) scales the result back to unit length.
Quaternion compose_rotations(const Quaternion& q1, const Quaternion& q2);

// Compositions since the last renormalisation (0 to 97); the reset lets a
// test start the count from a known point.
int composition_count();
void reset_composition_count();

// The 4x4 rotation matrix of q as 16 floats for glMultMatrixf.
std::array<float, 16> rotation_matrix(const Quaternion& q);

}  // namespace Tavrin
