// `make_big_mesh IN.ply REFINEMENTS OUT.ply`: splits every triangle of IN in
// four REFINEMENTS times and writes the positions and triangles (no scalar
// fields) as a binary PLY, the large input of the comparison.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "mesh/object.h"

using namespace Tavrin;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s IN.ply REFINEMENTS OUT.ply\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  errno = 0;
  const long refinements = std::strtol(argv[2], &end, 10);
  // One triangle refined 16 times is already past the 32-bit counts.
  constexpr long kMaxRefinements = 15;
  if (end == argv[2] || *end != '\0' || errno == ERANGE || refinements < 0 ||
      refinements > kMaxRefinements) {
    std::fprintf(stderr,
                 "make_big_mesh: invalid refinement count '%s': give a whole number from 0 "
                 "to %ld.\n",
                 argv[2], kMaxRefinements);
    return 2;
  }
  std::unique_ptr<Object> o = load_ply(argv[1]);
  if (!o) return 1;
  // Each refinement makes four triangles of one; the counts are 32-bit.
  int64_t triangles = o->num_triangles();
  for (long i = 0; i < refinements; ++i) {
    triangles *= 4;
    if (triangles > INT32_MAX) {
      std::fprintf(stderr,
                   "make_big_mesh: %ld refinements of %d triangles make more than %d "
                   "triangles.\n",
                   refinements, o->num_triangles(), INT32_MAX);
      return 2;
    }
  }
  try {
    for (long i = 0; i < refinements; ++i) o->refine();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "make_big_mesh: not enough memory for %ld refinements.\n", refinements);
    return 1;
  }
  const int written = write_ply(argv[3], o->name, o->num_nodes(), o->nodes.data(),
                                o->num_triangles(), o->triangles.data(), std::vector<Scalar>());
  if (written != o->num_triangles()) {
    std::fprintf(stderr, "make_big_mesh: could not write %s\n", argv[3]);
    return 1;
  }
  std::printf("%s: %d nodes, %d triangles\n", argv[3], o->num_nodes(), o->num_triangles());
  return 0;
}
