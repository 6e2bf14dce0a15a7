// Octree simplifier on a mesh of more than ten million triangles (the small
// dragon refined four times) with two threads: the first decimation builds
// the octree, the second, with another maximum error, must cost only the
// decimation. A plain pass over the triangles gives a baseline measured in
// the same run.

#include <omp.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/messages.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "octree/simplify_octree.h"

using namespace Tavrin;

namespace {

// Gathers the nine corner coordinates of every triangle: the memory traffic
// any per-triangle pass pays.
double baseline_pass(const Object& o) {
  const double t0 = omp_get_wtime();
  double sum = 0.0;
  const int32_t T = o.num_triangles();
#pragma omp parallel for schedule(static) reduction(+ : sum)
  for (int32_t i = 0; i < T; ++i) {
    const TriangleRecord& t = o.triangles[i];
    sum += o.nodes[t.a].x + o.nodes[t.b].y + o.nodes[t.c].z;
  }
  const double elapsed = omp_get_wtime() - t0;
  if (sum == 12345.678) std::printf(" ");
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  // The test mesh beside this source file unless a path is given.
  std::string here = __FILE__;
  here = here.substr(0, here.find_last_of('/') + 1);
  const std::string path = argc > 1 ? argv[1] : here + "../tests/data/dragon_small.ply";
  omp_set_num_threads(2);
  std::unique_ptr<Object> mesh = load_ply(path);
  if (!mesh) return 1;
  for (int i = 0; i < 4; ++i) mesh->refine();
  std::printf("mesh: %d nodes, %d triangles, 2 threads\n", mesh->num_nodes(),
              mesh->num_triangles());
  const double base = baseline_pass(*mesh);
  std::printf("baseline triangle pass: %.3f s\n", base);

  const float errors[2] = {1e-4f, 1e-3f};
  for (float e : errors) {
    std::printf("---- max error %g ----\n", static_cast<double>(e));
    std::fflush(stdout);
    const double t0 = omp_get_wtime();
    std::unique_ptr<Object> result = simplify_octree(*mesh, e);
    const double t = omp_get_wtime() - t0;
    if (!result) return 1;
    std::printf(
        "octree max error %g: %d -> %d triangles in %.3f s (%.1f Mtri/s, %.1f x baseline)\n",
        static_cast<double>(e), mesh->num_triangles(), result->num_triangles(), t,
        mesh->num_triangles() / t * 1e-6, t / base);
  }
  return 0;
}
