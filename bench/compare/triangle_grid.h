// Nearest-triangle queries on a uniform grid: every triangle is listed in
// each cell its bounding box overlaps (compressed rows), and a query visits
// growing shells of cells around the point's cell until no unvisited cell
// can hold anything nearer than the best triangle found.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/compare/point_triangle.h"
#include "bench/compare/surface_mesh.h"

namespace Tavrin {

class TriangleGrid {
 public:
  // Lists the triangles of `mesh` over `region` (which must hold the mesh
  // and every point queried later), with about one cell per triangle.
  TriangleGrid(const SurfaceMesh& mesh, const Box& region) : mesh_(mesh) {
    const int64_t count = mesh.triangle_count();
    double ext[3], volume = 1.0;
    for (int k = 0; k < 3; ++k) {
      ext[k] = std::max(static_cast<double>(region.max[k]) - region.min[k], 0.0);
      origin_[k] = region.min[k];
    }
    double longest = std::max({ext[0], ext[1], ext[2]});
    if (!(longest > 0.0)) longest = 1.0;
    for (int k = 0; k < 3; ++k) {
      ext[k] = std::max(ext[k], longest * 1e-3);
      volume *= ext[k];
    }
    const double target = std::clamp(static_cast<double>(count), 1.0, 16777216.0);
    const double h = std::cbrt(volume / target);
    for (int k = 0; k < 3; ++k) {
      dims_[k] = static_cast<int32_t>(std::clamp(std::ceil(ext[k] / h), 1.0, 4096.0));
      cell_[k] = ext[k] / dims_[k];
    }
    const int64_t cells = static_cast<int64_t>(dims_[0]) * dims_[1] * dims_[2];
    start_.assign(static_cast<size_t>(cells) + 1, 0);
    // Two passes over the triangles: count per cell, then fill.
    for (int pass = 0; pass < 2; ++pass) {
      for (int64_t t = 0; t < count; ++t) {
        int32_t lo[3], hi[3];
        cell_range(t, lo, hi);
        for (int32_t z = lo[2]; z <= hi[2]; ++z)
          for (int32_t y = lo[1]; y <= hi[1]; ++y)
            for (int32_t x = lo[0]; x <= hi[0]; ++x) {
              const int64_t c = index(x, y, z);
              if (pass == 0)
                ++start_[c + 1];
              else
                items_[fill_[c]++] = static_cast<int32_t>(t);
            }
      }
      if (pass == 0) {
        for (int64_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
        items_.resize(static_cast<size_t>(start_[cells]));
        fill_.assign(start_.begin(), start_.end() - 1);
      }
    }
    fill_ = std::vector<int64_t>();
  }

  // Squared distance from p to the nearest triangle; infinity without any.
  double nearest_squared(const Point3d& p) const {
    double best = INFINITY;
    if (mesh_.triangles.empty()) return best;
    int32_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = clamp_cell(coordinate(p, k), k);
    for (int32_t ring = 0;; ++ring) {
      int32_t lo[3], hi[3];
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::max(c[k] - ring, 0);
        hi[k] = std::min(c[k] + ring, dims_[k] - 1);
      }
      for (int32_t z = lo[2]; z <= hi[2]; ++z)
        for (int32_t y = lo[1]; y <= hi[1]; ++y) {
          const bool inner_yz =
              ring > 0 && z > c[2] - ring && z < c[2] + ring && y > c[1] - ring && y < c[1] + ring;
          for (int32_t x = lo[0]; x <= hi[0]; ++x) {
            // Only the shell: inner cells were visited by earlier rings.
            if (inner_yz && x > c[0] - ring && x < c[0] + ring) continue;
            const int64_t cell = index(x, y, z);
            for (int64_t i = start_[cell]; i < start_[cell + 1]; ++i)
              best = std::min(best, squared_distance(p, items_[i]));
          }
        }
      // The nearest point of any unvisited cell lies beyond one of the
      // faces of the visited block that is not on the grid's border.
      double bound = INFINITY;
      for (int k = 0; k < 3; ++k) {
        const double q = coordinate(p, k);
        if (lo[k] > 0) bound = std::min(bound, std::max(q - (origin_[k] + lo[k] * cell_[k]), 0.0));
        if (hi[k] < dims_[k] - 1)
          bound = std::min(bound, std::max(origin_[k] + (hi[k] + 1) * cell_[k] - q, 0.0));
      }
      if (bound == INFINITY || bound * bound >= best) return best;
    }
  }

  double squared_distance(const Point3d& p, int32_t t) const {
    const int32_t* v = &mesh_.triangles[3 * static_cast<size_t>(t)];
    return squared_distance_to_triangle(p, point(v[0]), point(v[1]), point(v[2]));
  }

  Point3d point(int32_t node) const {
    const Vec3& q = mesh_.nodes[node];
    return {q.x, q.y, q.z};
  }

 private:
  static double coordinate(const Point3d& p, int k) { return k == 0 ? p.x : (k == 1 ? p.y : p.z); }
  int32_t clamp_cell(double q, int k) const {
    const double f = std::floor((q - origin_[k]) / cell_[k]);
    return static_cast<int32_t>(std::clamp(f, 0.0, static_cast<double>(dims_[k] - 1)));
  }
  int64_t index(int32_t x, int32_t y, int32_t z) const {
    return x + static_cast<int64_t>(dims_[0]) * (y + static_cast<int64_t>(dims_[1]) * z);
  }
  void cell_range(int64_t t, int32_t lo[3], int32_t hi[3]) const {
    const int32_t* v = &mesh_.triangles[3 * static_cast<size_t>(t)];
    for (int k = 0; k < 3; ++k) {
      const double a = mesh_.nodes[v[0]][k], b = mesh_.nodes[v[1]][k], c = mesh_.nodes[v[2]][k];
      lo[k] = clamp_cell(std::min({a, b, c}), k);
      hi[k] = clamp_cell(std::max({a, b, c}), k);
    }
  }

  const SurfaceMesh& mesh_;
  double origin_[3] = {0, 0, 0}, cell_[3] = {1, 1, 1};
  int32_t dims_[3] = {1, 1, 1};
  std::vector<int64_t> start_;  // first item of each cell, and the end
  std::vector<int32_t> items_;  // triangle indices grouped by cell
  std::vector<int64_t> fill_;   // write position per cell while building
};

}  // namespace Tavrin
