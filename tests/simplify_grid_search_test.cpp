// The grid searches against exhaustive scans of every grid from 2 to 2048,
// the key count against the triangles a real run outputs, and the error
// measure on a case worked out by hand.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/ply_reader.h"
#include "simplify/driver.h"
#include "simplify/grid_search.h"
#include "simplify/key_triangle_count.h"
#include "simplify/search_sources.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

std::unique_ptr<Object> mesh(const std::string& name) {
  test::MessageCapture quiet;
  return load_ply(test::data_path(name));
}

int64_t key_count(const Object& o, int32_t grid) {
  KeyTriangleCount count(reinterpret_cast<const float*>(o.nodes.data()), o.num_nodes());
  EXPECT_TRUE(count.setGrid(grid));
  EXPECT_TRUE(
      count.add(reinterpret_cast<const int32_t*>(o.triangles.data()), o.num_triangles(), 4));
  return count.triangles();
}

const char* const kMeshes[] = {"teapot.ply", "bunny.ply", "dragon_small.ply"};

TEST(KeyTriangleCount, EqualsTheTrianglesOfARealRun) {
  for (const char* name : kMeshes) {
    std::unique_ptr<Object> o = mesh(name);
    ASSERT_TRUE(o) << name;
    for (int32_t grid : {2, 3, 7, 16, 33, 100, 257, 1000, 2048})
      for (simp_type type : {HASH_UC, HASH_UC_SCALAR}) {
        test::MessageCapture quiet;
        std::unique_ptr<Object> r = simplify_object(o.get(), grid, type);
        ASSERT_TRUE(r) << name << " " << grid;
        EXPECT_EQ(key_count(*o, grid), r->num_triangles()) << name << " grid " << grid;
      }
  }
}

// What an exhaustive scan chooses: the most triangles not above the budget,
// else the fewest; the finest of equals.
int32_t scan_budget(const std::map<int32_t, int64_t>& counts, int64_t budget) {
  int32_t best = -1;
  for (const auto& [grid, count] : counts)
    if (count <= budget && (best < 0 || count >= counts.at(best))) best = grid;
  if (best >= 0) return best;
  for (const auto& [grid, count] : counts)
    if (best < 0 || count <= counts.at(best)) best = grid;
  return best;
}

TEST(GridSearch, BudgetAgainstAnExhaustiveScan) {
  for (const char* name : kMeshes) {
    std::unique_ptr<Object> o = mesh(name);
    ASSERT_TRUE(o) << name;
    std::map<int32_t, int64_t> counts;
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);  // thousands of small passes: no fork per pass
    for (int32_t g = kCoarsestSearchGrid; g <= kFinestSearchGrid; ++g) counts[g] = key_count(*o, g);
    omp_set_num_threads(threads);
    const TriangleProbe probe = [&](int32_t g) -> std::optional<int64_t> { return counts.at(g); };
    const int64_t lo = counts.at(kCoarsestSearchGrid), hi = counts.at(kFinestSearchGrid);
    std::vector<int64_t> budgets;
    // Ten points of the range, off the exact counts by -1, 0 or 1.
    for (int k = 0; k < 10; ++k) budgets.push_back(lo + (hi - lo) * k / 10 + (k % 3) - 1);
    budgets.push_back(lo - 1);                  // below the coarsest grid's count
    budgets.push_back(o->num_triangles() + 1);  // above the input's count
    for (int64_t budget : budgets) {
      const std::optional<GridChoice> c = search_triangle_budget(probe, budget, o->num_triangles());
      ASSERT_TRUE(c);
      EXPECT_EQ(c->grid, scan_budget(counts, budget)) << name << " budget " << budget;
      EXPECT_EQ(c->triangles, counts.at(c->grid));
      if (budget < lo) {
        EXPECT_EQ(c->outcome, SearchOutcome::NoneMeets);
      } else if (budget > o->num_triangles()) {
        EXPECT_EQ(c->outcome, SearchOutcome::InputReached);
      } else {
        EXPECT_EQ(c->outcome, SearchOutcome::Met);
      }
    }
  }
}

