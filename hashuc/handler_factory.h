// Creates the clustering handler of a simplification type and drives it
// through one run, timing every operation into the handler's PhaseTimes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hashuc/handler_interface.h"
#include "hashuc/simplify_options.h"

namespace Tavrin {

// The handler of `type`, initialised on the nodes, or none (a type outside
// 0 to 10, a type whose handler is not available, no coordinates, no nodes).
std::unique_ptr<HandlerInterface> create_handler(const SimplifyOptions& options,
                                                 const float* coords, uint32_t node_count);

// The same with the tables' default load factor.
inline std::unique_ptr<HandlerInterface> create_handler(int32_t grid_size, simp_type type,
                                                        const float* coords, uint32_t node_count) {
  return create_handler(SimplifyOptions{grid_size, type, 0.0f}, coords, node_count);
}

// submit, solve and output in the order the handler's type needs; returns
// the output node count.
int32_t run_handler(HandlerInterface* handler, const float* coords, int32_t node_count,
                    const int32_t* triangles, int32_t triangle_count, int32_t triangle_stride,
                    const QefInputs& inputs, SimplifiedMesh& mesh, ExtraOutputs& extra);

void reset_handler_cells(HandlerInterface* handler);

// Averages up to six value arrays (more are ignored) onto the output nodes;
// returns the length of the returned arrays, 0 on a missing argument.
int32_t interpolate_handler_values(HandlerInterface* handler, const float* coords,
                                   int32_t node_count, const float* const* values,
                                   const int32_t* strides, int32_t count,
                                   std::vector<std::vector<float>>* out);

// Deletes the handler; returns the seconds of its run, the deletion
// included (all zero for none).
PhaseTimes delete_handler(std::unique_ptr<HandlerInterface>& handler);

}  // namespace Tavrin
