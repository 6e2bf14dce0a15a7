// Simplification of a mesh whose triangles and field values are not held in
// memory: only the node coordinates (and the per-node inputs the method
// folds into its quadrics) are. The triangles come in blocks, in the order
// of the mesh, through one sweep per pass; the field values come in node
// blocks. Every float sum is formed in the order the in-memory driver
// (simplify/driver.h) forms it, so the result is the same, byte for byte,
// for any block size and thread count:
//   - each block is submitted in turn, and a cell's record sums its corners
//     triangle by triangle across the blocks as over one array;
//   - the output pass sees only the triangles whose corners lie in more than
//     one cell plus one triangle per cell that holds a corner (the others
//     add no triangle or line and mark no new cell), in their order;
//   - each value pass sums the nodes of a cell in node order, block after
//     block, with the grouping of fields interpolateValues uses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hashuc/handler_interface.h"
#include "hashuc/simplify_options.h"
#include "mesh/object.h"
#include "simplify/result_error.h"

namespace Tavrin {

// Whether the streamed road covers the type: those whose cells depend only
// on the node positions.
bool stream_covers(simp_type type);

// One sweep over all triangles: calls block(triangles, count) with three
// node numbers per triangle, for consecutive blocks in mesh order; returns
// false when the sweep failed (having said why) or block returned false.
using TriangleSweep =
    std::function<bool(const std::function<bool(const int32_t* triangles, int64_t count)>& block)>;

// Values of fields first_field .. first_field + field_count - 1 for nodes
// first .. first + count - 1: out[j][k] is field first_field + j of node
// first + k, a value that is not finite already taken as no value (the
// lowest float). False when they could not be read (having said why).
using FieldBlockReader = std::function<bool(int64_t first, int64_t count, int32_t first_field,
                                            int32_t field_count, float* const* out)>;

struct StreamedMesh {
  const float* coords = nullptr;  // 3 per node
  int64_t num_nodes = 0;
  int64_t num_triangles = 0;
  std::vector<std::string> field_names;  // the object's fields, in order
  // Per-node inputs folded into the quadrics, chosen as the driver chooses
  // them (choose_folded_inputs with no selected field), borrowed.
  QefInputs inputs;
  TriangleSweep sweep;
  FieldBlockReader fields;
  int64_t node_block = 1 << 20;  // nodes per value block
};

// The simplified mesh with the messages of the in-memory driver, or none
// (same cases). node_block bounds the nodes of a value block.
// `error`, when given, receives the result's error.
std::unique_ptr<Object> simplify_streamed(const StreamedMesh& mesh, const SimplifyOptions& options,
                                          int selected_field, ResultError* error = nullptr);

}  // namespace Tavrin
