// Times HASH_UC on a large mesh (the small dragon refined four times, about
// 12 million triangles) for several grid sizes and thread counts: the phase
// times, the memory report of the handler, the peak resident size and the
// throughput in million input triangles per second of the simplification.
// Also measures what the reproducible accumulation (node map, then every
// thread summing the corners of its own slots in triangle order) costs against a plain accumulation
// under the slot locks in thread order: the locked pass is the same code in every version, so it
// doubles as a baseline measured in the same run. The mesh is cached under /tmp (see big_mesh.h).
//
// Usage: bench_hashuc [mesh.ply] [refinements]

#include <omp.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/messages.h"
#include "base/timer.h"
#include "bench/big_mesh.h"
#include "hashuc/cluster_pipeline.h"
#include "hashuc/handler_factory.h"
#include "hashuc/hash_uc.h"
#include "tables/random_streams.h"

using namespace Tavrin;

namespace {

double now() { return omp_get_wtime(); }

long peak_rss_mb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Accumulation under the slot locks, in whatever order the threads arrive.
void locked_accumulation(TwoLevelCuckooTable<QefRecord>& table, const ClusterSpace& space,
                         const TriangleInput& in, float eps) {
  const NormalizationBox& nb = space.normalisation;
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < in.count; ++i) {
    Vec3 q[3];
    int64_t s[3];
    for (int c = 0; c < 3; ++c) {
      q[c] = nb.normalise(in.position(in.node(i, c)));
      s[c] = table.find_index(space.grid.key(q[c]));
    }
    const PlaneQuadric pq = trianglePlaneQuadric(q[0], q[1], q[2], eps);
    for (int c = 0; c < 3; ++c) {
      if (s[c] < 0) continue;
      SpinGuard guard(table.lock(s[c]));
      addCorner(table.slot(s[c]).rec, pq, q[c]);
    }
  }
}

void compare_accumulation(const Object& o, int32_t grid) {
  const float* coords = reinterpret_cast<const float*>(o.nodes.data());
  ClusterSpace space;
  space.setUpGrid(grid, coords, o.num_nodes(), 3, 0);
  collectOccupiedCells(space, coords, o.num_nodes(), 3);
  TwoLevelCuckooTable<QefRecord> table;
  if (!table.build(space.cellKeys.data(), static_cast<uint32_t>(space.cellKeys.size()),
                   handler_random()))
    return;
  TriangleInput in;
  in.coords = coords;
  in.triangles = reinterpret_cast<const int32_t*>(o.triangles.data());
  in.count = o.num_triangles();
  in.stride = 4;
  const auto fold = QefPolicy<QefRecord>::fold(space);

  double t0 = now();
  NodeSlots map;
  mapNodesToSlots(
      table, space.normalisation, [&](const Vec3& q, int64_t) { return space.grid.key(q); }, coords,
      o.num_nodes(), 3, map);
  double t1 = now();
  int64_t bad = -1;
  accumulateTriangles(table, space.normalisation, map, in, fold, bad);
  double t3 = now();
  clearRecords(table);
  double t4 = now();
  locked_accumulation(table, space, in, fold.eps);
  double t5 = now();
  std::printf(
      "  accumulate grid %4d: reproducible %.3f s (node map %.3f, sums %.3f)   locked %.3f s\n",
      grid, t3 - t0, t1 - t0, t3 - t1, t5 - t4);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "tests/data/dragon_small.ply";
  const int refinements = argc > 2 ? std::atoi(argv[2]) : 4;
  set_message_sink([](MessageRoute, const std::string&) {});
  std::unique_ptr<Object> o = load_big_mesh(path, refinements);
  if (!o) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const float* coords = reinterpret_cast<const float*>(o->nodes.data());
  const int32_t* tris = reinterpret_cast<const int32_t*>(o->triangles.data());
  const double m = o->num_triangles();
  std::printf("mesh: %d nodes, %d triangles\n", o->num_nodes(), o->num_triangles());
  std::printf(
      "thr  grid   create  submit optimal simplify   t_simp  Mtri/s    nodes   memory MB  peakRSS "
      "MB\n");
  for (int threads : {1, 2}) {
    omp_set_num_threads(threads);
    for (int32_t grid : {64, 128, 256, 512, 1024}) {
      Timer total;
      double t0 = now();
      std::unique_ptr<HandlerInterface> h = create_handler(grid, HASH_UC, coords, o->num_nodes());
      SimplifiedMesh mesh;
      ExtraOutputs extra;
      run_handler(h.get(), coords, o->num_nodes(), tris, o->num_triangles(), 4, QefInputs{}, mesh,
                  extra);
      const double t_simp = now() - t0;
      const uint64_t memory = h ? h->memoryBytes() : 0;
      const PhaseTimes p = delete_handler(h);
      std::printf("%3d %5d %8.3f %7.3f %7.3f %8.3f %8.3f %7.2f %8d %11.1f %11ld\n", threads, grid,
                  p.create, p.submit, p.optimal, p.simplify, t_simp, m / t_simp / 1e6,
                  mesh.nodeCount(), memory / 1048576.0, peak_rss_mb());
    }
  }
  std::printf("reproducible vs locked accumulation (2 threads):\n");
  omp_set_num_threads(2);
  for (int32_t grid : {64, 256, 1024}) compare_accumulation(*o, grid);
  return 0;
}
