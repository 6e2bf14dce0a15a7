// The simplification driver: one run of a clustering handler on an Object.

#include "simplify/driver.h"

#include <omp.h>

#include <string>
#include <vector>

#include "base/group_digits.h"
#include "base/messages.h"
#include "base/timer.h"
#include "simplify/handler_factory.h"

namespace Tavrin {

namespace {

static_assert(sizeof(TriangleRecord) == 4 * sizeof(int32_t), "triangles are four int32 each");
static_assert(sizeof(Vec3) == 3 * sizeof(float), "nodes are three floats each");

constexpr size_t kLineCapacity = 1024;

void status(const std::string& text) { status_line(group_digits_text(text, kLineCapacity)); }

// The extra per-node inputs chosen for the method, with what they need.
struct ChosenInputs {
  QefInputs inputs;
  std::vector<float> normal_copies[3];  // HASH_UC_SCALAR3_NORMAL
  int vector_fields[3] = {-1, -1, -1};  // HASH_UC_SCALAR3_VECTOR
  std::string display_name;
  bool has_display_name = false;
};

bool has_selected_scalar(const Object& o) {
  return o.scalar_index >= 0 && o.scalar_index < static_cast<int32_t>(o.scalars.size());
}

void choose_inputs(Object& source, simp_type type, ChosenInputs& c) {
  const int n = static_cast<int>(source.scalars.size());
  if (type == HASH_UC_SCALAR && !has_selected_scalar(source) && n > 0) {
    log_message("!!! No scalar used in the QEF to simplify Using first one\n");
    source.scalar_index = 0;
  }
  if (has_selected_scalar(source)) {
    const Scalar& s = source.scalars[source.scalar_index];
    c.inputs.arrays[0] = s.values.data();
    c.inputs.count = 1;
    c.display_name = s.name;
    c.has_display_name = true;
    if (type == HASH_UC_SCALAR) {
      log_message(format("Using scalar '%s' in the QEF to simplify\n", s.name.c_str()));
      return;
    }
  } else if (type == HASH_UC_SCALAR) {
    log_message("!!! No scalar used in the QEF to simplify !!!\n");
    return;
  }
  if (type == HASH_UC_SCALAR3_NORMAL) {
    source.ensure_normals();
    const size_t nodes = source.nodes.size();
    for (int k = 0; k < 3; ++k) {
      c.normal_copies[k].assign(nodes, 0.0f);
      for (size_t i = 0; i < nodes && i < source.normals.size(); ++i)
        c.normal_copies[k][i] = source.normals[i][k];
      c.inputs.arrays[k] = c.normal_copies[k].data();
    }
    c.inputs.count = 3;
    log_message("Using nodal normals in the extedned QEF to simplify.\n");
  } else if (type == HASH_UC_SCALAR3_VECTOR) {
    std::optional<VectorTriple> triple;
    if (n > 0) triple = source.find_vector_triple();
    if (triple) {
      const int idx[3] = {triple->first, triple->second, triple->third};
      for (int k = 0; k < 3; ++k) {
        c.vector_fields[k] = idx[k];
        c.inputs.arrays[k] = source.scalars[idx[k]].values.data();
      }
      c.inputs.count = 3;
      log_message(format("Using ( %s, %s, %s) as vector in the extended QEF to simplify.\n",
                         source.scalars[idx[0]].name.c_str(), source.scalars[idx[1]].name.c_str(),
                         source.scalars[idx[2]].name.c_str()));
    } else {
      log_message("Could not find any three suitable scalars to be used as vectors:\n");
      log_message("        candidates would have been: \n");
      log_message(
          "        ( vx, vy, vz) ( red, green, blue) ( r, g, b) ( nx, ny, nz) ( x, y, z)\n");
    }
  }
}

}  // namespace

namespace {

// Below this many triangles a run takes a few milliseconds on one thread,
// while every parallel region costs a fork and barriers; on a machine whose
// cores are busy with other work a descheduled partner thread turns each
// barrier into a wait of a scheduler slice, and the run into tenths of a
// second. Results do not depend on the thread count, so small meshes simply
// run on one.
constexpr int32_t kOneThreadTriangles = 16384;

// Sets the thread count of the parallel regions the calling thread starts,
// for one scope.
class ScopedThreadCount {
 public:
  explicit ScopedThreadCount(int threads) : previous_(omp_get_max_threads()) {
    omp_set_num_threads(threads);
  }
  ~ScopedThreadCount() { omp_set_num_threads(previous_); }
  ScopedThreadCount(const ScopedThreadCount&) = delete;
  ScopedThreadCount& operator=(const ScopedThreadCount&) = delete;

