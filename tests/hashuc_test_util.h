// Helpers for the clustering tests: small procedural meshes and a direct run
// of a handler (initialise, submit, solve, output, export).
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "hashuc/hash_uc.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "test_support.h"

namespace Tavrin::test {

// Nodes (three floats each) and triangles (three node numbers each).
struct Mesh {
  std::vector<float> coords;
  std::vector<int32_t> tris;
  int32_t nodeCount() const { return static_cast<int32_t>(coords.size() / 3); }
  int32_t triangleCount() const { return static_cast<int32_t>(tris.size() / 3); }
  int32_t addNode(float x, float y, float z) {
    coords.insert(coords.end(), {x, y, z});
    return nodeCount() - 1;
  }
};

inline Mesh fromObject(const Object& o) {
  Mesh m;
  for (const Vec3& p : o.nodes) m.addNode(p.x, p.y, p.z);
  for (const TriangleRecord& t : o.triangles) m.tris.insert(m.tris.end(), {t.a, t.b, t.c});
  return m;
}

inline Mesh loadMesh(const std::string& name) {
  std::unique_ptr<Object> o = load_ply(data_path(name));
  return o ? fromObject(*o) : Mesh{};
}

// A bumpy torus of u x v quads split into triangles, with a few degenerate
// triangles (repeated nodes) mixed in.
inline Mesh bumpyTorus(int u, int v) {
  Mesh m;
  for (int i = 0; i < u; ++i)
    for (int j = 0; j < v; ++j) {
      const double a = 2 * M_PI * i / u, b = 2 * M_PI * j / v;
      const double r = 0.35 + 0.05 * std::sin(5 * a) * std::cos(3 * b);
      m.addNode(static_cast<float>((1 + r * std::cos(b)) * std::cos(a)),
                static_cast<float>((1 + r * std::cos(b)) * std::sin(a)),
                static_cast<float>(r * std::sin(b)));
    }
  for (int i = 0; i < u; ++i)
    for (int j = 0; j < v; ++j) {
      const int32_t p = i * v + j, q = ((i + 1) % u) * v + j, r = i * v + (j + 1) % v,
                    s = ((i + 1) % u) * v + (j + 1) % v;
      m.tris.insert(m.tris.end(), {p, q, s, p, s, r});
      if ((i * v + j) % 97 == 0) m.tris.insert(m.tris.end(), {p, p, q});
    }
  return m;
}

struct HandlerRun {
  SimplifiedMesh mesh;
  std::vector<uint64_t> keys;
  std::vector<std::vector<float>> exported;  // key, status, count, error per output node
  ClusterSpace space;
  std::vector<Vec3> points;  // normalised point of each output node's cell
  int32_t solved = 0;
};

template <class Handler = HashUC>
HandlerRun runHandler(const Mesh& m, int32_t grid, int32_t stride = 3,
                      const std::vector<int32_t>* tris = nullptr) {
  HandlerRun r;
  Handler h;
  h.initialise(grid, m.coords.data(), m.nodeCount(), 3);
  const std::vector<int32_t>& t = tris ? *tris : m.tris;
  const int32_t count = static_cast<int32_t>(t.size() / stride);
  h.submit(m.coords.data(), 3, t.data(), count, stride);
  r.solved = h.solve();
  h.output(m.coords.data(), 3, t.data(), count, stride, r.mesh);
  int32_t length = 0;
  h.exportCells(r.exported, length);
  r.keys = h.space().cellKeys;
  r.space = h.space();
  if (h.table())
    for (uint64_t key : r.keys) {
      const float* v = h.table()->find(key)->rec.v;
      r.points.emplace_back(v[10], v[11], v[12]);
    }
  return r;
}

}  // namespace Tavrin::test
