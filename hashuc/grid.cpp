#include "hashuc/grid.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <vector>

#include "tables/fast_modulus.h"
#include "tables/large_array.h"
#include "tables/slot_groups.h"

namespace Tavrin {

// The box starts at the first point and grows by every later one that lies
// outside it; a NaN coordinate never moves it. Each thread finds the extremes
// of its own range and the ranges are merged in order: minimum and maximum
// are exact, so the box is the one a single pass would find, down to which
// of two equal zeros (+0, -0) is kept (the first met).
Box boundingBox(const float* coords, int64_t n, int stride) {
  assert((coords || n <= 0) && stride >= 3);
  Box b;
  if (n <= 0) return b;
  b.min = b.max = Vec3(coords[0], coords[1], coords[2]);
  const int blocks = std::max(1, omp_get_max_threads());
  std::vector<Box> part(blocks);
#pragma omp parallel for schedule(static)
  for (int blk = 0; blk < blocks; ++blk) {
    const int64_t begin = 1 + (n - 1) * blk / blocks, end = 1 + (n - 1) * (blk + 1) / blocks;
    const float inf = std::numeric_limits<float>::infinity();
    Vec3 lo(inf, inf, inf), hi(-inf, -inf, -inf);
    for (int64_t i = begin; i < end; ++i) {
      const float* p = coords + i * stride;
      for (int k = 0; k < 3; ++k) {
        if (p[k] < lo[k]) lo[k] = p[k];
        if (p[k] > hi[k]) hi[k] = p[k];
      }
    }
    part[blk].min = lo;
    part[blk].max = hi;
  }
  for (const Box& p : part)
    for (int k = 0; k < 3; ++k) {
      if (p.min[k] < b.min[k]) b.min[k] = p.min[k];
      if (p.max[k] > b.max[k]) b.max[k] = p.max[k];
    }
  return b;
}

void NormalizationBox::compute(const Box& box) {
  box_min = box.min;
  box_max = box.max;
  Box cube = cube_around(box);
  centre = (cube.min + cube.max) * 0.5f;
  half_extent = (cube.max - cube.min) * 0.5f;
  if (half_extent.x == 0.0f && half_extent.y == 0.0f && half_extent.z == 0.0f)
    half_extent = Vec3(1.0f, 1.0f, 1.0f);
  inverse_half_extent = Vec3(1.0f / half_extent.x, 1.0f / half_extent.y, 1.0f / half_extent.z);
}

Box normalisedBounds(const NormalizationBox& nb, const float* coords, int64_t n, int stride) {
  Box result;
  result.min = result.max = Vec3(0.0f, 0.0f, 0.0f);
#pragma omp parallel
  {
    Vec3 lo(0.0f, 0.0f, 0.0f), hi(0.0f, 0.0f, 0.0f);
#pragma omp for schedule(static)
    for (int64_t i = 0; i < n; ++i) {
      Vec3 q = nb.normalise(coords + i * stride);
      for (int k = 0; k < 3; ++k) {
        if (q[k] < lo[k]) lo[k] = q[k];
        if (q[k] > hi[k]) hi[k] = q[k];
      }
    }
    // Minimum and maximum are exact, so the merge order does not matter.
#pragma omp critical(tavrin_normalised_bounds)
    for (int k = 0; k < 3; ++k) {
      if (lo[k] < result.min[k]) result.min[k] = lo[k];
      if (hi[k] > result.max[k]) result.max[k] = hi[k];
    }
  }
  return result;
}

double ClusterGrid::setUp(const Box& bounds, int32_t cells_x, int32_t cells_y, int32_t cells_z,
                          int32_t grid_mode) {
  mode = grid_mode;
  nx = cells_x;
  ny = cells_y;
  nz = cells_z;
  Box cube = cube_around(bounds);
  Vec3 lo = cube.min, hi = cube.max;
  float h = 1e-6f * std::max(std::fabs(lo.x) + std::fabs(lo.y) + std::fabs(lo.z),
                             std::fabs(hi.x) + std::fabs(hi.y) + std::fabs(hi.z));
  for (int k = 0; k < 3; ++k) {
    float e = std::max(1e-6f * (hi[k] - lo[k]), h);
    // Every node at one point leaves a box of zero size; give the grid a
    // positive extent so that the cell size is finite and all nodes share a cell.
    if (!(e > 0.0f)) e = 1e-6f;
    float a = lo[k] - e, b = hi[k] + e;
    min[k] = std::min(a, b);
    max[k] = std::max(a, b);
  }
  const int32_t n[3] = {nx, ny, nz};
  for (int k = 0; k < 3; ++k) {
    cell_size[k] = (max[k] - min[k]) / static_cast<float>(n[k]);
    inverse_cell_size[k] = static_cast<float>(n[k]) / (max[k] - min[k]);
  }
  double d = std::sqrt(static_cast<double>(cell_size.x) * cell_size.x +
                       static_cast<double>(cell_size.y) * cell_size.y +
                       static_cast<double>(cell_size.z) * cell_size.z);
  epsilon = static_cast<float>(d) * 1e-6f;
  return d;
}

bool ClusterGrid::contains(uint64_t key, const Vec3& q) const {
  for (int k = 0; k < 3; ++k)
    if (!(q[k] >= min[k] && q[k] <= max[k])) return false;
  if (mode == 1) key >>= 3;
  const uint64_t sx = static_cast<uint64_t>(nx), sxy = sx * static_cast<uint64_t>(ny);
  uint64_t iz = key / sxy;
  uint64_t iy = (key - sxy * iz) / sx;
  uint64_t ix = key - sx * (static_cast<uint64_t>(ny) * iz + iy);
  const uint64_t idx[3] = {ix, iy, iz};
  for (int k = 0; k < 3; ++k) {
    float lo = min[k] + static_cast<float>(idx[k]) * cell_size[k];
    float hi = lo + cell_size[k];
    if (!(q[k] >= lo && q[k] <= hi)) return false;
  }
  return true;
}

double ClusterSpace::setUpGrid(int32_t n, const float* coords, int64_t node_count, int stride,
                               int32_t mode) {
  normalisation.compute(boundingBox(coords, node_count, stride));
  Box bounds = normalisedBounds(normalisation, coords, node_count, stride);
  return grid.setUp(bounds, n, n, n, mode);
}

uint32_t occupiedCellBuckets(int64_t node_count, int32_t n, bool octant_mode) {
  int64_t e = node_count / 10;
  float half = static_cast<float>(n) * 0.5f;
  int64_t s = 1 + static_cast<int64_t>(18.849555924 * static_cast<double>(half) * half);
  e = std::min(e, s);
  if (!octant_mode && n <= 1024) e = std::min(e, static_cast<int64_t>(n) * n * n);
  if (octant_mode && n <= 512) e = std::min(e, 8 * static_cast<int64_t>(n) * n * n);
  int64_t b = e / 6;
  if (b == 0) b = e;
  if (b == 0) b = node_count;
  if (b > 0xFFFFFFFFll) b = 0xFFFFFFFFll;
  return static_cast<uint32_t>(b > 0 ? b : 1);
}

// The nodes are grouped by bucket (key modulo the bucket count) with the
// stable counting sort, so each bucket sees its nodes in input order; a scan
// of each bucket then lists its distinct keys by first node. No locks, and
// the same order for any number of threads.
int64_t collectOccupiedCells(ClusterSpace& space, const float* coords, int64_t node_count,
                             int stride, const Vec3* normals) {
  const bool octant = normals != nullptr;
  const uint64_t buckets = occupiedCellBuckets(node_count, space.grid.nx, octant);
  const ClusterGrid& grid = space.grid;
  const NormalizationBox& nb = space.normalisation;
  space.cellKeys.clear();
  space.forgetNodeCells();
  if (node_count <= 0) return 0;
  LargeArray<uint64_t> keys = requireLargeArray<uint64_t>(node_count);
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < node_count; ++i) {
    const Vec3 q = nb.normalise(coords + i * stride);
    keys[i] = octant ? grid.key(q, normals[i]) : grid.key(q);
  }
  SlotGroups groups;
  const FastModulus bucket_of(buckets);
  if (!groups.build(buckets, static_cast<uint64_t>(node_count),
                    [&](uint64_t i) { return static_cast<uint32_t>(bucket_of(keys[i])); }))
    return 0;

