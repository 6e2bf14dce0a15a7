// simplify_octree: reuse of the octree, the two extreme maximum
// errors against an independent cell count, the error fields, restoration of
// the original, thread-count independence, and the tavrin-octree program.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <set>
#include <tuple>

#include "hashuc/grid.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "octree/simplify_octree.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

using test::MessageCapture;

std::unique_ptr<Object> load(const char* name) {
  MessageCapture quiet;
  return load_ply(test::data_path(name));
}

struct Outcome {
  std::unique_ptr<Object> result;
  std::string text;
};

Outcome simplify(Object& o, float max_error) {
  MessageCapture capture;
  Outcome r;
  r.result = simplify_octree(o, max_error);
  r.text = capture.text();
  return r;
}

void expect_same_mesh(const Object& a, const Object& b) {
  ASSERT_EQ(a.num_nodes(), b.num_nodes());
  ASSERT_EQ(a.num_triangles(), b.num_triangles());
  ASSERT_EQ(a.num_lines(), b.num_lines());
  EXPECT_EQ(std::memcmp(a.nodes.data(), b.nodes.data(), a.nodes.size() * sizeof(Vec3)), 0);
  for (int32_t i = 0; i < a.num_triangles(); ++i) {
    const TriangleRecord &x = a.triangles[i], &y = b.triangles[i];
    ASSERT_EQ(std::tie(x.a, x.b, x.c, x.tag), std::tie(y.a, y.b, y.c, y.tag)) << i;
  }
  for (int32_t i = 0; i < a.num_lines(); ++i)
    ASSERT_EQ(std::tie(a.lines[i].a, a.lines[i].b), std::tie(b.lines[i].a, b.lines[i].b)) << i;
}

// Distinct cells of n per axis holding a node used by a triangle, computed
// from scratch on the normalised nodes.
size_t used_cells(const Object& o, int32_t n) {
  NormalizationBox nb;
  nb.compute(boundingBox(reinterpret_cast<const float*>(o.nodes.data()), o.num_nodes(), 3));
  std::vector<Vec3> q(o.nodes.size());
  for (size_t i = 0; i < q.size(); ++i) q[i] = nb.normalise(o.nodes[i]);
  ClusterGrid grid;
  grid.setUp(boundingBox(reinterpret_cast<const float*>(q.data()), o.num_nodes(), 3), n, n, n, 0);
  std::set<uint64_t> cells;
  for (const TriangleRecord& t : o.triangles)
    for (int32_t v : {t.a, t.b, t.c}) cells.insert(grid.key(q[v]));
  return cells.size();
}

TEST(OctreeSimplify, SecondRunReusesOctreeAndMatchesFreshObject) {
  auto first = load("dragon_small.ply");
  ASSERT_TRUE(first);
  Outcome a = simplify(*first, 1e-4f);
  ASSERT_TRUE(a.result);
  EXPECT_NE(a.text.find("     + data keys : "), std::string::npos);
  Outcome b = simplify(*first, 1e-3f);
  ASSERT_TRUE(b.result);
  for (const char* zero : {"create data level: 0\n", "create quadratic : 0\n",
                           "find best pos    : 0\n", " + ini: 0\n + p1: 0\n"})
    EXPECT_NE(b.text.find(zero), std::string::npos) << zero;
  EXPECT_EQ(b.text.find("+ data keys"), std::string::npos);
  EXPECT_LT(b.result->num_nodes(), a.result->num_nodes());

  auto fresh = load("dragon_small.ply");
  Outcome c = simplify(*fresh, 1e-3f);
  ASSERT_TRUE(c.result);
  expect_same_mesh(*b.result, *c.result);
  for (const char* line :
       {"Octree:1 initialization ...\n", "Octree:1 creating ...\n", "Octree:1 Decimate mesh ...\n",
        "Max error = 0,001 - v: ", "Octree memory footprint = ", "TOTAL            : "})
    EXPECT_NE(c.text.find(line), std::string::npos) << line;
}

TEST(OctreeSimplify, ExtremeErrorsUseFinestAndCoarsestCells) {
  auto o = load("bunny.ply");
  ASSERT_TRUE(o);
  Outcome tiny = simplify(*o, 1e-12f);
  ASSERT_TRUE(tiny.result);
  EXPECT_EQ(static_cast<size_t>(tiny.result->num_nodes()), used_cells(*o, 2048));
  Outcome huge = simplify(*o, 1e6f);
  ASSERT_TRUE(huge.result);
  EXPECT_EQ(static_cast<size_t>(huge.result->num_nodes()), used_cells(*o, 64));
  // Result coordinates are back in object units, inside the object's box.
  for (const Vec3& p : huge.result->nodes)
    for (int k = 0; k < 3; ++k) {
      EXPECT_GE(p[k], o->bbox_min[k] - 1e-3f);
      EXPECT_LE(p[k], o->bbox_max[k] + 1e-3f);
    }
}

