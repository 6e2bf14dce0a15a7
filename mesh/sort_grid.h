// The fine grid of the spatial renumbering: 2048 cells per axis over the cube
// around the nodes' bounding box, widened by a relative margin so that every
// node lies strictly inside. A cell number orders cells by z, then y, then x.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/vec3.h"

namespace Tavrin {

struct SortGrid {
  static constexpr int kCellsPerAxis = 2048;

  Vec3 min, max;
  Vec3 cell_size;
  Vec3 inverse_cell_size;

  static SortGrid around(const Box& box) {
    const Box cube = cube_around(box);
    const float lo_sum = std::fabs(cube.min.x) + std::fabs(cube.min.y) + std::fabs(cube.min.z);
    const float hi_sum = std::fabs(cube.max.x) + std::fabs(cube.max.y) + std::fabs(cube.max.z);
    const float least_margin = 1e-6f * std::max(lo_sum, hi_sum);
    SortGrid grid;
    for (int i = 0; i < 3; ++i) {
      const float margin = std::max(1e-6f * (cube.max[i] - cube.min[i]), least_margin);
      grid.min[i] = cube.min[i] - margin;
      grid.max[i] = cube.max[i] + margin;
      const float width = grid.max[i] - grid.min[i];
      grid.cell_size[i] = width / kCellsPerAxis;
      // Every node at the origin leaves no width at all: one cell then.
      grid.inverse_cell_size[i] = width > 0.0f ? kCellsPerAxis / width : 0.0f;
    }
    return grid;
  }

  // Cell number nx * (ny * iz + iy) + ix. Indices are clamped to the grid so
  // that rounding or a coordinate that is not a number cannot leave it.
  uint64_t cell(const Vec3& p) const {
    int64_t index[3];
    for (int i = 0; i < 3; ++i) {
      float f = (p[i] - min[i]) * inverse_cell_size[i];
      if (!(f >= 0.0f)) f = 0.0f;
      if (f > kCellsPerAxis - 1) f = kCellsPerAxis - 1;
      index[i] = static_cast<int64_t>(f);
    }
    const int64_t n = kCellsPerAxis;
    return static_cast<uint64_t>(n * (n * index[2] + index[1]) + index[0]);
  }
};

}  // namespace Tavrin
