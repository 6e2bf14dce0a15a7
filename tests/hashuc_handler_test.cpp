// HashUC as a handler: invariants of its output on larger meshes, the edge
// cases of clustering, value averaging and the failure of a bad triangle.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

#include "hashuc_test_util.h"

namespace Tavrin {
namespace {

using test::HandlerRun;
using test::Mesh;
using test::runHandler;

Vec3 nodeAt(const std::vector<float>& c, int32_t i) {
  return {c[3 * i], c[3 * i + 1], c[3 * i + 2]};
}

// Output triangles: distinct nodes, no two over the same nodes, each facing
// like some source triangle over the same three cells.
void expectInvariants(const Mesh& m, const HandlerRun& run) {
  const NormalizationBox& nb = run.space.normalisation;
  std::map<uint64_t, int32_t> number;
  for (size_t j = 0; j < run.keys.size(); ++j) number[run.keys[j]] = static_cast<int32_t>(j);
  // Source triangles by the sorted output nodes of their corners.
  std::map<std::array<int32_t, 3>, std::vector<int32_t>> sources;
  for (int32_t t = 0; t < m.triangleCount(); ++t) {
    std::array<int32_t, 3> o;
    for (int c = 0; c < 3; ++c)
      o[c] = number.at(run.space.grid.key(nb.normalise(&m.coords[3 * m.tris[3 * t + c]])));
    std::sort(o.begin(), o.end());
    sources[o].push_back(t);
  }
  std::set<std::array<int32_t, 3>> seen;
  for (int32_t t = 0; t < run.mesh.triangleCount(); ++t) {
    const int32_t* x = &run.mesh.triangles[3 * t];
    ASSERT_TRUE(x[0] != x[1] && x[1] != x[2] && x[0] != x[2]) << "triangle " << t;
    std::array<int32_t, 3> s = {x[0], x[1], x[2]};
    std::sort(s.begin(), s.end());
    EXPECT_TRUE(seen.insert(s).second) << "duplicate triangle " << t;
    auto it = sources.find(s);
    ASSERT_NE(it, sources.end()) << "triangle " << t << " has no source";
    const Vec3 a = nodeAt(run.mesh.nodes, x[0]), b = nodeAt(run.mesh.nodes, x[1]),
               c = nodeAt(run.mesh.nodes, x[2]);
    const Vec3 n = cross(b - a, c - a);
    bool facing = false;
    for (int32_t src : it->second) {
      const Vec3 p = nodeAt(m.coords, m.tris[3 * src]), q = nodeAt(m.coords, m.tris[3 * src + 1]),
                 r = nodeAt(m.coords, m.tris[3 * src + 2]);
      // Only a source whose own nodes follow the output order counts.
      const Vec3 sn = cross(q - p, r - p);
      if (dot(normalize(sn), normalize(n)) >= -1e-5f) facing = true;
    }
    EXPECT_TRUE(facing) << "triangle " << t << " faces against all its sources";
  }
  // Every status-0 node lies in its cell (its normalised point).
  for (size_t j = 0; j < run.keys.size(); ++j) {
    if (run.exported[1][j] != 0.0f || run.exported[2][j] < 1.0f) continue;  // count 0: unsolved
    EXPECT_TRUE(run.space.grid.contains(run.keys[j], run.points[j])) << "solved node " << j;
  }
}

TEST(HashUCHandler, InvariantsOnLargerMeshes) {
  std::unique_ptr<Object> dragon = load_ply(test::data_path("dragon_small.ply"));
  ASSERT_TRUE(dragon);
  dragon->refine();
  const Mesh meshes[] = {test::fromObject(*dragon), test::bumpyTorus(400, 150)};
  for (const Mesh& m : meshes)
    for (int32_t g : {24, 128, 600}) {
      SCOPED_TRACE("grid " + std::to_string(g));
      const HandlerRun run = runHandler(m, g);
      expectInvariants(m, run);
      const HandlerRun templ = runHandler<HashUC_T<QefAccInfo>>(m, g);
      EXPECT_EQ(run.keys, templ.keys);
      EXPECT_EQ(0, std::memcmp(run.mesh.nodes.data(), templ.mesh.nodes.data(),
                               run.mesh.nodes.size() * 4));
      EXPECT_EQ(run.mesh.triangles, templ.mesh.triangles);
      EXPECT_EQ(run.mesh.lines, templ.mesh.lines);
    }
}

// Small meshes with a known outcome.
struct EdgeCase {
  const char* name;
  Mesh mesh;
  int32_t grid;
  int32_t nodes, triangles, lines;  // -1: not checked
};

Mesh pointMesh() {
  Mesh m;
  for (int i = 0; i < 6; ++i) m.addNode(0.5f, -2.0f, 7.0f);
  m.tris = {0, 1, 2, 3, 4, 5, 0, 2, 4};
  return m;
}
// A strip of triangles two rows thick, much thinner than a cell.
Mesh strip() {
  Mesh m;
  for (int i = 0; i <= 40; ++i) {
    m.addNode(static_cast<float>(i), 0.0f, 0.0f);
    m.addNode(static_cast<float>(i), 0.001f, 0.0f);
  }
  for (int32_t i = 0; i < 40; ++i)
    m.tris.insert(m.tris.end(), {2 * i, 2 * i + 2, 2 * i + 1, 2 * i + 2, 2 * i + 3, 2 * i + 1});
  return m;
}
// Two triangles over the same three cells, the second turned the other way.
Mesh opposite() {
  Mesh m;
  m.addNode(0, 0, 0), m.addNode(10, 0, 0), m.addNode(0, 10, 0);
  m.addNode(0.1f, 0.1f, 0), m.addNode(10.1f, 0.1f, 0), m.addNode(0.1f, 10.1f, 0);
  m.tris = {0, 1, 2, 3, 5, 4};
  return m;
}

TEST(HashUCHandler, EdgeCases) {
  Mesh lonely = opposite();
  lonely.addNode(-50, 20, 5);  // used by no triangle
  const EdgeCase cases[] = {
      {"all nodes at one point", pointMesh(), 64, 1, 0, 0},
      {"grid size 1", test::loadMesh("bunny.ply"), 1, 1, 0, 0},
      {"every triangle survives", test::bumpyTorus(30, 12), 2048, 360, 720, 0},
      {"strip collapses to an edge chain", strip(), 7, 7, 0, 6},
      {"opposite triangles give one", opposite(), 16, 3, 1, 0},
      {"node used by no triangle", lonely, 16, 4, 1, 0},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const HandlerRun run = runHandler(c.mesh, c.grid);
    EXPECT_EQ(run.mesh.nodeCount(), c.nodes);
    EXPECT_EQ(run.mesh.triangleCount(), c.triangles);
    EXPECT_EQ(run.mesh.lineCount(), c.lines);
  }
}

TEST(HashUCHandler, EdgeCaseDetails) {
  {
    SCOPED_TRACE("opposite: the first source's orientation stays");
    const HandlerRun run = runHandler(opposite(), 16);
    ASSERT_EQ(run.mesh.triangleCount(), 1);
    const Vec3 a = nodeAt(run.mesh.nodes, run.mesh.triangles[0]),
               b = nodeAt(run.mesh.nodes, run.mesh.triangles[1]),
               c = nodeAt(run.mesh.nodes, run.mesh.triangles[2]);
    EXPECT_GT(cross(b - a, c - a).z, 0.0f);
  }
  {
    SCOPED_TRACE("unused node: its cell's node lies at the node itself");
    Mesh m = opposite();
    m.addNode(-50, 20, 5);
    const HandlerRun run = runHandler(m, 16);
    const uint64_t key = run.space.grid.key(run.space.normalisation.normalise(&m.coords[18]));
    const size_t j = std::find(run.keys.begin(), run.keys.end(), key) - run.keys.begin();
    ASSERT_LT(j, run.keys.size());
    EXPECT_EQ(nodeAt(run.mesh.nodes, static_cast<int32_t>(j)), Vec3(-50, 20, 5));
    for (int32_t v : run.mesh.triangles) EXPECT_NE(v, static_cast<int32_t>(j));
  }
  {
    SCOPED_TRACE("fine grid: the nodes stay where they were within a cell");
    const Mesh m = test::bumpyTorus(30, 12);
    const HandlerRun run = runHandler(m, 2048);
    for (size_t j = 0; j < run.keys.size(); ++j) EXPECT_EQ(run.exported[2][j] >= 1.0f, true);
  }
  {
    SCOPED_TRACE("strip: the lines form one chain from end to end");
    const HandlerRun run = runHandler(strip(), 7);
    std::map<int32_t, int> degree;
    for (int32_t v : run.mesh.lines) ++degree[v];
    int ends = 0;
    for (const auto& [v, d] : degree) ends += d == 1;
    EXPECT_EQ(ends, 2);
  }
}

// Averages of per-node values per cell, against a direct computation; the
// lowest float means "no value" for that node in every array of the pass.
TEST(HashUCHandler, InterpolateValuesAveragesPerCell) {
  const Mesh m = test::bumpyTorus(60, 20);
  const int32_t n = m.nodeCount();
  std::vector<std::vector<float>> fields(7, std::vector<float>(n));
  for (int32_t i = 0; i < n; ++i)
    for (int k = 0; k < 7; ++k) fields[k][i] = static_cast<float>((i * (k + 3)) % 101) * 0.25f;
  fields[2][5] = -3.4028235e38f;
  HashUC h;
  h.initialise(9, m.coords.data(), n, 3);
  h.submit(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3);
  h.solve();
  SimplifiedMesh out;
  h.output(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3, out);
  const std::vector<uint64_t>& keys = h.space().cellKeys;
  std::map<uint64_t, size_t> index;
  for (size_t j = 0; j < keys.size(); ++j) index[keys[j]] = j;

  const float* values[7];
  int32_t strides[7] = {1, 1, 1, 1, 1, 1, 1};
  for (int k = 0; k < 7; ++k) values[k] = fields[k].data();
  h.resetCells();
  std::vector<std::vector<float>> got;
  int32_t length = 0;
  h.interpolateValues(m.coords.data(), n, 3, values, strides, 6, got, length);
  ASSERT_EQ(got.size(), 6u);
  ASSERT_EQ(length, static_cast<int32_t>(keys.size()));
  // Expected: sums in node order, each field with its own count; node 5
  // is left out of field 2 only.
  std::vector<std::array<float, 12>> sums(keys.size(), std::array<float, 12>{});
  for (int32_t i = 0; i < n; ++i) {
    const size_t j =
        index.at(h.space().grid.key(h.space().normalisation.normalise(&m.coords[3 * i])));
    for (int k = 0; k < 6; ++k) {
      if (k == 2 && i == 5) continue;
      sums[j][k] += fields[k][i];
      sums[j][6 + k] += 1.0f;
    }
  }
  for (size_t j = 0; j < keys.size(); ++j)
    for (int k = 0; k < 6; ++k) EXPECT_EQ(got[k][j], sums[j][k] / sums[j][6 + k]) << j << " " << k;

  // One array alone (node 5 now counts) equals its own average.
  h.resetCells();
  std::vector<float> one;
  h.interpolateValue(m.coords.data(), n, 3, values[6], 1, one, length);
  ASSERT_EQ(one.size(), keys.size());
  std::vector<std::array<float, 2>> s1(keys.size(), std::array<float, 2>{});
  for (int32_t i = 0; i < n; ++i) {
    const size_t j =
        index.at(h.space().grid.key(h.space().normalisation.normalise(&m.coords[3 * i])));
    s1[j][0] += fields[6][i];
    s1[j][1] += 1.0f;
  }
  for (size_t j = 0; j < keys.size(); ++j) EXPECT_EQ(one[j], s1[j][0] / s1[j][1]);
}

TEST(HashUCHandler, MemoryReportAndRelease) {
  const Mesh m = test::loadMesh("bunny.ply");
  HashUC h;
  EXPECT_EQ(h.memoryBytes(), 160u);
  h.initialise(32, m.coords.data(), m.nodeCount(), 3);
  ASSERT_TRUE(h.table());
  const uint64_t buckets = h.table()->bucketCount();
  EXPECT_EQ(h.memoryBytes(), 160 + 40 + 36686 * buckets + 8 * h.space().cellKeys.size());
  h.releaseCells();
  EXPECT_EQ(h.memoryBytes(), 160u);
  // Without a table nothing is produced.
  SimplifiedMesh out;
  h.submit(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3);
  EXPECT_EQ(h.solve(), 0);
  h.output(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3, out);
  EXPECT_EQ(out.nodeCount(), 0);
}

// A triangle naming a node that does not exist fails the run with one
// message instead of reading outside the node array.
TEST(HashUCHandler, TriangleWithUnknownNodeFailsTheRun) {
  Mesh m = opposite();
  m.tris.insert(m.tris.end(), {0, 1, 99});
  test::MessageCapture capture;
  const HandlerRun run = runHandler(m, 16);
  EXPECT_EQ(run.mesh.nodeCount(), 0);
  EXPECT_EQ(run.mesh.triangleCount(), 0);
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_NE(capture.messages()[0].find("triangle 2 refers to a node"), std::string::npos);
}

}  // namespace
}  // namespace Tavrin
