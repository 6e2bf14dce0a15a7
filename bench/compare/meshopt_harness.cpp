// `meshopt_harness IN.ply TARGET_TRIANGLES OUT.ply`: simplifies with
// meshopt_simplifySloppy towards TARGET_TRIANGLES (no error bound), timing the
// call alone, and writes the result with its used vertices as a binary PLY.
#include <meshoptimizer.h>
#include <omp.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "io/ply_reader.h"
#include "io/ply_writer.h"

using namespace Tavrin;

static double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s IN.ply TARGET_TRIANGLES OUT.ply\n", argv[0]);
    return 2;
  }
  PlyData in;
  if (!read_ply(argv[1], in)) {
    std::fprintf(stderr, "meshopt_harness: %s\n", in.error.c_str());
    return 1;
  }
  const size_t target = static_cast<size_t>(std::atoll(argv[2])) * 3;
  std::vector<unsigned int> indices(in.triangles.begin(), in.triangles.end());
  std::vector<unsigned int> out(indices.size());
  float result_error = 0.0f;
  const double w0 = omp_get_wtime(), c0 = cpu_seconds();
  const size_t count = meshopt_simplifySloppy(
      out.data(), indices.data(), indices.size(), in.coordinates.data(),
      static_cast<size_t>(in.num_nodes), 3 * sizeof(float), target, 1e30f, &result_error);
  const double wall = omp_get_wtime() - w0, cpu = cpu_seconds() - c0;

  // Keep the vertices the triangles use, in first-use order.
  std::vector<int32_t> remap(static_cast<size_t>(in.num_nodes), -1);
  std::vector<Vec3> nodes;
  std::vector<TriangleRecord> triangles(count / 3);
  for (size_t i = 0; i < count; ++i) {
    int32_t& r = remap[out[i]];
    if (r < 0) {
      r = static_cast<int32_t>(nodes.size());
      const float* p = &in.coordinates[3 * static_cast<size_t>(out[i])];
      nodes.emplace_back(p[0], p[1], p[2]);
    }
    int32_t* t = &triangles[i / 3].a;
    t[i % 3] = r;
  }
  const int32_t nv = static_cast<int32_t>(nodes.size()),
                nt = static_cast<int32_t>(triangles.size());
  if (nt > 0 && write_ply(argv[3], "meshopt", nv, nodes.data(), nt, triangles.data(), {}) != nt) {
    std::fprintf(stderr, "meshopt_harness: could not write %s\n", argv[3]);
    return 1;
  }
  std::printf("RESULT t_call=%.6f cpu_call=%.6f v=%d t=%d\n", wall, cpu, nv, nt);
  return 0;
}
