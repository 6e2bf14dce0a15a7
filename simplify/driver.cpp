// The simplification driver: one run of a clustering handler on an Object.

#include "simplify/driver.h"

#include <omp.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "base/timer.h"
#include "hashuc/handler_factory.h"
#include "simplify/result_error.h"
#include "simplify/run_result.h"

namespace Tavrin {

namespace {

static_assert(sizeof(TriangleRecord) == 4 * sizeof(int32_t), "triangles are four int32 each");
static_assert(sizeof(Vec3) == 3 * sizeof(float), "nodes are three floats each");

// The extra per-node inputs chosen for the method, with what they need.
struct ChosenInputs {
  QefInputs inputs;
  std::vector<float> normal_copies[3];  // HASH_UC_SCALAR3_NORMAL
  int vector_fields[3] = {-1, -1, -1};  // HASH_UC_SCALAR3_VECTOR
  std::string display_name;
  bool has_display_name = false;
};

void choose_inputs(Object& source, simp_type type, ChosenInputs& c) {
  const InputChoice choice =
      choose_folded_inputs(source.scalar_names(), source.scalar_index, type, true);
  if (choice.selected >= 0) {
    source.scalar_index = choice.selected;  // HASH_UC_SCALAR may have taken the first
    c.display_name = source.scalars[choice.selected].name;
    c.has_display_name = true;
  }
  c.inputs.count = choice.count;
  if (choice.normals) {
    source.ensure_normals();
    const size_t nodes = source.nodes.size();
    for (int k = 0; k < 3; ++k) {
      c.normal_copies[k].assign(nodes, 0.0f);
      for (size_t i = 0; i < nodes && i < source.normals.size(); ++i)
        c.normal_copies[k][i] = source.normals[i][k];
      c.inputs.arrays[k] = c.normal_copies[k].data();
    }
    return;
  }
  for (int k = 0; k < choice.count; ++k)
    c.inputs.arrays[k] = source.scalars[choice.fields[k]].values.data();
  if (type == HASH_UC_SCALAR3_VECTOR && choice.count == 3)
    for (int k = 0; k < 3; ++k) c.vector_fields[k] = choice.fields[k];
}

}  // namespace

// The run itself, on the thread count in force.
std::unique_ptr<Object> simplify_object_with_threads(Object* source, const SimplifyOptions& options,
                                                     RunFigures* figures);

std::unique_ptr<Object> simplify_object(Object* source, const SimplifyOptions& options,
                                        RunFigures* figures) {
  if (source && source->full) return simplify_object(source->full.get(), options, figures);
  const OneThreadForSmallMeshes threads(source ? source->num_triangles() : 0);
  return simplify_object_with_threads(source, options, figures);
}

std::unique_ptr<Object> simplify_object_with_threads(Object* source, const SimplifyOptions& options,
                                                     RunFigures* figures) {
  if (!source) return nullptr;
  const simp_type type = options.type;
  const int32_t grid_size = options.grid_size;
  if (source->num_nodes() == 0 || source->num_triangles() == 0) return nullptr;

  report_run_start(type);

  // Per-field value arrays, names and strides.
  const int32_t n = static_cast<int32_t>(source->scalars.size());
  std::vector<const float*> field_values(n);
  std::vector<int32_t> field_strides(n, 1);
  for (int32_t i = 0; i < n; ++i) field_values[i] = source->scalars[i].values.data();

  ChosenInputs chosen;
  choose_inputs(*source, type, chosen);

  std::vector<std::vector<float>> result_values(n);

  // One run.
  const float* coords = reinterpret_cast<const float*>(source->nodes.data());
  const int32_t node_count = source->num_nodes();
  const int32_t* triangles = reinterpret_cast<const int32_t*>(source->triangles.data());
  Timer total, phase;
  std::unique_ptr<HandlerInterface> handler =
      create_handler(options, coords, static_cast<uint32_t>(node_count));
  SimplifiedMesh mesh;
  ExtraOutputs extra;
  if (handler)
    run_handler(handler.get(), coords, node_count, triangles, source->num_triangles(), 4,
                chosen.inputs, mesh, extra);
  const float t_simp = phase.elapsed();
  const ResultError error = measure_result_error(handler.get(), coords, node_count, triangles,
                                                 source->num_triangles(), 4, mesh);
  phase.start();
  const uint64_t memory = handler ? handler->memoryBytes() : 0;
  float t_interp = 0.0f;
  if (handler && n > 0) {
    for (int32_t first = 0; first < n; first += 6) {
      const int32_t count = n - first < 6 ? n - first : 6;
      reset_handler_cells(handler.get());
      std::vector<std::vector<float>> arrays;
      interpolate_handler_values(handler.get(), coords, node_count, field_values.data() + first,
                                 field_strides.data() + first, count, &arrays);
      for (int32_t j = 0; j < count && j < static_cast<int32_t>(arrays.size()); ++j)
        result_values[first + j] = std::move(arrays[j]);
    }
    t_interp = phase.elapsed();
  }
  const PhaseTimes phases = delete_handler(handler);
  const float t_total = total.elapsed();

  report_run(type, grid_size, mesh, t_total, t_simp, t_interp, memory, phases);
  if (error.measured) log_message(result_error_line(error));
  if (figures) *figures = RunFigures{t_total, t_simp, t_interp, memory, phases, error};
  const int folded[3] = {type == HASH_UC_SCALAR
                             ? (chosen.inputs.arrays[0] ? source->scalar_index : -1)
                             : chosen.vector_fields[0],
                         chosen.vector_fields[1], chosen.vector_fields[2]};
  take_folded_values(type, extra, folded, mesh.nodeCount(), result_values);
  std::unique_ptr<Object> result = build_result_object(mesh, result_values, source->scalar_names());
  if (!result) return nullptr;
  if (chosen.has_display_name) {
    for (int32_t i = 0; i < static_cast<int32_t>(result->scalars.size()); ++i)
      if (result->scalars[i].name == chosen.display_name) {
        result->scalar_index = i;
        break;
      }
    result->draw_scalar = source->draw_scalar;
  }
  return result;
}

}  // namespace Tavrin
