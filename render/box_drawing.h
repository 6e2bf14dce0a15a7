// A bounding box drawn as its twelve edges.
#pragma once

#include <array>

#include "base/vec3.h"

namespace Tavrin {

// The 24 line end points of the box's edges in drawing order: the four edges
// of the face z = min (x0y0-x1y0, x1y0-x1y1, x1y1-x0y1, x0y1-x0y0), the same
// four at z = max, then the vertical edges at (x0, y1), (x1, y1), (x0, y0),
// (x1, y0), each from z = min to z = max.
std::array<Vec3, 24> box_edge_points(const Box& box);

// Draws the edges as GL_LINES in the current colour and state.
void draw_box(const Box& box);

}  // namespace Tavrin
