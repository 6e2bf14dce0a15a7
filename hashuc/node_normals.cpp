#include "hashuc/node_normals.h"

#include "tables/slot_partition.h"

namespace Tavrin {

bool computeNodeNormalSums(const float* coords, int64_t node_count, int32_t components,
                           const int32_t* triangles, int64_t triangle_count, int32_t stride,
                           std::vector<Vec3>& normals) {
  std::vector<Vec3>().swap(normals);
  if (!coords || !triangles || node_count <= 0 || triangle_count <= 0) return false;
  if (stride <= 0) stride = 3;
  const uint64_t n = static_cast<uint64_t>(node_count);
  auto node = [&](uint64_t item) {
    return static_cast<uint32_t>(triangles[static_cast<int64_t>(item / 3) * stride + item % 3]);
  };
  auto position = [&](uint32_t i) {
    const float* p = coords + static_cast<int64_t>(i) * components;
    return Vec3(p[0], p[1], p[2]);
  };

  std::vector<Vec3> unit(triangle_count);
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < triangle_count; ++t) {
    const uint32_t a = node(3 * t), b = node(3 * t + 1), c = node(3 * t + 2);
    if (a >= n || b >= n || c >= n) continue;
    const Vec3 pa = position(a);
    unit[t] = unitLength(cross(position(b) - pa, position(c) - pa));
  }

  // The nodes are split into one contiguous range per thread; each thread
  // walks all triangles in order and sums the normals at the corners in its
  // range, so every node sums its triangles in triangle order without a lock.
  normals.assign(n, Vec3{});
  Vec3* out = normals.data();
  const SlotPartition partition(n);
  partition.forEachPart([&](int p) {
    for (int64_t t = 0; t < triangle_count; ++t) {
      const int32_t* tri = triangles + t * stride;
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = static_cast<uint32_t>(tri[c]);
        if (v < n && partition.part(v) == p) out[v] += unit[t];
      }
    }
  });
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < node_count; ++i) out[i] = unitLength(out[i]);
  return true;
}

}  // namespace Tavrin
