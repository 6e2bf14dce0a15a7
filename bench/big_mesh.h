// The big benchmark mesh: a small PLY refined several times (each refinement
// splits every triangle in four). Refining ~12 million triangles takes a
// while, so the result is kept as a binary PLY under /tmp and read from there
// on later runs.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "mesh/object.h"

namespace Tavrin {

inline std::unique_ptr<Object> load_big_mesh(const std::string& path, int refinements) {
  std::string base = path.substr(path.find_last_of('/') + 1);
  const std::string cache =
      "/tmp/tavrin_bench_" + base + "_r" + std::to_string(refinements) + ".ply";
  if (refinements > 0)
    if (std::unique_ptr<Object> o = load_ply(cache)) return o;
  std::unique_ptr<Object> o = load_ply(path);
  if (!o) return nullptr;
  for (int i = 0; i < refinements; ++i) o->refine();
  if (refinements > 0 && !write_ply(cache, *o))
    std::fprintf(stderr, "note: could not cache the refined mesh as %s\n", cache.c_str());
  return o;
}

}  // namespace Tavrin
