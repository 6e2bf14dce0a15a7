// Times the library call tavrin::simplify on one PLY mesh, as a user of the
// installed header makes it, and prints the median of several runs; the
// Python module's overhead over this call is measured by
// bench/python_overhead.py, which runs this program beside the module.
//
// Usage: bench_api mesh.ply [grid] [type] [repeats] [threads]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tavrin/tavrin.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_api mesh.ply [grid] [type] [repeats] [threads]\n");
    return 2;
  }
  tavrin::SimplifyRequest request;
  request.grid = argc > 2 ? std::atoll(argv[2]) : 256;
  request.type = argc > 3 ? argv[3] : "HASH_UC";
  const int repeats = argc > 4 ? std::atoi(argv[4]) : 5;
  request.threads = argc > 5 ? std::atoi(argv[5]) : 0;
  tavrin::Result in = tavrin::read_ply(argv[1]);
  if (!in.ok()) {
    std::fprintf(stderr, "%s\n", in.error.c_str());
    return 1;
  }
  std::vector<tavrin::FieldView> fields;
  const tavrin::MeshView view = in.mesh.view(fields);
  // One untimed call first: the timed ones find the threads started and the
  // allocator warm, as the calls of a long-running program do.
  (void)tavrin::simplify(view, request);
  std::vector<double> seconds;
  size_t triangles = 0;
  for (int r = 0; r < repeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    tavrin::Result out = tavrin::simplify(view, request);
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!out.ok()) {
      std::fprintf(stderr, "%s\n", out.error.c_str());
      return 1;
    }
    triangles = out.mesh.triangle_count();
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("C++ %s grid %lld: %zu -> %zu triangles, median %.4f s of %d runs\n",
              request.type.c_str(), static_cast<long long>(request.grid), view.triangle_count,
              triangles, seconds[seconds.size() / 2], repeats);
  return 0;
}
