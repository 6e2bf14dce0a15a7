// Helpers for the handler tests that drive a handler as the driver does:
// through create_handler and run_handler, on a chosen number of threads, and
// the invariants every simplified mesh keeps.
#pragma once

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <set>

#include "hashuc/handler_factory.h"
#include "hashuc_test_util.h"

namespace Tavrin::test {

struct FactoryRun {
  std::unique_ptr<HandlerInterface> handler;
  SimplifiedMesh mesh;
  int32_t nodes = 0;
};

inline FactoryRun runThroughFactory(const Mesh& m, int32_t grid, simp_type type) {
  FactoryRun r;
  r.handler = create_handler(grid, type, m.coords.data(), static_cast<uint32_t>(m.nodeCount()));
  if (!r.handler) return r;
  QefInputs inputs;
  ExtraOutputs extra;
  r.nodes = run_handler(r.handler.get(), m.coords.data(), m.nodeCount(), m.tris.data(),
                        m.triangleCount(), 3, inputs, r.mesh, extra);
  return r;
}

// Runs f() with n OpenMP threads and restores the previous setting.
template <class F>
auto withThreads(int n, const F& f) {
  const int previous = omp_get_max_threads();
  omp_set_num_threads(n);
  auto result = f();
  omp_set_num_threads(previous);
  return result;
}

// Every triangle has three distinct nodes in range, no two triangles share
// their three nodes, lines join two distinct nodes in range.
inline void expectMeshInvariants(const SimplifiedMesh& mesh) {
  const int32_t n = mesh.nodeCount();
  std::set<std::array<int32_t, 3>> seen;
  for (int32_t t = 0; t < mesh.triangleCount(); ++t) {
    std::array<int32_t, 3> x = {mesh.triangles[3 * t], mesh.triangles[3 * t + 1],
                                mesh.triangles[3 * t + 2]};
    for (int32_t v : x) ASSERT_TRUE(v >= 0 && v < n) << "triangle " << t;
    ASSERT_TRUE(x[0] != x[1] && x[1] != x[2] && x[0] != x[2]) << "triangle " << t;
    std::sort(x.begin(), x.end());
    EXPECT_TRUE(seen.insert(x).second) << "duplicate triangle " << t;
  }
  for (int32_t l = 0; l < mesh.lineCount(); ++l) {
    const int32_t a = mesh.lines[2 * l], b = mesh.lines[2 * l + 1];
    ASSERT_TRUE(a >= 0 && a < n && b >= 0 && b < n && a != b) << "line " << l;
  }
}

inline bool sameBytes(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

inline void expectSameMesh(const SimplifiedMesh& a, const SimplifiedMesh& b) {
  EXPECT_TRUE(sameBytes(a.nodes, b.nodes));
  EXPECT_EQ(a.triangles, b.triangles);
  EXPECT_EQ(a.lines, b.lines);
}

}  // namespace Tavrin::test
