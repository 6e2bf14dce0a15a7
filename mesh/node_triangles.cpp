// Node normals and the boundary field from the triangles grouped by node.
// The grouping is a parallel counting sort of the triangle corners by node:
// every thread owns a contiguous range of nodes and walks all triangles in
// order, counting and then placing the corners of its nodes, so each node's
// list is in triangle order whatever the number of threads. Every node is
// then finished by one thread on its own.
#include "mesh/node_triangles.h"

#include <omp.h>

#include <algorithm>
#include <cstring>

namespace Tavrin {

namespace {

inline bool in_range(int32_t node, int64_t num_nodes) { return node >= 0 && node < num_nodes; }

// Short lists (the usual case) by insertion, long ones (a fan around one
// node) by std::sort.
void sort_short(int32_t* begin, int32_t* end) {
  // Nothing to order; begin may also be the null pointer of an empty list.
  if (end - begin < 2) return;
  if (end - begin > 32) {
    std::sort(begin, end);
    return;
  }
  for (int32_t* p = begin + 1; p < end; ++p) {
    const int32_t v = *p;
    int32_t* q = p;
    for (; q > begin && q[-1] > v; --q) *q = q[-1];
    *q = v;
  }
}

}  // namespace

NodeTriangles group_triangles_by_node(const std::vector<TriangleRecord>& triangles,
                                      int64_t num_nodes) {
  NodeTriangles g;
  const int64_t n = num_nodes > 0 ? num_nodes : 0;
  const int64_t t = static_cast<int64_t>(triangles.size());
  const TriangleRecord* tri = triangles.data();
  g.num_nodes = n;
  g.first.reset(new int64_t[n + 1]);
  int64_t* first = g.first.get();

  // The nodes are cut into one contiguous range per thread. Each thread
  // walks all triangles in order and counts, then places, the corners that
  // fall in its own range: no atomics, no per-thread copies of the counters,
  // and every node's list comes out in triangle order.
  const int parts =
      static_cast<int>(std::clamp<int64_t>(omp_get_max_threads(), 1, std::max<int64_t>(n, 1)));
  std::vector<int64_t> part_total(parts + 1, 0);
  auto walk = [&](int p, auto&& visit) {
    const int64_t lo = n * p / parts, hi = n * (p + 1) / parts;
    for (int64_t i = 0; i < t; ++i) {
      const int32_t corner[3] = {tri[i].a, tri[i].b, tri[i].c};
      for (int32_t v : corner)
        if (v >= lo && v < hi) visit(v, i);
    }
  };
  // Counts: node v's count in first[v + 1]; then each range's running sums.
#pragma omp parallel for schedule(static, 1) num_threads(parts)
  for (int p = 0; p < parts; ++p) {
    const int64_t lo = n * p / parts, hi = n * (p + 1) / parts;
    std::fill(first + lo + 1, first + hi + 1, 0);
    walk(p, [&](int32_t v, int64_t) { ++first[v + 1]; });
    for (int64_t v = lo + 1; v < hi; ++v) first[v + 1] += first[v];
    part_total[p + 1] = hi > lo ? first[hi] : 0;
  }
  first[0] = 0;
  for (int p = 0; p < parts; ++p) part_total[p + 1] += part_total[p];
  const int64_t running = part_total[parts];

  g.triangle.reset(new int32_t[running]);
  int32_t* slot = g.triangle.get();
  // Each range's starts move by the corners of the earlier ranges; first[v]
  // then serves as node v's cursor and ends as the start of node v + 1 (the
  // first node of a range counts on a local cursor: its entry is the end
  // of the previous range until that range is placed).
#pragma omp parallel for schedule(static, 1) num_threads(parts)
  for (int p = 0; p < parts; ++p) {
    const int64_t lo = n * p / parts, hi = n * (p + 1) / parts;
    for (int64_t v = lo + 1; v <= hi; ++v) first[v] += part_total[p];
  }
#pragma omp parallel for schedule(static, 1) num_threads(parts)
  for (int p = 0; p < parts; ++p) {
    const int64_t lo = n * p / parts;
    int64_t first_cursor = part_total[p];
    walk(p, [&](int32_t v, int64_t i) {
      int64_t& c = v == lo ? first_cursor : first[v];
      slot[c++] = static_cast<int32_t>(i);
    });
    first[lo] = first_cursor;  // like the others: the start of the next node
  }
  // Cursor v now holds the start of v + 1: back to starts.
  if (n > 0) std::memmove(first + 1, first, static_cast<size_t>(n - 1) * sizeof(int64_t));
  first[0] = 0;
  first[n] = running;
  return g;
}

namespace {

// Far ends of the sides at node v, one entry per triangle side (a triangle
// that uses v twice is looked at once): a far end seen once is an edge of
// exactly one triangle.
bool on_boundary(int64_t v, const TriangleRecord* tri, const int32_t* list, int64_t begin,
                 int64_t end, std::vector<int32_t>& ends) {
  ends.clear();
  for (int64_t k = begin; k < end; ++k) {
    if (k > begin && list[k] == list[k - 1]) continue;
    const TriangleRecord& r = tri[list[k]];
    const int32_t side[3][2] = {{r.a, r.b}, {r.b, r.c}, {r.a, r.c}};
    for (const auto& s : side) {
      if (s[0] == v)
        ends.push_back(s[1]);
      else if (s[1] == v)
        ends.push_back(s[0]);
    }
  }
  sort_short(ends.data(), ends.data() + ends.size());
  for (size_t j = 0; j < ends.size();) {
    size_t e = j + 1;
    while (e < ends.size() && ends[e] == ends[j]) ++e;
    if (e - j == 1) return true;
    j = e;
  }
  return false;
}

}  // namespace

bool node_fields(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                 const NodeTriangles& groups, std::vector<Vec3>* normals,
                 std::vector<float>* boundary) {
  const int64_t n = groups.num_nodes;
  const int64_t t = static_cast<int64_t>(triangles.size());
  const int64_t num_points = static_cast<int64_t>(nodes.size());
  const Vec3* p = nodes.data();
  const TriangleRecord* tri = triangles.data();
  const int64_t* first = groups.first.get();
  const int32_t* list = groups.triangle.get();

  // Unit normal of every triangle, once (a node visits each of its triangles).
  std::unique_ptr<float[]> face(new float[normals ? 3 * static_cast<size_t>(t) : 0]);
  float* f = face.get();
  Vec3* normal = nullptr;
  if (normals) {
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < t; ++i) {
      Vec3 u;
      const TriangleRecord& r = tri[i];
      if (in_range(r.a, num_points) && in_range(r.b, num_points) && in_range(r.c, num_points)) {
        const Vec3& pa = p[r.a];
        u = normalize(cross(p[r.b] - pa, p[r.c] - pa));
      }
      f[3 * i] = u.x;
      f[3 * i + 1] = u.y;
      f[3 * i + 2] = u.z;
    }
    normals->clear();
    normals->resize(static_cast<size_t>(n));
    normal = normals->data();
  }
  float* mark = nullptr;
  if (boundary) {
    boundary->clear();
    boundary->resize(static_cast<size_t>(n));
    mark = boundary->data();
  }

  bool any = false;
#pragma omp parallel reduction(|| : any)
  {
    std::vector<int32_t> ends;
#pragma omp for schedule(static)
    for (int64_t v = 0; v < n; ++v) {
      if (normal) {
        Vec3 sum;
        for (int64_t k = first[v]; k < first[v + 1]; ++k) {
          const float* u = f + 3 * static_cast<int64_t>(list[k]);
          sum += Vec3(u[0], u[1], u[2]);
        }
        normal[v] = normalize(sum);
      }
      if (mark) {
        const bool edge = on_boundary(v, tri, list, first[v], first[v + 1], ends);
        mark[v] = edge ? 1000.0f : 0.0f;
        any = any || edge;
      }
    }
  }
  return any;
}

void node_normals(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                  const NodeTriangles& groups, std::vector<Vec3>& normals) {
  node_fields(nodes, triangles, groups, &normals, nullptr);
}

bool boundary_values(const std::vector<TriangleRecord>& triangles, const NodeTriangles& groups,
                     std::vector<float>& values) {
  return node_fields({}, triangles, groups, nullptr, &values);
}

}  // namespace Tavrin
