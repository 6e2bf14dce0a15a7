// Turns one mesh into a simplified one with a hash uniform-clustering
// method: chooses the extra per-node inputs of the method, runs its handler
// once, reports counts, times and memory, averages every scalar field onto
// the new nodes and builds the result.
#pragma once

#include <cstdint>
#include <memory>

#include "hashuc/handler_interface.h"
#include "hashuc/simp_type.h"
#include "hashuc/simplify_options.h"
#include "mesh/object.h"
#include "simplify/result_error.h"

namespace Tavrin {

// The simplified mesh, or none (no nodes or triangles, no handler, or a
// result without nodes or without triangles and lines). May select field 0
// as the source's scalar for HASH_UC_SCALAR. A decimated drawing copy is
// never simplified itself: the call works on its full mesh.
// `figures`, when given, receives the figures the run reports in its status
// lines and the result's error, once a handler has run, whether or not it
// gave a result; a source without nodes or triangles leaves it.
struct RunFigures {
  float total = 0, simplify = 0, interpolate = 0;  // seconds
  uint64_t memory_bytes = 0;                       // the handler's tables
  PhaseTimes phases;
  ResultError error;  // measured is false when there is none
};
std::unique_ptr<Object> simplify_object(Object* source, const SimplifyOptions& options,
                                        RunFigures* figures = nullptr);

// The same with the tables' default load factor.
inline std::unique_ptr<Object> simplify_object(Object* source, int32_t grid_size, simp_type type) {
  return simplify_object(source, SimplifyOptions{grid_size, type, 0.0f});
}

}  // namespace Tavrin
