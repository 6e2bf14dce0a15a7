// Refinement: every triangle is split into four at its edge midpoints. The
// distinct edges are collected in an EdgeSet; the k-th edge in the set's
// output order (bucket, then node pair) gets the new node N + k, so the
// numbering is the same for any number of threads. Every scalar field gets
// the mean of its edge's end values at the midpoint.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/group_digits.h"
#include "base/messages.h"
#include "mesh/edge_collection.h"

namespace Tavrin {

void Object::refine() {
  if (full) full->refine();

  constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();
  const int64_t n = static_cast<int64_t>(nodes.size());
  const int64_t t = static_cast<int64_t>(triangles.size());
  if (4 * t > kMaxCount) {
    log_message("The refined mesh would have too many triangles.\n");
    return;
  }

  std::unique_ptr<EdgeSet> set = collect_edges(triangles);
  std::vector<EdgeSet::Entry> edges;
  set->copyOutAll(edges);
  const int64_t e = static_cast<int64_t>(edges.size());
  if (n + e > kMaxCount) {
    log_message("The refined mesh would have too many points.\n");
    return;
  }

  // The counter of each edge becomes the number of its midpoint node.
  EdgeSet& edge_set = *set;
#pragma omp parallel for schedule(static)
  for (int64_t k = 0; k < e; ++k) {
    edges[k].counter = static_cast<int32_t>(n + k);
    edge_set.find(edges[k].a, edges[k].b)->counter = edges[k].counter;
  }

  auto midpoint = [&edge_set](int32_t a, int32_t b) {
    return edge_set.find(std::min(a, b), std::max(a, b))->counter;
  };
  std::vector<TriangleRecord> refined(static_cast<size_t>(4 * t));
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < t; ++i) {
    const TriangleRecord& old = triangles[i];
    const int32_t ab = midpoint(old.a, old.b);
    const int32_t bc = midpoint(old.b, old.c);
    const int32_t ca = midpoint(old.c, old.a);
    TriangleRecord* out = &refined[4 * i];
    out[0] = {old.a, ab, ca, 0};
    out[1] = {old.b, bc, ab, 0};
    out[2] = {old.c, ca, bc, 0};
    out[3] = {ab, bc, ca, 0};
  }
  triangles.swap(refined);
  std::vector<TriangleRecord>().swap(refined);
  set.reset();

  nodes.resize(static_cast<size_t>(n + e));
#pragma omp parallel for schedule(static)
  for (int64_t k = 0; k < e; ++k) nodes[n + k] = (nodes[edges[k].a] + nodes[edges[k].b]) * 0.5f;

  for (Scalar& scalar : scalars) {
    std::vector<float>& values = scalar.values;
    values.resize(static_cast<size_t>(n + e));
#pragma omp parallel for schedule(static)
    for (int64_t k = 0; k < e; ++k)
      values[n + k] = (values[edges[k].a] + values[edges[k].b]) * 0.5f;
  }

  drop_normals();

  log_message(group_digits_text(format("Refined mesh has %u points and %u triangles.\n",
                                       static_cast<unsigned>(n + e), static_cast<unsigned>(4 * t)),
                                8192));
}

}  // namespace Tavrin
