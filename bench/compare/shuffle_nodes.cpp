// `shuffle_nodes IN.ply OUT.ply [SEED]`: writes IN with its nodes in a random
// order (a fixed-seed permutation, the triangles renumbered to match) and
// without scalar fields. Refined meshes keep their nodes in a very coherent
// order that scans do not have; the shuffled copy shows what a scattered
// node order costs. The same SEED always gives the same file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "mesh/object.h"

using namespace Tavrin;

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s IN.ply OUT.ply [SEED]\n", argv[0]);
    return 2;
  }
  std::unique_ptr<Object> o = load_ply(argv[1]);
  if (!o) return 1;
  const uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 1;
  const int32_t n = o->num_nodes();
  // Fisher-Yates with our own draw: std::shuffle's use of the generator is
  // left to the library, and the file must not depend on it.
  std::mt19937_64 rng(seed);
  std::vector<int32_t> new_of(n);
  for (int32_t i = 0; i < n; ++i) new_of[i] = i;
  for (int32_t i = n - 1; i > 0; --i)
    std::swap(new_of[i], new_of[static_cast<int32_t>(rng() % (static_cast<uint64_t>(i) + 1))]);
  std::vector<Vec3> nodes(n);
  for (int32_t i = 0; i < n; ++i) nodes[new_of[i]] = o->nodes[i];
  std::vector<TriangleRecord> triangles = o->triangles;
  for (TriangleRecord& t : triangles) {
    t.a = new_of[t.a];
    t.b = new_of[t.b];
    t.c = new_of[t.c];
  }
  const int32_t m = static_cast<int32_t>(triangles.size());
  if (write_ply(argv[2], o->name, n, nodes.data(), m, triangles.data(), std::vector<Scalar>()) !=
      m) {
    std::fprintf(stderr, "shuffle_nodes: could not write %s\n", argv[2]);
    return 1;
  }
  std::printf("%s: %d nodes shuffled, %d triangles\n", argv[2], n, m);
  return 0;
}