  // Each bucket's distinct keys, first node first, written over the start of
  // the bucket's own segment (a bucket has no more keys than nodes); `local`
  // holds each grouped node's position among them.
  LargeArray<uint64_t> distinct = requireLargeArray<uint64_t>(node_count);
  LargeArray<uint32_t> local = requireLargeArray<uint32_t>(node_count);
  std::vector<uint32_t> first_cell(buckets + 1, 0);
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < buckets; ++b) {
    const uint32_t begin = groups.begin(b), end = groups.end(b);
    uint64_t* d = distinct.get() + begin;
    uint32_t count = 0, last = 0;
    for (uint32_t k = begin; k < end; ++k) {
      const uint64_t key = keys[groups.item(k)];
      if (count == 0 || d[last] != key) {
        last = 0;
        while (last < count && d[last] != key) ++last;
        if (last == count) d[count++] = key;
      }
      local[k] = last;
    }
    first_cell[b + 1] = count;
  }
  for (uint64_t b = 0; b < buckets; ++b) first_cell[b + 1] += first_cell[b];
  const uint64_t cells = first_cell[buckets];
  space.cellKeys.resize(cells);
  space.nodeCell.resize(node_count);
  uint64_t* cell_keys = space.cellKeys.data();
  uint32_t* node_cell = space.nodeCell.data();
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < buckets; ++b) {
    const uint32_t begin = groups.begin(b), end = groups.end(b);
    const uint32_t first = first_cell[b];
    for (uint32_t j = 0; j < first_cell[b + 1] - first; ++j)
      cell_keys[first + j] = distinct[begin + j];
    for (uint32_t k = begin; k < end; ++k) node_cell[groups.item(k)] = first + local[k];
  }
  space.nodeCellCoords = coords;
  space.nodeCellStride = stride;
  return static_cast<int64_t>(cells);
}

}  // namespace Tavrin