TEST(GridSearch, ErrorBoundAgainstAnExhaustiveScan) {
  for (const char* name : kMeshes) {
    std::unique_ptr<Object> o = mesh(name);
    ASSERT_TRUE(o) << name;
    const SearchSource source = object_search_source(*o, SimplifyOptions{0, HASH_UC, 0.0f});
    // Measured once per grid, when the search or the scan first asks.
    std::map<int32_t, double> errors;
    const ErrorProbe probe = [&](int32_t g) -> std::optional<double> {
      auto it = errors.find(g);
      if (it == errors.end()) {
        const std::optional<double> e = source.error_at(g);
        if (!e) return std::nullopt;
        it = errors.emplace(g, *e).first;
      }
      return it->second;
    };
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);  // hundreds of small runs: no fork per run
    const double coarse = *probe(kCoarsestSearchGrid);
    // Ten bounds from the coarsest grid's error down a thousandfold.
    std::vector<double> bounds;
    for (int k = 0; k < 10; ++k) bounds.push_back(coarse * std::pow(1e-3, k / 9.0));
    if (std::string(name) == "teapot.ply") {
      // Below every grid's error, which no grid meets (the whole table is
      // cheap on the smallest mesh).
      double least = coarse;
      for (int32_t g = kCoarsestSearchGrid; g <= kFinestSearchGrid; ++g)
        least = std::min(least, *probe(g));
      bounds.push_back(least / 2.0);
    }
    for (double bound : bounds) {
      int32_t scan = kCoarsestSearchGrid;
      while (scan <= kFinestSearchGrid && *probe(scan) > bound) ++scan;
      const std::optional<GridChoice> c = search_error_bound(probe, bound);
      ASSERT_TRUE(c);
      if (scan > kFinestSearchGrid) {
        EXPECT_EQ(c->outcome, SearchOutcome::NoneMeets);
        EXPECT_EQ(c->grid, kFinestSearchGrid);
      } else {
        EXPECT_EQ(c->outcome, SearchOutcome::Met);
        EXPECT_EQ(c->grid, scan) << name << " bound " << bound;
      }
      EXPECT_EQ(c->error, errors.at(c->grid));
    }
    omp_set_num_threads(threads);
  }
}

// A flat square of four nodes, two triangles, on a grid whose cells hold one
// node each but one that holds two: every plane is z = 0, so every output
// node on the plane has no plane error, while the node measure sees the two
// merged nodes at half their distance from their mean.
TEST(ResultError, WorkedOutOnAFlatMesh) {
  Object o;
  const float nodes[] = {0, 0, 0, 4, 0, 0, 0, 4, 0, 4, 4, 0, 1, 0, 0};
  const int32_t tris[] = {0, 4, 2, 4, 1, 3, 4, 3, 2};
  o.build(5, 0, 3, 0, nodes, nullptr, tris, nullptr, nullptr, nullptr);
  for (simp_type type : {HASH_UC, HASH_UC_ACC}) {
    test::MessageCapture quiet;
    RunFigures figures;
    ASSERT_TRUE(simplify_object(&o, SimplifyOptions{2, type, 0.0f}, &figures));
    const ResultError& e = figures.error;
    ASSERT_TRUE(e.measured);
    if (type == HASH_UC) {
      EXPECT_EQ(e.max, 0.0);
      EXPECT_EQ(e.rms, 0.0);
    } else {
      // Nodes 0 and 4 share a cell whose point is the mean of its corners,
      // node 0 counted once and node 4 three times: (0.75, 0, 0). The
      // diagonal is sqrt(32); the three other cells have no error.
      const double d = std::sqrt(32.0), cell = (0.75 * 0.75 + 0.25 * 0.25) / 2.0;
      EXPECT_NEAR(e.max, std::sqrt(cell) / d, 1e-7);
      EXPECT_NEAR(e.rms, std::sqrt(cell / 4.0) / d, 1e-7);
    }
  }
}

TEST(ResultError, SameFiguresForAnyThreadCount) {
  std::unique_ptr<Object> o = mesh("dragon_small.ply");
  ASSERT_TRUE(o);
  const int threads = omp_get_max_threads();
  for (simp_type type : {HASH_UC, HASH_UC_ACC, HASH_UC_ADAPT_NORMAL}) {
    std::vector<ResultError> seen;
    for (int n : {1, 2, 4}) {
      omp_set_num_threads(n);
      test::MessageCapture quiet;
      RunFigures figures;
      ASSERT_TRUE(simplify_object(o.get(), SimplifyOptions{50, type, 0.0f}, &figures));
      seen.push_back(figures.error);
    }
    omp_set_num_threads(threads);
    for (const ResultError& e : seen) {
      EXPECT_EQ(e.max, seen[0].max);
      EXPECT_EQ(e.rms, seen[0].rms);
    }
    EXPECT_GT(seen[0].max, seen[0].rms);
    EXPECT_GT(seen[0].rms, 0.0);
  }
}

}  // namespace
}  // namespace Tavrin
