#include "simplify/run_result.h"

#include "base/group_digits.h"
#include "base/messages.h"

namespace Tavrin {

namespace {

constexpr size_t kLineCapacity = 1024;

void status(const std::string& text) { status_line(group_digits_text(text, kLineCapacity)); }

}  // namespace

InputChoice choose_folded_inputs(const std::vector<std::string>& names, int selected,
                                 simp_type type, bool say) {
  InputChoice c;
  const int n = static_cast<int>(names.size());
  auto log = [&](const std::string& text) {
    if (say) log_message(text);
  };
  if (selected >= n) selected = -1;
  if (type == HASH_UC_SCALAR && selected < 0 && n > 0) {
    log("!!! No scalar used in the QEF to simplify Using first one\n");
    selected = 0;
  }
  if (selected >= 0) {
    c.selected = c.fields[0] = selected;
    c.count = 1;
    if (type == HASH_UC_SCALAR) {
      log(format("Using scalar '%s' in the QEF to simplify\n", names[selected].c_str()));
      return c;
    }
  } else if (type == HASH_UC_SCALAR) {
    log("!!! No scalar used in the QEF to simplify !!!\n");
    return c;
  }
  if (type == HASH_UC_SCALAR3_NORMAL) {
    c.normals = true;
    c.count = 3;
    log("Using nodal normals in the extedned QEF to simplify.\n");
  } else if (type == HASH_UC_SCALAR3_VECTOR) {
    Object named;  // the field names alone answer the vector search
    for (const std::string& name : names) named.scalars.push_back(Scalar{name, {}, -1.0});
    std::optional<VectorTriple> triple;
    if (n > 0) triple = named.find_vector_triple();
    if (triple) {
      c.fields[0] = triple->first;
      c.fields[1] = triple->second;
      c.fields[2] = triple->third;
      c.count = 3;
      log(format("Using ( %s, %s, %s) as vector in the extended QEF to simplify.\n",
                 names[c.fields[0]].c_str(), names[c.fields[1]].c_str(),
                 names[c.fields[2]].c_str()));
    } else {
      log("Could not find any three suitable scalars to be used as vectors:\n");
      log("        candidates would have been: \n");
      log("        ( vx, vy, vz) ( red, green, blue) ( r, g, b) ( nx, ny, nz) ( x, y, z)\n");
    }
  }
  return c;
}

void report_run_start(simp_type type) {
  status(
      format("Simplification using '%s' ( %s)", simp_type_name(type), simp_type_short_name(type)));
}

void report_run(simp_type type, int32_t grid_size, const SimplifiedMesh& mesh, float t_total,
                float t_simp, float t_interp, uint64_t memory_bytes, const PhaseTimes& pt) {
  const char* tag = simp_type_short_name(type);
  const int32_t v = mesh.nodeCount(), t = mesh.triangleCount(), l = mesh.lineCount();
  status(format("%s[ %d:%d] v: %d t: %d l: %d in %g s. ( %g + %g) Mem = %g KB", tag, grid_size, 1,
                v, t, l, t_total, t_simp, t_interp, static_cast<double>(memory_bytes) / 1024.0));
  log_message(format(
      "\tSTATS   create: %g   submit: %g   optimal: %g   simplify: %g   normals: %g   total: %g\n",
      pt.create, pt.submit, pt.optimal, pt.simplify, pt.normals,
      pt.create + pt.submit + pt.optimal + pt.simplify + pt.normals));
  log_message(format("\tSTATS   clear: %g   interpolate: %g   delete: %g   total: %g\n", pt.clear,
                     pt.interpolate, pt.destroy, pt.clear + pt.interpolate + pt.destroy));
  status(format("%s[ %d] v: %d t: %d l: %d in %g s. ( %g + %g)", tag, grid_size, v, t, l, t_total,
                t_simp, t_interp));
}

void take_folded_values(simp_type type, ExtraOutputs& extra, const int folded[3],
                        int32_t output_nodes, std::vector<std::vector<float>>& values) {
  const int32_t n = static_cast<int32_t>(values.size());
  const size_t vs = static_cast<size_t>(output_nodes);
  auto take = [&](int field, std::vector<float>& from) {
    if (field >= 0 && field < n && from.size() == vs) values[field] = std::move(from);
  };
  if (!extra.flag) return;
  if (type == HASH_UC_SCALAR) {
    if (!extra.arrays.empty()) take(folded[0], extra.arrays[0]);
  } else if (type == HASH_UC_SCALAR3_VECTOR) {
    if (extra.arrays.size() >= 3 && folded[0] >= 0)
      for (int k = 0; k < 3; ++k) take(folded[k], extra.arrays[k]);
  }
}

std::unique_ptr<Object> build_result_object(const SimplifiedMesh& mesh,
                                            std::vector<std::vector<float>>& values,
                                            const std::vector<std::string>& names) {
  const int32_t v = mesh.nodeCount(), t = mesh.triangleCount(), l = mesh.lineCount();
  if (v <= 0 || (t <= 0 && l <= 0)) return nullptr;
  message_box("Simplification done.");
  const int32_t n = static_cast<int32_t>(values.size());
  std::vector<const float*> arrays(n + 1, nullptr);
  std::vector<const char*> texts(n + 1, nullptr);
  for (int32_t i = 0; i < n; ++i) {
    if (values[i].size() != static_cast<size_t>(v)) values[i].assign(v, -1000.0f);
    arrays[i] = values[i].data();
    texts[i] = names[i].c_str();
  }
  auto result = std::make_unique<Object>();
  result->build(v, l, t, 0, mesh.nodes.data(), mesh.lines.data(), mesh.triangles.data(), nullptr,
                arrays.data(), texts.data());
  return result;
}

}  // namespace Tavrin