 private:
  int previous_;
};

}  // namespace

// The run itself, on the thread count in force.
std::unique_ptr<Object> simplify_object_with_threads(Object* source,
                                                     const SimplifyOptions& options);

std::unique_ptr<Object> simplify_object(Object* source, const SimplifyOptions& options) {
  if (source && !source->full && source->num_triangles() < kOneThreadTriangles &&
      omp_get_max_threads() > 1) {
    ScopedThreadCount one(1);
    return simplify_object_with_threads(source, options);
  }
  return simplify_object_with_threads(source, options);
}

std::unique_ptr<Object> simplify_object_with_threads(Object* source,
                                                     const SimplifyOptions& options) {
  if (!source) return nullptr;
  if (source->full) return simplify_object(source->full.get(), options);
  const simp_type type = options.type;
  const int32_t grid_size = options.grid_size;
  if (source->num_nodes() == 0 || source->num_triangles() == 0) return nullptr;

  const char* tag = simp_type_short_name(type);
  status(format("Simplification using '%s' ( %s)", simp_type_name(type), tag));

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
  delete_handler(handler);
  const float t_total = total.elapsed();

  const int32_t v = mesh.nodeCount(), t = mesh.triangleCount(), l = mesh.lineCount();
  status(format("%s[ %d:%d] v: %d t: %d l: %d in %g s. ( %g + %g) Mem = %g KB", tag, grid_size, 1,
                v, t, l, t_total, t_simp, t_interp, static_cast<double>(memory) / 1024.0));

  const PhaseTimes& pt = phase_times();
  log_message(format(
      "\tSTATS   create: %g   submit: %g   optimal: %g   simplify: %g   normals: %g   total: %g\n",
      pt.create, pt.submit, pt.optimal, pt.simplify, pt.normals,
      pt.create + pt.submit + pt.optimal + pt.simplify + pt.normals));
  log_message(format("\tSTATS   clear: %g   interpolate: %g   delete: %g   total: %g\n", pt.clear,
                     pt.interpolate, pt.destroy, pt.clear + pt.interpolate + pt.destroy));
  status(format("%s[ %d] v: %d t: %d l: %d in %g s. ( %g + %g)", tag, grid_size, v, t, l, t_total,
                t_simp, t_interp));

  // Fields folded into the quadrics take the values at the optimal points.
  const size_t vs = static_cast<size_t>(v);
  auto take = [&](int field, std::vector<float>& values) {
    if (field >= 0 && field < n && values.size() == vs) result_values[field] = std::move(values);
  };
  if (type == HASH_UC_SCALAR) {
    if (extra.flag && !extra.arrays.empty() && chosen.inputs.arrays[0])
      take(source->scalar_index, extra.arrays[0]);
  } else if (type == HASH_UC_SCALAR3_VECTOR) {
    if (extra.flag && extra.arrays.size() >= 3 && chosen.vector_fields[0] >= 0)
      for (int k = 0; k < 3; ++k) take(chosen.vector_fields[k], extra.arrays[k]);
  }

  if (v <= 0 || (t <= 0 && l <= 0)) return nullptr;
  message_box("Simplification done.");
  // A field whose averaging produced nothing still gets one value per node.
  std::vector<const float*> values(n + 1, nullptr);
  std::vector<const char*> names(n + 1, nullptr);
  for (int32_t i = 0; i < n; ++i) {
    if (result_values[i].size() != vs) result_values[i].assign(vs, -1000.0f);
    values[i] = result_values[i].data();
    names[i] = source->scalars[i].name.c_str();
  }
  auto result = std::make_unique<Object>();
  result->build(v, l, t, 0, mesh.nodes.data(), mesh.lines.data(), mesh.triangles.data(), nullptr,
                values.data(), names.data());
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
