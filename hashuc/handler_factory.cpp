#include "hashuc/handler_factory.h"

#include <cassert>

#include "base/messages.h"
#include "base/timer.h"
#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc.h"
#include "tables/random_streams.h"

namespace Tavrin {

namespace {

// The one place that maps a type to its class. A type whose class is not
// built into this program yields no handler.
std::unique_ptr<HandlerInterface> make_handler(simp_type type, float load_factor) {
  switch (type) {
    case HASH_UC:
      return std::make_unique<HashUC>();
    case HASH_UC_TEMP:
      return std::make_unique<HashUC_T<QefAccInfo>>();
    case HASH_UC_ACC:
      return make_acc_handler();
    case HASH_UC_NORMAL:
    case HASH_UC_ADAPT_NORMAL:
    case HASH_UC_TEMP_NORMAL:
      return make_normal_handler(type);
    case HASH_UC_SCALAR:
    case HASH_UC_SCALAR3_NORMAL:
    case HASH_UC_SCALAR3_VECTOR:
      return make_scalar_handler(type);
    case HASH_UC_SINGLE:
    case HASH_UC_COHERENT:
      return make_table_variant_handler(type, load_factor);
  }
  return nullptr;
}

// The normal-aware types set up only their grid at creation and do the rest
// once node normals exist.
bool initialised_with_normals(simp_type type) {
  return type == HASH_UC_NORMAL || type == HASH_UC_ADAPT_NORMAL || type == HASH_UC_TEMP_NORMAL;
}

}  // namespace

std::unique_ptr<HandlerInterface> create_handler(const SimplifyOptions& options,
                                                 const float* coords, uint32_t node_count) {
  assert(options.grid_size >= 1 && options.grid_size <= (1 << 20));
  const simp_type type = options.type;
  const int32_t grid_size = options.grid_size;
  (void)handler_random().next();
  if (!coords || node_count == 0) return nullptr;
  if (type < 0 || type >= kSimpTypeCount) return nullptr;
  std::unique_ptr<HandlerInterface> handler = make_handler(type, options.load_factor);
  if (!handler) return nullptr;
  Timer timer;
  const int32_t n = static_cast<int32_t>(node_count);
  if (initialised_with_normals(type))
    handler->setUpGrid(grid_size, coords, n, 3);
  else
    handler->initialise(grid_size, coords, n, 3);
  handler->phaseTimes().create = timer.elapsed();
  return handler;
}

int32_t run_handler(HandlerInterface* handler, const float* coords, int32_t node_count,
                    const int32_t* triangles, int32_t triangle_count, int32_t triangle_stride,
                    const QefInputs& inputs, SimplifiedMesh& mesh, ExtraOutputs& extra) {
  assert((coords || node_count == 0) && (triangles || triangle_count == 0));
  assert(node_count >= 0 && triangle_count >= 0 && triangle_stride >= 0);
  assert(triangle_stride == 0 || triangle_stride >= 3);
  if (!handler) return 0;
  const simp_type t = handler->type();
  if (triangle_stride == 0) triangle_stride = 3;
  PhaseTimes& times = handler->phaseTimes();
  Timer timer;
  auto lap = [&](float& phase) {
    phase += timer.elapsed();
    timer.start();
  };
  if (t == HASH_UC_NORMAL || t == HASH_UC_ADAPT_NORMAL || t == HASH_UC_TEMP_NORMAL) {
    handler->computeNodeNormals(coords, node_count, 3, triangles, triangle_count, triangle_stride);
    lap(times.normals);
    handler->initialiseWithNormals(handler->gridSize(), coords, node_count, 3, triangles,
                                   triangle_count, triangle_stride);
    lap(times.create);
    handler->submitWithValues(coords, 3, inputs, triangles, triangle_count, triangle_stride);
    lap(times.submit);
    handler->solve();
    lap(times.optimal);
    handler->output(coords, 3, triangles, triangle_count, triangle_stride, mesh);
    lap(times.simplify);
  } else {
    if ((t == HASH_UC_SCALAR || t == HASH_UC_SCALAR3_NORMAL || t == HASH_UC_SCALAR3_VECTOR) &&
        inputs.count == 0)
      log_message("No scalar provided !!!\n");
    handler->submitWithValues(coords, 3, inputs, triangles, triangle_count, triangle_stride);
    lap(times.submit);
    handler->solve();
    lap(times.optimal);
    handler->outputWithValues(coords, 3, triangles, triangle_count, triangle_stride, mesh, extra);
    lap(times.simplify);
  }
  return mesh.nodeCount();
}

void reset_handler_cells(HandlerInterface* handler) {
  if (!handler) return;
  Timer timer;
  handler->resetCells();
  handler->phaseTimes().clear += timer.elapsed();
}

int32_t interpolate_handler_values(HandlerInterface* handler, const float* coords,
                                   int32_t node_count, const float* const* values,
                                   const int32_t* strides, int32_t count,
                                   std::vector<std::vector<float>>* out) {
  if (!handler || !coords || !values || !out || node_count == 0) return 0;
  if (count > 6) count = 6;
  if (count < 0) count = 0;
  int32_t copied[6] = {1, 1, 1, 1, 1, 1};
  for (int32_t j = 0; j < count; ++j) copied[j] = strides && strides[j] != 0 ? strides[j] : 1;
  Timer timer;
  int32_t length = 0;
  handler->interpolateValues(coords, node_count, 3, values, copied, count, *out, length);
  handler->phaseTimes().interpolate += timer.elapsed();
  return length;
}

PhaseTimes delete_handler(std::unique_ptr<HandlerInterface>& handler) {
  if (!handler) return PhaseTimes{};
  PhaseTimes times = handler->phaseTimes();
  Timer timer;
  handler.reset();
  times.destroy += timer.elapsed();
  return times;
}

}  // namespace Tavrin
