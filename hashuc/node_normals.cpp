#include "hashuc/node_normals.h"

#include "hashuc/slot_groups.h"

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

  // Corners grouped by node; corners of bad nodes go to the extra group n.
  SlotGroups groups;
  const uint64_t corners = 3 * static_cast<uint64_t>(triangle_count);
  if (!groups.build(n + 1, corners, [&](uint64_t item) {
        const uint32_t v = node(item);
        return v < n ? v : static_cast<uint32_t>(n);
      }))
    return false;

  normals.assign(n, Vec3{});
  Vec3* out = normals.data();
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < node_count; ++i) {
    Vec3 sum;
    for (uint32_t k = groups.begin(i), e = groups.end(i); k < e; ++k) sum += unit[groups.item(k) / 3];
    out[i] = unitLength(sum);
  }
  return true;
}

}  // namespace Tavrin