TEST(OctreeSimplify, ErrorFieldsAndRestoredOriginal) {
  auto o = load("bunny.ply");
  ASSERT_TRUE(o);
  const std::vector<Vec3> nodes = o->nodes;
  const Vec3 lo = o->bbox_min, hi = o->bbox_max;
  const size_t scalars = o->scalars.size();
  for (float e : {1e6f, 0.02f}) {
    Outcome r = simplify(*o, e);
    ASSERT_TRUE(r.result);
    EXPECT_EQ(std::memcmp(o->nodes.data(), nodes.data(), nodes.size() * sizeof(Vec3)), 0);
    EXPECT_TRUE(o->bbox_min == lo && o->bbox_max == hi);
  }
  ASSERT_EQ(o->scalars.size(), scalars + 4);
  const char* names[] = {"error qef", "error dist", "error qef", "error dist"};
  const double steps[] = {1e6f, 1e6f, 0.02f, 0.02f};
  for (size_t i = 0; i < 4; ++i) {
    const Scalar& s = o->scalars[scalars + i];
    EXPECT_EQ(s.name, names[i]);
    EXPECT_EQ(s.step, steps[i]);
    ASSERT_EQ(s.values.size(), nodes.size());
  }
  // With a huge error every node sits in its 64-per-axis cell, whose
  // position lies in the cell: the distance is at most a cell diagonal of
  // the side-2 normalised cube.
  const float diagonal = std::sqrt(3.0f) * 2.0f / 64.0f * 1.001f;
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_LE(o->scalars[scalars + 1].values[i], diagonal);
    EXPECT_LE(o->scalars[scalars + 2].values[i], 0.02f);
  }

  // No triangles: nothing comes back, the original is restored all the same.
  Object loose;
  const Vec3 points[] = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {0, 0, 3}};
  const LineRecord line{0, 1, 0};
  loose.build_from_records(4, 1, 0, points, &line, nullptr);
  const Vec3 llo = loose.bbox_min, lhi = loose.bbox_max;
  Outcome none = simplify(loose, 0.1f);
  EXPECT_FALSE(none.result);
  EXPECT_NE(none.text.find("Octree memory footprint"), std::string::npos);
  EXPECT_EQ(std::memcmp(loose.nodes.data(), points, sizeof points), 0);
  EXPECT_TRUE(loose.bbox_min == llo && loose.bbox_max == lhi);
  EXPECT_EQ(loose.scalars.size(), 2u);

  Object empty;
  EXPECT_FALSE(simplify(empty, 0.1f).result);
}

TEST(OctreeSimplify, SameResultForOneTwoAndFourThreads) {
  const int saved = omp_get_max_threads();
  for (float e : {2e-5f, 1e-4f}) {
    SCOPED_TRACE(e);
    std::unique_ptr<Object> reference;
    std::vector<Scalar> reference_fields;
    for (int threads : {1, 2, 4}) {
      omp_set_num_threads(threads);
      auto o = load("dragon_small.ply");
      Outcome r = simplify(*o, e);
      ASSERT_TRUE(r.result);
      if (!reference) {
        reference = std::move(r.result);
        reference_fields = o->scalars;
        continue;
      }
      expect_same_mesh(*reference, *r.result);
      ASSERT_EQ(o->scalars.size(), reference_fields.size());
      for (size_t i = 0; i < reference_fields.size(); ++i)
        EXPECT_TRUE(o->scalars[i].values == reference_fields[i].values);
    }
  }
  omp_set_num_threads(saved);
}

TEST(OctreeProgram, EndToEnd) {
  const std::string dir = test::temp_dir("octree");
  const std::string program = test::binary_path("tavrin-octree");
  const std::string mesh = dir + "/bunny.ply";
  ASSERT_EQ(test::run_command("cp " + test::data_path("bunny.ply") + " " + mesh).status, 0);

  test::RunResult ok = test::run_command(program + " " + mesh + " 0.02", "OMP_NUM_THREADS=2");
  EXPECT_EQ(ok.status, 0) << ok.output;
  EXPECT_NE(ok.output.find("Octree:1 creating ...\n"), std::string::npos);
  EXPECT_NE(ok.output.find("Octree memory footprint = "), std::string::npos);
  EXPECT_TRUE(test::file_exists(dir + "/bunny_octree_0.02.msh"));

  test::RunResult ply = test::run_command(program + " " + mesh + " 0.02 " + dir + "/out.ply");
  EXPECT_EQ(ply.status, 0) << ply.output;
  EXPECT_TRUE(test::file_exists(dir + "/out.ply"));

  const std::string failing[] = {
      program,
      program + " " + mesh,
      program + " " + mesh + " 0.1 a.msh extra",
      program + " " + mesh + " abc",
      program + " " + mesh + " 0",
      program + " " + mesh + " -1",
      program + " " + mesh + " inf",
      program + " " + mesh + " nan",
      program + " " + mesh + " 0.1x",
      program + " " + dir + "/missing.ply 0.1",
      program + " " + mesh + " 0.1 " + dir + "/no_such_dir/out.msh",
  };
  for (const std::string& command : failing) {
    test::RunResult r = test::run_command(command);
    EXPECT_NE(r.status, 0) << command << "\n" << r.output;
    EXPECT_FALSE(r.output.empty()) << command;
  }
}

}  // namespace
}  // namespace Tavrin
