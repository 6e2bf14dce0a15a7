// Renumbering by spatial sort: every node is placed in a cell of a fine
// 2048^3 grid, the nodes are sorted by cell number and the nodes, normals,
// scalar fields, lines and triangles are rewritten in that order, so nodes
// close in space get close numbers (cache-friendly drawing). Nodes sharing a
// cell keep their old relative order, which makes the result the same on
// every run and for any number of threads.

#include <cstdint>
#include <vector>

#include "base/messages.h"
#include "mesh/object.h"
#include "mesh/sort_grid.h"
#include "mesh/two_thread_sort.h"

namespace Tavrin {

namespace {

struct NodeRecord {
  Vec3 position;
  int32_t old_number;
  uint64_t cell;
};

// Ascending with every not-a-number after all numbers, so that the order is
// a strict weak order whatever the coordinates.
inline bool coordinate_less(float a, float b) { return a < b || (a == a && b != b); }

Box node_box(const std::vector<Vec3>& nodes) {
  Box box{nodes[0], nodes[0]};
  for (const Vec3& p : nodes) {
    for (int i = 0; i < 3; ++i) {
      if (p[i] < box.min[i]) box.min[i] = p[i];
      if (p[i] > box.max[i]) box.max[i] = p[i];
    }
  }
  return box;
}

}  // namespace

void Object::renumerate() {
  if (full) full->renumerate();
  const int64_t n = static_cast<int64_t>(nodes.size());
  if (n == 0) return;

  // The grid is passed to no comparator: each record carries its cell number.
  const SortGrid grid = SortGrid::around(node_box(nodes));
  std::vector<NodeRecord> records(static_cast<size_t>(n));
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < n; ++i)
    records[i] = {nodes[i], static_cast<int32_t>(i), grid.cell(nodes[i])};

  NodeRecord* r = records.data();
  const size_t count = records.size();
  status_line("Qsorting along Z.");
  sort_records(r, count, [](const NodeRecord& a, const NodeRecord& b) {
    return coordinate_less(a.position.z, b.position.z);
  });
  status_line("Qsorting along Y.");
  sort_records(r, count, [](const NodeRecord& a, const NodeRecord& b) {
    return coordinate_less(a.position.y, b.position.y);
  });
  status_line("Qsorting along X.");
  sort_records(r, count, [](const NodeRecord& a, const NodeRecord& b) {
    return coordinate_less(a.position.x, b.position.x);
  });
  // Ties in the cell are broken by the old number: a total order, so the
  // result does not depend on the sort algorithm or the thread split.
  status_line("Qsorting according to cluster_id.");
  sort_records(r, count, [](const NodeRecord& a, const NodeRecord& b) {
    return a.cell != b.cell ? a.cell < b.cell : a.old_number < b.old_number;
  });

  status_line("Updating vertices.");
  std::vector<int32_t> new_number(static_cast<size_t>(n));
#pragma omp parallel for schedule(static)
  for (int64_t j = 0; j < n; ++j) {
    nodes[j] = records[j].position;
    new_number[records[j].old_number] = static_cast<int32_t>(j);
  }

  status_line("Updating normals.");
  if (normals.size() == nodes.size()) {
    std::vector<Vec3> old_normals(normals);
#pragma omp parallel for schedule(static)
    for (int64_t j = 0; j < n; ++j) normals[j] = old_normals[records[j].old_number];
  }

  if (!scalars.empty()) {
    status_line("Updating scalars.");
    std::vector<float> old_values;
    for (Scalar& scalar : scalars) {
      if (scalar.values.size() != nodes.size()) continue;
      old_values = scalar.values;
#pragma omp parallel for schedule(static)
      for (int64_t j = 0; j < n; ++j) scalar.values[j] = old_values[records[j].old_number];
    }
  }

  status_line("Updating connectivity.");
  // A node number outside the mesh is left as it is rather than read past
  // the map.
  auto renumber = [&new_number, n](int32_t node) {
    return node >= 0 && node < n ? new_number[node] : node;
  };
  const int64_t line_count = static_cast<int64_t>(lines.size());
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < line_count; ++i) {
    LineRecord& line = lines[i];
    line = {renumber(line.a), renumber(line.b), 0};
  }
  const int64_t triangle_count = static_cast<int64_t>(triangles.size());
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < triangle_count; ++i) {
    TriangleRecord& t = triangles[i];
    t = {renumber(t.a), renumber(t.b), renumber(t.c), 0};
  }
}

}  // namespace Tavrin
