#include "simplify/stream_file_run.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "base/group_digits.h"
#include "base/messages.h"
#include "io/ply_block_passes.h"
#include "io/ply_block_reader.h"
#include "io/ply_checks.h"
#include "mesh/node_fields.h"
#include "mesh/stream_boundary.h"
#include "simplify/run_result.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

namespace {

// Says why the file is refused; false.
bool refuse(const std::string& text) {
  log_message(text + "\n");
  return false;
}

// One streamed run over one file, step by step. Every step but the last
// returns false, having said why, when the run ends without a mesh.
class StreamFileRun {
 public:
  StreamFileRun(const std::string& path, const SimplifyOptions& options,
                const StreamSettings& settings)
      : path_(path), options_(options), settings_(settings) {}

  StreamOutcome run(std::unique_ptr<Object>& result, const StreamGridChooser& choose_grid);

 private:
  bool open();
  bool face_checks();
  bool boundary_block(const PlyFaceBlock& b, bool count);
  bool boundary_passes();
  void log_mesh();
  bool field_block(int64_t first, int64_t count, int32_t first_field, int32_t field_count,
                   float* const* out);
  bool checked(const std::vector<int32_t>& t);
  bool sweep(const std::function<bool(const int32_t*, int64_t)>& visit);
  bool normal_inputs();
  bool value_inputs();

