#include "simplify/stream_simplify.h"

#include <omp.h>

#include <algorithm>
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

std::unique_ptr<Object> simplify_streamed_with_threads(const StreamedMesh& source,
                                                       const SimplifyOptions& options,
                                                       int selected_field, ResultError* error_out) {
  const simp_type type = options.type;
  const int32_t grid_size = options.grid_size;
  if (!source.coords || source.num_nodes == 0 || source.num_triangles == 0) return nullptr;
  report_run_start(type);
  (void)choose_folded_inputs(source.field_names, -1, type, true);

  const int32_t n = static_cast<int32_t>(source.field_names.size());
  std::vector<std::vector<float>> result_values(n);
  const float* coords = source.coords;
  const int32_t node_count = static_cast<int32_t>(source.num_nodes);

  Timer total, phase;
  std::unique_ptr<HandlerInterface> handler =
      create_handler(options, coords, static_cast<uint32_t>(node_count));
  BlockPasses* passes = dynamic_cast<BlockPasses*>(handler.get());
  SimplifiedMesh mesh;
  ExtraOutputs extra;
  if (handler && passes) {
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
      handler->submitWithValues(coords, 3, source.inputs, t, static_cast<int32_t>(count), 3);
      const NodeSlots* map = passes->nodeSlotMap();
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
    lap(handler->phaseTimes().submit);
    // A sweep that failed has said why; its partial sums make no mesh.
    if (!swept) {
      delete_handler(handler);
      return nullptr;
    }
    {
      handler->solve();
      lap(handler->phaseTimes().optimal);
      const int32_t kept_count = static_cast<int32_t>(kept.size() / 3);
      handler->outputWithValues(coords, 3, kept.data(), kept_count, 3, mesh, extra);
      lap(handler->phaseTimes().simplify);
    }
  }
  const float t_simp = phase.elapsed();
  // The plane measure needs every triangle again: one more sweep.
  ResultError error;
  std::vector<int32_t> output_of_node;
  if (handler && mesh.nodeCount() > 0 && handler->outputNodeOfNodes(output_of_node) &&
      static_cast<int64_t>(output_of_node.size()) == source.num_nodes) {
    ResultErrorMeasure measure(coords, source.num_nodes, std::move(output_of_node), mesh.nodes);
    bool swept = true;
    if (measures_planes(type))
      swept = source.sweep([&](const int32_t* t, int64_t count) {
        measure.addTriangles(t, count, 3);
        return true;
      });
    else
      measure.addNodes();
    // A sweep that failed (the file changed) has said why: no mesh.
    if (!swept) {
      delete_handler(handler);
      return nullptr;
    }
    error = measure.finish();
  }
  phase.start();
  const uint64_t memory = handler ? handler->memoryBytes() : 0;
  float t_interp = 0.0f;
  if (handler && passes && n > 0) {
    const int32_t per_pass = std::max(1, std::min(6, passes->fieldsPerValuePass()));
    const int64_t block = std::max<int64_t>(1, std::min(source.node_block, source.num_nodes));
    std::vector<float> buffer(static_cast<size_t>(per_pass) * block);
    float* out[6];
    for (int j = 0; j < per_pass; ++j) out[j] = buffer.data() + j * block;
    bool ok = true;
    for (int32_t first = 0; first < n && ok; first += per_pass) {
      const int32_t count = std::min(per_pass, n - first);
      Timer clear;
      ok = passes->beginValuePass();
      handler->phaseTimes().clear += clear.elapsed();
      Timer interp;
      ValueArrays va;
      va.count = count;
      for (int64_t node = 0; ok && node < source.num_nodes; node += block) {
        const int64_t m = std::min(block, source.num_nodes - node);
        ok = source.fields(node, m, first, count, out);
        for (int j = 0; j < count; ++j) va.values[j] = out[j];
        ok = ok && passes->addValueBlock(node, m, va);
      }
      std::vector<std::vector<float>> arrays;
      ok = ok && passes->finishValuePass(count, arrays);
      for (int32_t j = 0; ok && j < count && j < static_cast<int32_t>(arrays.size()); ++j)
        result_values[first + j] = std::move(arrays[j]);
      handler->phaseTimes().interpolate += interp.elapsed();
    }
    if (!ok) {  // a value block that could not be read has said why
      delete_handler(handler);
      return nullptr;
    }
    t_interp = phase.elapsed();
  }
  const PhaseTimes phases = delete_handler(handler);
  const float t_total = total.elapsed();

  report_run(type, grid_size, mesh, t_total, t_simp, t_interp, memory, phases);
  if (error.measured) log_message(result_error_line(error));
  if (error_out) *error_out = error;
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
