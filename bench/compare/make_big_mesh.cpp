// `make_big_mesh IN.ply REFINEMENTS OUT.ply`: splits every triangle of IN in
// four REFINEMENTS times and writes the positions and triangles (no scalar
// fields) as a binary PLY, the large input of the comparison.
#include <cstdio>
#include <cstdlib>
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
  std::unique_ptr<Object> o = load_ply(argv[1]);
  if (!o) return 1;
  const int refinements = std::atoi(argv[2]);
  for (int i = 0; i < refinements; ++i) o->refine();
  const int written = write_ply(argv[3], o->name, o->num_nodes(), o->nodes.data(),
                                o->num_triangles(), o->triangles.data(), std::vector<Scalar>());
  if (written != o->num_triangles()) {
    std::fprintf(stderr, "make_big_mesh: could not write %s\n", argv[3]);
    return 1;
  }
  std::printf("%s: %d nodes, %d triangles\n", argv[3], o->num_nodes(), o->num_triangles());
  return 0;
}
