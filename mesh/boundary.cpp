// Derived scalar fields: "Boundary" marks the nodes of edges used by exactly
// one triangle, "Artificial" holds each node's distance from the origin so
// that a mesh without fields still has one to colour by. Both replace an
// older field of their name and apply to the full-resolution mesh first.
// Also holds the edge collection that refinement numbers its midpoints by.

#include <algorithm>
#include <cmath>

#include "base/messages.h"
#include "mesh/edge_collection.h"
#include "mesh/node_fields.h"

namespace Tavrin {

std::unique_ptr<EdgeSet> collect_edges(const std::vector<TriangleRecord>& triangles) {
  const int64_t t = static_cast<int64_t>(triangles.size());
  // About twenty edge entries per bucket; at least one bucket.
  int64_t buckets = (3 * t + 3) / 20;
  if (buckets == 0) buckets = (3 * t + 3) / 2;
  auto set = std::make_unique<EdgeSet>(static_cast<uint32_t>(buckets));
  EdgeSet& edges = *set;
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < t; ++i) {
    const TriangleRecord& tri = triangles[i];
    edges.add(std::min(tri.a, tri.b), std::max(tri.a, tri.b), 1);
    edges.add(std::min(tri.b, tri.c), std::max(tri.b, tri.c), 1);
    edges.add(std::min(tri.a, tri.c), std::max(tri.a, tri.c), 1);
  }
  return set;
}

namespace {

// Removes the last field of that name from this object only. The object's
// own remove_scalar also visits `full`, which has already been given its new
// field by the time we get here and must keep it.
void remove_own_scalar(Object& object, const char* name) {
  std::unique_ptr<Object> full = std::move(object.full);
  object.remove_scalar(name);
  object.full = std::move(full);
}

}  // namespace

void Object::add_boundary_scalar() {
  if (full) full->add_boundary_scalar();
  Scalar boundary;
  boundary.name = "Boundary";
  const bool any = boundary_values(triangles, static_cast<int64_t>(nodes.size()), boundary.values);
  // Replaces an older field of the name; no field when no node is marked.
  remove_own_scalar(*this, "Boundary");
  if (!any) {
    log_message("No boundary could be found.\n");
    return;
  }
  append_scalar(std::move(boundary));
}

void Object::add_artificial_scalar() {
  if (full) full->add_artificial_scalar();
  remove_own_scalar(*this, "Artificial");

  Scalar artificial;
  artificial.name = "Artificial";
  artificial.values.resize(nodes.size());
  const int64_t n = static_cast<int64_t>(nodes.size());
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < n; ++i) {
    const Vec3& p = nodes[i];
    artificial.values[i] = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
  }
  append_scalar(std::move(artificial));
}

}  // namespace Tavrin
