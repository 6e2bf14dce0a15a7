// Command-line surface distance: `surface_distance A B [samples] [seed]`
// measures meshes A and B (PLY or GiD .msh) both ways and prints the RMS and
// maximum distances divided by A's bounding-box diagonal.
#include "bench/compare/surface_distance.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

using namespace Tavrin;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s A.ply|A.msh B.ply|B.msh [samples=200000] [seed=1]\n", argv[0]);
    return 2;
  }
  // At most 10^8 samples per surface: their points and distances take a few
  // gigabytes already.
  constexpr long long kMaxSamples = 100000000;
  long long samples = 200000;
  if (argc > 3) {
    char* end = nullptr;
    errno = 0;
    samples = std::strtoll(argv[3], &end, 10);
    if (end == argv[3] || *end != '\0' || errno == ERANGE || samples < 1 || samples > kMaxSamples) {
      std::fprintf(stderr,
                   "surface_distance: invalid sample count '%s': give a whole number from "
                   "1 to %lld.\n",
                   argv[3], kMaxSamples);
      return 2;
    }
  }
  uint64_t seed = 1;
  if (argc > 4) {
    char* end = nullptr;
    errno = 0;
    seed = std::strtoull(argv[4], &end, 10);
    if (end == argv[4] || *end != '\0' || errno == ERANGE || argv[4][0] == '-') {
      std::fprintf(stderr,
                   "surface_distance: invalid seed '%s': give a whole number of 0 or "
                   "more.\n",
                   argv[4]);
      return 2;
    }
  }
  SurfaceMesh a, b;
  std::string error;
  if (!read_surface_mesh(argv[1], a, error) || !read_surface_mesh(argv[2], b, error)) {
    std::fprintf(stderr, "surface_distance: %s\n", error.c_str());
    return 1;
  }
  SurfaceDistance d;
  try {
    d = surface_distance(a, b, samples, seed);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "surface_distance: not enough memory for %lld samples.\n", samples);
    return 1;
  }
  const double diag = d.diagonal > 0.0 ? d.diagonal : 1.0;
  std::printf("A: %zu nodes %lld triangles, B: %zu nodes %lld triangles, diagonal %.9g\n",
              a.nodes.size(), static_cast<long long>(a.triangle_count()), b.nodes.size(),
              static_cast<long long>(b.triangle_count()), d.diagonal);
  std::printf("A->B: rms %.6e max %.6e (%lld samples)\n", d.a_to_b.rms / diag, d.a_to_b.max / diag,
              static_cast<long long>(d.a_to_b.samples));
  std::printf("B->A: rms %.6e max %.6e (%lld samples)\n", d.b_to_a.rms / diag, d.b_to_a.max / diag,
              static_cast<long long>(d.b_to_a.samples));
  std::printf("RESULT rms=%.6e max=%.6e rms_ab=%.6e rms_ba=%.6e max_ab=%.6e max_ba=%.6e\n",
              d.rms() / diag, d.max() / diag, d.a_to_b.rms / diag, d.b_to_a.rms / diag,
              d.a_to_b.max / diag, d.b_to_a.max / diag);
  return 0;
}
