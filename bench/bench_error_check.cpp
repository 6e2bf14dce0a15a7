// Checks the stated error of a result against a sampled surface distance:
//   bench_error_check MESH.ply ... [--grids 8,16,...] [--samples N]
// (default grids 8 to 256, 200000 samples). For every mesh, type and grid it simplifies once and
// compares the stated maximum with the largest distance from the input to the output surface, taken
// at the input nodes and at area-uniform samples of the input surface, both relative to the input's
// diagonal. Prints every case and the largest ratio of measured to stated maximum: the factor by
// which the stated maximum may fall short.
#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/compare/surface_distance.h"
#include "io/ply_reader.h"
#include "simplify/driver.h"
#include "simplify/search_sources.h"

using namespace Tavrin;

namespace {

SurfaceMesh surface_of(const Object& o) {
  SurfaceMesh s;
  s.nodes.assign(o.nodes.begin(), o.nodes.end());
  for (const TriangleRecord& t : o.triangles)
    s.triangles.insert(s.triangles.end(), {t.a, t.b, t.c});
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> meshes;
  std::vector<int32_t> grids = {8, 16, 32, 64, 128, 256};
  int64_t samples = 200000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--grids") == 0 && i + 1 < argc) {
      grids.clear();
      std::stringstream list(argv[++i]);
      for (std::string g; std::getline(list, g, ',');) grids.push_back(std::atoi(g.c_str()));
    } else if (std::strcmp(argv[i], "--samples") == 0 && i + 1 < argc) {
      samples = std::atoll(argv[++i]);
    } else {
      meshes.push_back(argv[i]);
    }
  }
  if (meshes.empty()) {
    std::fprintf(stderr, "usage: %s MESH.ply ... [--grids 8,16,...] [--samples N]\n", argv[0]);
    return 2;
  }
  double worst_nodes = 0.0, worst_samples = 0.0;
  std::printf("%-18s %-8s %5s %12s %12s %12s %8s %8s\n", "mesh", "type", "grid", "stated max",
              "node max", "sample max", "ratio n", "ratio s");
  for (const std::string& path : meshes) {
    std::unique_ptr<Object> mesh;
    without_messages([&] { mesh = load_ply(path); });
    if (!mesh) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    const SurfaceMesh input = surface_of(*mesh);
    std::vector<Point3d> nodes;
    for (const Vec3& p : mesh->nodes) nodes.push_back(Point3d{p.x, p.y, p.z});
    for (simp_type type : {HASH_UC, HASH_UC_ACC, HASH_UC_ADAPT_NORMAL})
      for (int32_t grid : grids) {
        RunFigures figures;
        std::unique_ptr<Object> result;
        without_messages([&] {
          result = simplify_object(mesh.get(), {grid, type, 0.0f}, &figures);
        });
        const ResultError& error = figures.error;
        if (!result || !error.measured || result->triangles.empty()) continue;
        const SurfaceMesh output = surface_of(*result);
        // The same diagonal as the stated error (the input's box), the
        // region both boxes.
        const SurfaceDistance both = surface_distance(input, output, samples, 1);
        Box region = input.bounds();
        const Box ob = output.bounds();
        for (int k = 0; k < 3; ++k) {
          region.min[k] = std::min(region.min[k], ob.min[k]);
          region.max[k] = std::max(region.max[k], ob.max[k]);
        }
        const std::vector<double> d = distances_to(output, region, nodes);
        const double node_max = *std::max_element(d.begin(), d.end()) / both.diagonal;
        const double sample_max = both.a_to_b.max / both.diagonal;
        const double rn = node_max / error.max, rs = sample_max / error.max;
        worst_nodes = std::max(worst_nodes, rn);
        worst_samples = std::max(worst_samples, rs);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-18s %-8s %5d %12.4e %12.4e %12.4e %8.3f %8.3f\n", name.c_str(),
                    type == HASH_UC ? "HUC" : (type == HASH_UC_ACC ? "ACC" : "ADAPT"), grid,
                    error.max, node_max, sample_max, rn, rs);
      }
  }
  std::printf("largest ratio of measured to stated maximum: %.3f at the nodes, %.3f sampled\n",
              worst_nodes, worst_samples);
  return 0;
}
