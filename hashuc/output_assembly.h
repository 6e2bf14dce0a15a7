// Assembles the simplified mesh from solved cell records, the same way for
// every clustering handler:
//   - numbering: every output node gets a number, written into its records;
//     by default the position of the cell's key in the key array, while a
//     handler that merges sub-clusters gives several records one number;
//   - triangles: each source triangle whose corners reach three different
//     output nodes becomes one, turned so that it faces the way its source
//     faces; duplicates over the same three nodes collapse into one
//     (TriangleSet keeps the one with the smallest source number);
//   - lines: the edge left by a triangle collapsed onto two nodes, unless it
//     is an edge of some output triangle (its EdgeSet counter stays 0);
//   - nodes: each output node at its record's point, denormalised.
// Two corners are the same output node exactly when they carry the same
// output number. The layout names the record fields used:
//   static constexpr int kNumberField;  // two floats: number / 65536, number % 65536
//   static constexpr int kPointField;   // three floats: the normalised point
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "hashuc/cluster_pipeline.h"
#include "hashuc/edge_set.h"
#include "hashuc/grid.h"
#include "hashuc/node_slots.h"
#include "hashuc/qef.h"
#include "hashuc/triangle_set.h"
#include "simplify/handler_interface.h"

namespace Tavrin {

// The slot of every output node, in output order.
struct OutputNumbering {
  std::vector<uint32_t> output_slot;
  int32_t count() const { return static_cast<int32_t>(output_slot.size()); }
};

template <class Layout, class Record>
inline int32_t outputNumberOf(const Record& r) {
  return nodeNumber(r.v + Layout::kNumberField);
}
template <class Layout, class Record>
inline Vec3 pointOf(const Record& r) {
  const float* p = r.v + Layout::kPointField;
  return {p[0], p[1], p[2]};
}

// Numbers the cells by the position of their key in `keys`. Returns false
// when a key is missing from the table.
template <class Layout, class Table>
bool numberByKeyOrder(Table& table, const std::vector<uint64_t>& keys, OutputNumbering& out) {
  const int64_t n = static_cast<int64_t>(keys.size());
  out.output_slot.assign(n, kNoSlot);
  int64_t missing = n;
#pragma omp parallel for schedule(static) reduction(min : missing)
  for (int64_t j = 0; j < n; ++j) {
    const int64_t s = table.find_index(keys[j]);
    if (s < 0) {
      if (j < missing) missing = j;
      continue;
    }
    setNodeNumber(table.slot(s).rec.v + Layout::kNumberField, static_cast<int32_t>(j));
    out.output_slot[j] = static_cast<uint32_t>(s);
  }
  return missing == n;
}

// Triangles and lines of the simplified mesh from the numbered records.
// Returns false (and leaves `mesh` empty) when a triangle names a node the
// map does not hold; bad_triangle is then its number.
template <class Layout, class Table>
bool assembleTrianglesAndLines(Table& table, const NormalizationBox& nb, const NodeSlots& map,
                               const TriangleInput& in, int32_t output_count,
                               SimplifiedMesh& mesh, int64_t& bad_triangle) {
  const uint64_t c = static_cast<uint64_t>(output_count);
  const bool lines = mesh.want_lines;
  EdgeSet edges(static_cast<uint32_t>(lines ? std::max<uint64_t>(1, 3 * c / 10 ? 3 * c / 10 : c) : 1));
  TriangleSet tris(static_cast<uint32_t>(std::max<uint64_t>(1, 2 * c / 7 ? 2 * c / 7 : c)));
  const uint64_t n = map.slot.size();
  int64_t bad = in.count;
  bool collapsed = false;
#pragma omp parallel for schedule(static) reduction(min : bad) reduction(|| : collapsed)
  for (int64_t i = 0; i < in.count; ++i) {
    uint32_t node[3];
    const typename Table::Slot* slot[3];
    int32_t o[3];
    bool ok = true;
    for (int j = 0; j < 3; ++j) {
      node[j] = static_cast<uint32_t>(in.node(i, j));
      if (node[j] >= n) {
        ok = false;
        break;
      }
      slot[j] = &table.slot(map.slot[node[j]]);
      o[j] = outputNumberOf<Layout>(slot[j]->rec);
    }
    if (!ok) {
      if (i < bad) bad = i;
      continue;
    }
    if (o[0] != o[1] && o[1] != o[2] && o[0] != o[2]) {
      const Vec3 p0 = nb.normalise(in.position(node[0]));
      const Vec3 p1 = nb.normalise(in.position(node[1]));
      const Vec3 p2 = nb.normalise(in.position(node[2]));
      const Vec3 r0 = pointOf<Layout>(slot[0]->rec);
      const Vec3 r1 = pointOf<Layout>(slot[1]->rec);
      const Vec3 r2 = pointOf<Layout>(slot[2]->rec);
      const Vec3 source_normal = normalize(cross(p1 - p0, p2 - p0));
      const Vec3 new_normal = normalize(cross(r1 - r0, r2 - r0));
      if (dot(source_normal, new_normal) >= 0.0f)
        tris.add(o[0], o[1], o[2], static_cast<int32_t>(i));
      else
        tris.add(o[0], o[2], o[1], static_cast<int32_t>(i));
    } else if (lines && !(o[0] == o[1] && o[1] == o[2])) {
      const int32_t a = o[0] != o[1] ? o[0] : o[1];
      const int32_t b = o[0] != o[1] ? o[1] : o[2];
      edges.add(std::min(a, b), std::max(a, b), 0);
      collapsed = true;
    }
  }
  mesh.lines.clear();
  mesh.triangles.clear();
  if (bad < in.count) {
    bad_triangle = bad;
    return false;
  }
  const uint64_t f = tris.count();
  mesh.triangles.resize(3 * f);
  if (f > 0) tris.copyOut(mesh.triangles.data(), f);
  if (lines && collapsed) {
    // A collapsed edge that is also an edge of an output triangle is no
    // line. The output triangles carry every triangle edge (duplicates share
    // theirs), so only the few collapsed edges are ever stored.
    for (uint64_t t = 0; t < f; ++t)
      for (int j = 0; j < 3; ++j) {
        const int32_t a = mesh.triangles[3 * t + j], b = mesh.triangles[3 * t + (j + 1) % 3];
        if (EdgeSet::Entry* e = edges.find(std::min(a, b), std::max(a, b))) e->counter += 1;
      }
    const uint64_t count = edges.countWithCounter(0);
    mesh.lines.resize(2 * count);
    if (count > 0) edges.copyOutWithCounter(0, mesh.lines.data(), count);
  }
  return true;
}

// One output value per node and field: `fill` first, then field(record) of
// each output node's representative slot.
template <class Table, class Field>
void writePerOutputNode(Table& table, const OutputNumbering& numbering, int32_t width,
                        std::vector<float>& out, const Field& field) {
  const int64_t n = numbering.count();
  out.assign(static_cast<size_t>(n) * width, -1000.0f);
#pragma omp parallel for schedule(static)
  for (int64_t o = 0; o < n; ++o) field(table.slot(numbering.output_slot[o]).rec, out.data() + o * width);
}

// Three floats per output node: the record's point, denormalised.
template <class Layout, class Table>
void writeOutputNodes(Table& table, const NormalizationBox& nb, const OutputNumbering& numbering,
                      std::vector<float>& nodes) {
  writePerOutputNode(table, numbering, 3, nodes, [&](const auto& rec, float* dst) {
    const Vec3 p = nb.denormalise(pointOf<Layout>(rec));
    dst[0] = p.x;
    dst[1] = p.y;
    dst[2] = p.z;
  });
}

}  // namespace Tavrin
