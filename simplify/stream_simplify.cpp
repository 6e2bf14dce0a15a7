#include "simplify/stream_simplify.h"

#include <omp.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/timer.h"
#include "hashuc/block_passes.h"
#include "hashuc/handler_factory.h"
#include "simplify/result_error.h"
#include "simplify/run_result.h"

namespace Tavrin {

bool stream_covers(simp_type type) {
  return type != HASH_UC_NORMAL && type != HASH_UC_ADAPT_NORMAL && type != HASH_UC_TEMP_NORMAL;
}

namespace {

// Keeps, of one block, the triangles the output pass needs: those whose
// corners lie in different slots, and the first triangle of every slot no
// kept triangle has reached (so that the cells holding a corner are known).
void keep_output_triangles(const NodeSlots& map, const int32_t* t, int64_t count,
                           std::vector<uint8_t>& reached, std::vector<int32_t>& kept) {
  const uint32_t* slot = map.slot.data();
  for (int64_t i = 0; i < count; ++i) {
    const int32_t* c = t + 3 * i;
    const uint32_t s0 = slot[c[0]], s1 = slot[c[1]], s2 = slot[c[2]];
    if (s0 == s1 && s1 == s2 && reached[s0]) continue;
    reached[s0] = reached[s1] = reached[s2] = 1;
    kept.insert(kept.end(), c, c + 3);
  }
}

}  // namespace

namespace {

std::unique_ptr<Object> simplify_streamed_with_threads(const StreamedMesh& source,
                                                       const SimplifyOptions& options,
                                                       int selected_field, ResultError* error_out);

}  // namespace

std::unique_ptr<Object> simplify_streamed(const StreamedMesh& source,
                                          const SimplifyOptions& options, int selected_field,
                                          ResultError* error) {
  if (error) *error = ResultError{};
  const OneThreadForSmallMeshes threads(source.num_triangles);
  return simplify_streamed_with_threads(source, options, selected_field, error);
}

namespace {

// Folds every block of triangles into the handler's cells, keeping the
// triangles the output needs, then solves and outputs. False when the sweep
// failed (having said why): its partial sums make no mesh.
bool cluster_blocks(HandlerInterface& handler, BlockPasses& passes, const StreamedMesh& source,
                    SimplifiedMesh& mesh, ExtraOutputs& extra) {
  const simp_type type = handler.type();
  PhaseTimes& times = handler.phaseTimes();
  Timer timer;
  auto lap = [&](float& t) {
    t += timer.elapsed();
    timer.start();
  };
  if ((type == HASH_UC_SCALAR || type == HASH_UC_SCALAR3_NORMAL ||
       type == HASH_UC_SCALAR3_VECTOR) &&
      source.inputs.count == 0)
    log_message("No scalar provided !!!\n");
  std::vector<uint8_t> reached;
  std::vector<int32_t> kept;
  const bool swept = source.sweep([&](const int32_t* t, int64_t count) {
    handler.submitWithValues(source.coords, 3, source.inputs, t, static_cast<int32_t>(count), 3);
    const NodeSlots* map = passes.nodeSlotMap();
    if (!map) return true;  // the handler failed and said why: nothing is output
    if (reached.empty()) {
      uint32_t most = 0;
      for (uint32_t s : map->slot) most = std::max(most, s);
      reached.assign(static_cast<size_t>(most) + 1, 0);
    }
    keep_output_triangles(*map, t, count, reached, kept);
    return true;
  });
  std::vector<uint8_t>().swap(reached);
  lap(times.submit);
  if (!swept) return false;
  handler.solve();
  lap(times.optimal);
  const int32_t kept_count = static_cast<int32_t>(kept.size() / 3);
  handler.outputWithValues(source.coords, 3, kept.data(), kept_count, 3, mesh, extra);
  lap(times.simplify);
  return true;
}

// The result's error: the plane measure needs every triangle again, one
// more sweep. Not measured when the handler cannot name each node's output
// node; none when the sweep failed (the file changed, said why).
std::optional<ResultError> measure_blocks_error(HandlerInterface& handler,
                                                const StreamedMesh& source,
                                                const SimplifiedMesh& mesh) {
  std::vector<int32_t> output_of_node;
  if (mesh.nodeCount() == 0 || !handler.outputNodeOfNodes(output_of_node) ||
      static_cast<int64_t>(output_of_node.size()) != source.num_nodes)
    return ResultError{};
  ResultErrorMeasure measure(source.coords, source.num_nodes, std::move(output_of_node),
                             mesh.nodes);
  if (!measures_planes(handler.type())) {
    measure.addNodes();
  } else if (!source.sweep([&](const int32_t* t, int64_t count) {
               measure.addTriangles(t, count, 3);
               return true;
             })) {
    return std::nullopt;
  }
  return measure.finish();
}

// Averages every field onto the output nodes, as many fields per pass over
// the value blocks as the handler takes. False when a value block could not
// be read (having said why).
bool average_field_blocks(HandlerInterface& handler, BlockPasses& passes,
                          const StreamedMesh& source,
                          std::vector<std::vector<float>>& result_values) {
  const int32_t n = static_cast<int32_t>(result_values.size());
  const int32_t per_pass = std::max(1, std::min(6, passes.fieldsPerValuePass()));
  const int64_t block = std::max<int64_t>(1, std::min(source.node_block, source.num_nodes));
  std::vector<float> buffer(static_cast<size_t>(per_pass) * block);
  float* out[6];
  for (int j = 0; j < per_pass; ++j) out[j] = buffer.data() + j * block;
  PhaseTimes& times = handler.phaseTimes();
  bool ok = true;
  for (int32_t first = 0; first < n && ok; first += per_pass) {
    const int32_t count = std::min(per_pass, n - first);
    Timer clear;
    ok = passes.beginValuePass();
    times.clear += clear.elapsed();
    Timer interp;
    ValueArrays va;
    va.count = count;
    for (int64_t node = 0; ok && node < source.num_nodes; node += block) {
      const int64_t m = std::min(block, source.num_nodes - node);
      ok = source.fields(node, m, first, count, out);
      for (int j = 0; j < count; ++j) va.values[j] = out[j];
      ok = ok && passes.addValueBlock(node, m, va);
    }
    std::vector<std::vector<float>> arrays;
    ok = ok && passes.finishValuePass(count, arrays);
    for (int32_t j = 0; ok && j < count && j < static_cast<int32_t>(arrays.size()); ++j)
      result_values[first + j] = std::move(arrays[j]);
    times.interpolate += interp.elapsed();
  }
  return ok;
}

std::unique_ptr<Object> simplify_streamed_with_threads(const StreamedMesh& source,
                                                       const SimplifyOptions& options,
                                                       int selected_field, ResultError* error_out) {
  const simp_type type = options.type;
  if (!source.coords || source.num_nodes == 0 || source.num_triangles == 0) return nullptr;
  report_run_start(type);
  (void)choose_folded_inputs(source.field_names, -1, type, true);

  const int32_t n = static_cast<int32_t>(source.field_names.size());
  std::vector<std::vector<float>> result_values(n);
  Timer total, phase;
  std::unique_ptr<HandlerInterface> handler =
      create_handler(options, source.coords, static_cast<uint32_t>(source.num_nodes));
  BlockPasses* passes = dynamic_cast<BlockPasses*>(handler.get());
  SimplifiedMesh mesh;
  ExtraOutputs extra;
  if (handler && passes && !cluster_blocks(*handler, *passes, source, mesh, extra)) {
    delete_handler(handler);
    return nullptr;
  }
  const float t_simp = phase.elapsed();
  const std::optional<ResultError> error =
      handler ? measure_blocks_error(*handler, source, mesh) : ResultError{};
  if (!error) {
    delete_handler(handler);
    return nullptr;
  }
  phase.start();
  const uint64_t memory = handler ? handler->memoryBytes() : 0;
  float t_interp = 0.0f;
  if (handler && passes && n > 0) {
    if (!average_field_blocks(*handler, *passes, source, result_values)) {
      delete_handler(handler);
      return nullptr;
    }
    t_interp = phase.elapsed();
  }
  const PhaseTimes phases = delete_handler(handler);
  const float t_total = total.elapsed();

  report_run(type, options.grid_size, mesh, t_total, t_simp, t_interp, memory, phases);
  if (error->measured) log_message(result_error_line(*error));
  if (error_out) *error_out = *error;
  const InputChoice chosen = choose_folded_inputs(source.field_names, -1, type, false);
  const int folded[3] = {
      type == HASH_UC_SCALAR ? (source.inputs.arrays[0] ? chosen.fields[0] : -1) : chosen.fields[0],
      chosen.fields[1], chosen.fields[2]};
  take_folded_values(type, extra, folded, mesh.nodeCount(), result_values);
  std::unique_ptr<Object> result = build_result_object(mesh, result_values, source.field_names);
  if (!result) return nullptr;
  if (selected_field >= 0 && selected_field < n) result->scalar_index = selected_field;
  return result;
}

}  // namespace

}  // namespace Tavrin