  const std::string& path_;
  const SimplifyOptions& options_;
  const StreamSettings& settings_;
  PlyBlockReader reader_;
  int64_t n_ = 0;
  int64_t block_ = 1;
  int file_fields_ = 0;
  PlyVertexPass vertices_;
  std::optional<StreamBoundary> boundary_;
  PlyFaceCounts counts_;
  std::vector<int32_t> split_;
  bool split_failed_ = false;
  // The object's fields: those of the file (or "Artificial"), then "Boundary".
  std::vector<std::string> names_;
  bool artificial_ = false;
  // Set when a later read fails (having said why): the run then ends with
  // no mesh, whatever the simplification made of the part it saw.
  bool failed_ = false;
  // Set when a sweep finds an index outside the nodes.
  bool changed_ = false;
  std::vector<float*> file_dest_;
  InputChoice choice_;
  std::vector<float> inputs_[3];
};

// The checks of the name and type, the header, and the pass over the
// vertices: the coordinates, checked, and the values that are not finite,
// counted per field.
bool StreamFileRun::open() {
  if (const std::string why = extension_error(path_); !why.empty()) return refuse(why);
  if (!stream_covers(options_.type))
    return refuse(
        format("%s cannot be streamed: its cells depend on the node normals, which need "
               "every triangle in memory",
               simp_type_keyword(options_.type)));
  if (!reader_.open(path_)) return refuse(reader_.error());
  n_ = reader_.num_nodes();
  block_ = std::clamp<int64_t>(settings_.block, 1, kMaxStreamBlock);
  file_fields_ = static_cast<int>(reader_.field_names().size());
  return read_vertex_pass(reader_, block_, vertices_);
}

// Hands the triangles of a block (its quadrilaterals split) to the boundary:
// to be counted, or to be added in the current pass.
bool StreamFileRun::boundary_block(const PlyFaceBlock& b, bool count) {
  auto add = [&](const std::vector<int32_t>& t) {
    const int64_t m = static_cast<int64_t>(t.size() / 3);
    if (count)
      boundary_->count_triangles(t.data(), m);
    else
      boundary_->add_triangles(t.data(), m);
  };
  add(b.triangles);
  if (!b.quads.empty()) {
    if (!split_quads(b.quads, split_)) {
      split_failed_ = true;
      return false;
    }
    add(split_);
  }
  return true;
}

// First pass over the faces: counts, index checks and the first part of
// the boundary edges.
bool StreamFileRun::face_checks() {
  boundary_.emplace(n_);
  if (boundary_->missing())
    return refuse(not_enough_memory("mark the boundary", boundary_->missing()));
  const bool read = reader_.read_faces(block_, [&](const PlyFaceBlock& b) {
    counts_.add(b, n_);
    return boundary_block(b, true);
  });
  if (split_failed_) return false;
  if (!read || !reader_.check_rest()) return refuse(reader_.error());
  const std::string why =
      counts_.refusal(vertices_.bad_coordinate, n_, after_last_separator(path_));
  return why.empty() || refuse(why);
}

// The remaining passes over the boundary edges.
bool StreamFileRun::boundary_passes() {
  // The edge passes hold at most the budget, and no more than the per-node
  // arrays that stay in memory anyway, but
  // never less than 64 MB: below that the passes cost more than they save.
  const uint64_t edge_budget = std::max<uint64_t>(
      kMinEdgeBudget, std::min<uint64_t>(settings_.budget, 16 * static_cast<uint64_t>(n_)));
  const int parts = boundary_->plan(edge_budget);
  for (int part = 0; part < parts; ++part) {
    if (!boundary_->begin_pass(part))
      return refuse(not_enough_memory("mark the boundary", boundary_->missing()));
    if (!reader_.read_faces(block_,
                            [&](const PlyFaceBlock& b) { return boundary_block(b, false); }))
      return split_failed_ ? false : refuse(reader_.error());
    if (!boundary_->end_pass()) return refuse(changed_file_message(path_));
  }
  boundary_->finish();
  return true;
}

// The lines a load says about the mesh, and the object's field names.
void StreamFileRun::log_mesh() {
  for (int k = 0; k < file_fields_; ++k)
    if (vertices_.non_finite[k] > 0)
      log_message(non_finite_values_text(reader_.field_names()[k], vertices_.non_finite[k]) + "\n");
  names_ = reader_.field_names();
  artificial_ = names_.empty();
  if (artificial_) names_.push_back("Artificial");
  if (boundary_->any())
    names_.push_back("Boundary");
  else
    log_message("No boundary could be found.\n");
  const int64_t num_triangles = counts_.triangles + 2 * counts_.quads;
  log_message(
      group_digits_text(format("num nodes = %d, num triangles = %d, scalars = %d",
                               static_cast<int>(n_), static_cast<int>(num_triangles), file_fields_),
                        1024) +
      "\n");
}

// Values of the object's fields for a node range, from the file, the
// coordinates or the boundary marks.
bool StreamFileRun::field_block(int64_t first, int64_t count, int32_t first_field,
                                int32_t field_count, float* const* out) {
  file_dest_.assign(file_fields_, nullptr);
  bool from_file = false;
  for (int j = 0; j < field_count; ++j) {
    const int f = first_field + j;
    if (f < file_fields_ && !artificial_) {
      file_dest_[f] = out[j];
      from_file = true;
    }
  }
  if (from_file && !reader_.read_vertices(first, count, nullptr, file_dest_.data())) {
    if (!failed_) log_message(reader_.error() + "\n");
    failed_ = true;
    return false;
  }
  const std::vector<uint8_t>& marks = boundary_->marks();
  const std::vector<float>& coords = vertices_.coords;
  for (int j = 0; j < field_count; ++j) {
    const int f = first_field + j;
    float* v = out[j];
    if (f < file_fields_ && !artificial_) {
      for (int64_t i = 0; i < count; ++i)
        if (!std::isfinite(v[i])) v[i] = std::numeric_limits<float>::lowest();
    } else if (artificial_ && f == 0) {
      for (int64_t i = 0; i < count; ++i) {
        const float* p = coords.data() + 3 * (first + i);
        v[i] = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      }
    } else {
      for (int64_t i = 0; i < count; ++i) v[i] = marks[first + i] ? 1000.0f : 0.0f;
    }
  }
  return true;
}

// The indices were checked by the first pass; a file that changes under
// a later one is caught here instead of reading outside the nodes.
bool StreamFileRun::checked(const std::vector<int32_t>& t) {
  for (int32_t v : t)
    if (v < 0 || v >= n_) {
      changed_ = true;
      return false;
    }
  return true;
}

// One sweep over the triangles in the order of the in-memory mesh: the
// triangles of the file, then two per quadrilateral.
bool StreamFileRun::sweep(const std::function<bool(const int32_t*, int64_t)>& visit) {
  reader_.clear_error();
  bool ok = reader_.read_faces(block_, [&](const PlyFaceBlock& b) {
    return b.triangles.empty() ||
           (checked(b.triangles) &&
            visit(b.triangles.data(), static_cast<int64_t>(b.triangles.size() / 3)));
  });
  if (ok && counts_.quads > 0)
    ok = reader_.read_faces(block_, [&](const PlyFaceBlock& b) {
      if (b.quads.empty()) return true;
      if (!split_quads(b.quads, split_)) {
        failed_ = true;
        return false;
      }
      return checked(split_) && visit(split_.data(), static_cast<int64_t>(split_.size() / 3));
    });
  if (!ok && !failed_ && (changed_ || !reader_.error().empty())) {
    log_message((changed_ ? changed_file_message(path_) : reader_.error()) + "\n");
    failed_ = true;
  }
  return ok;
}

// The node normals, summed as the in-memory mesh sums them (blocks in file
// order), in memory.
bool StreamFileRun::normal_inputs() {
  static_assert(sizeof(Vec3) == 3 * sizeof(float));
  std::vector<Vec3> sums;
  if (!make_room(sums, static_cast<uint64_t>(n_), "sum the node normals")) return false;
  const Vec3* nodes = reinterpret_cast<const Vec3*>(vertices_.coords.data());
  const bool ok = sweep([&](const int32_t* t, int64_t count) {
    add_node_normals(nodes, n_, t, count, 3, sums.data());
    return true;
  });
  if (!ok) return false;
  for (int k = 0; k < 3; ++k)
    if (!make_room(inputs_[k], static_cast<uint64_t>(n_), "hold the node normals")) return false;
  for (int64_t i = 0; i < n_; ++i) {
    const Vec3 u = normalize(sums[i]);
    inputs_[0][i] = u.x, inputs_[1][i] = u.y, inputs_[2][i] = u.z;
  }
  return true;
}

// The per-node values the scalar types fold in, in memory.
bool StreamFileRun::value_inputs() {
  for (int k = 0; k < choice_.count; ++k) {
    if (!make_room(inputs_[k], static_cast<uint64_t>(n_), "hold the node values")) return false;
    for (int64_t first = 0; first < n_; first += block_) {
      const int64_t m = std::min(block_, n_ - first);
      float* out = inputs_[k].data() + first;
      if (!field_block(first, m, choice_.fields[k], 1, &out)) return false;
    }
  }
  return true;
}

StreamOutcome StreamFileRun::run(std::unique_ptr<Object>& result,
                                 const StreamGridChooser& choose_grid) {
  result.reset();
  if (!open() || !face_checks() || !boundary_passes()) return StreamOutcome::ReadFailed;
  log_mesh();
  choice_ = choose_folded_inputs(names_, -1, options_.type, false);
  if (!(choice_.normals ? normal_inputs() : value_inputs())) return StreamOutcome::ReadFailed;

  StreamedMesh mesh;
  for (int k = 0; k < choice_.count; ++k) mesh.inputs.arrays[k] = inputs_[k].data();
  mesh.inputs.count = choice_.count;
  mesh.coords = vertices_.coords.data();
  mesh.num_nodes = n_;
  mesh.num_triangles = counts_.triangles + 2 * counts_.quads;
  mesh.field_names = names_;
  mesh.sweep = [this](const std::function<bool(const int32_t*, int64_t)>& visit) {
    return sweep(visit);
  };
  mesh.fields = [this](int64_t first, int64_t count, int32_t first_field, int32_t field_count,
                       float* const* out) {
    return field_block(first, count, first_field, field_count, out);
  };
  mesh.node_block = block_;
  SimplifyOptions run = options_;
  if (choose_grid) {
    const std::optional<int32_t> grid = choose_grid(mesh, choice_.selected);
    if (failed_) return StreamOutcome::ReadFailed;
    if (!grid) return StreamOutcome::NoMesh;
    run.grid_size = *grid;
  }
  result = simplify_streamed(mesh, run, choice_.selected);
  if (failed_) {
    result.reset();
    return StreamOutcome::ReadFailed;
  }
  return result ? StreamOutcome::Simplified : StreamOutcome::NoMesh;
}

}  // namespace

StreamOutcome stream_simplify_file(const std::string& path, const SimplifyOptions& options,
                                   const StreamSettings& settings, std::unique_ptr<Object>& result,
                                   const StreamGridChooser& choose_grid) {
  StreamFileRun run(path, options, settings);
  return run.run(result, choose_grid);
}

}  // namespace Tavrin
