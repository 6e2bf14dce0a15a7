// The grid searches against one simplification at the grid they choose:
//   bench_grid_search MESH.ply [--triangles N] [--max-error E] [--runs R]
// (default a budget of a tenth of the input's triangles, 3 runs). Times the
// search (median of R) and then one simplification at the chosen grid
// (median of R), both in this process with the messages dropped, and prints
// the search's probes (count passes or quiet runs) and the ratio of the
// times; the budget search's target is 1.3 at most.
#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/grid_request.h"
#include "base/messages.h"
#include "io/ply_reader.h"
#include "simplify/driver.h"
#include "simplify/run_result.h"
#include "simplify/search_sources.h"

using namespace Tavrin;

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s MESH.ply [--triangles N] [--max-error E] [--runs R]\n",
                 argv[0]);
    return 2;
  }
  GridRequest request;
  bool given = false;
  int runs = 3;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) {
      runs = std::max(1, std::atoi(argv[i + 1]));
      continue;
    }
    const std::optional<GridRequest> r = parse_grid_request(argv[i], argv[i + 1]);
    if (!r) return 2;
    request = *r;
    given = true;
  }
  std::unique_ptr<Object> mesh;
  without_messages([&] { mesh = load_ply(argv[1]); });
  if (!mesh) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  if (!given) request.triangles = std::max<int64_t>(1, mesh->num_triangles() / 10);
  const SimplifyOptions options{0, HASH_UC, 0.0f};
  std::printf("%s: %d nodes, %d triangles, %d threads\n", argv[1], mesh->num_nodes(),
              mesh->num_triangles(), omp_get_max_threads());

  std::vector<double> search_times, run_times;
  std::optional<int32_t> grid;
  int probes = 0;  // of the last search: one sweep per count, one run per error
  for (int r = 0; r < runs; ++r) {
    SearchSource source = object_search_source(*mesh, options);
    probes = 0;
    source.sweep = [&probes, sweep = source.sweep](const TriangleBlock& block) {
      ++probes;
      return sweep(block);
    };
    source.error_at = [&probes, error_at = source.error_at](int32_t g) {
      ++probes;
      return error_at(g);
    };
    const double t0 = omp_get_wtime();
    without_messages([&] {
      const OneThreadForSmallMeshes threads(mesh->num_triangles());
      grid = choose_grid(request, source, true);
    });
    search_times.push_back(omp_get_wtime() - t0);
  }
  if (!grid) {
    std::fprintf(stderr, "the search failed\n");
    return 1;
  }
  int triangles = 0;
  for (int r = 0; r < runs; ++r) {
    const double t0 = omp_get_wtime();
    without_messages([&] {
      std::unique_ptr<Object> result = simplify_object(mesh.get(), {*grid, HASH_UC, 0.0f});
      triangles = result ? result->num_triangles() : 0;
    });
    run_times.push_back(omp_get_wtime() - t0);
  }
  const double search = median(search_times), run = median(run_times);
  if (request.kind == GridRequest::Kind::Triangles)
    std::printf("budget %lld triangles: grid %d, %d triangles\n",
                static_cast<long long>(request.triangles), *grid, triangles);
  else
    std::printf("error bound %g: grid %d, %d triangles\n", request.max_error, *grid, triangles);
  std::printf("%d probes\n", probes);
  std::printf("search %.3f s, one simplification at grid %d %.3f s, ratio %.2f%s\n", search, *grid,
              run, search / run,
              request.kind == GridRequest::Kind::Triangles ? " (target 1.3 at most)" : "");
  return 0;
}
