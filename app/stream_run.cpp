#include "app/stream_run.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "app/stream_boundary.h"
#include "base/group_digits.h"
#include "base/messages.h"
#include "io/ply_block_reader.h"
#include "io/ply_checks.h"
#include "simplify/run_result.h"
#include "simplify/stream_simplify.h"

namespace Tavrin {

uint64_t parse_byte_size(const char* text) {
  if (!text || !*text) return 0;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || text[0] == '-') return 0;
  uint64_t scale = 1;
  if (*end == 'k' || *end == 'K') scale = uint64_t{1} << 10;
  if (*end == 'm' || *end == 'M') scale = uint64_t{1} << 20;
  if (*end == 'g' || *end == 'G') scale = uint64_t{1} << 30;
  if (scale != 1) ++end;
  if (*end != '\0' || v == 0 || v > std::numeric_limits<uint64_t>::max() / scale) return 0;
  return static_cast<uint64_t>(v) * scale;
}

namespace {

// The bytes of the first line of a /proc file that matches `pattern` (a
// scanf pattern of one "%llu kB" number); 0 when there is none.
uint64_t proc_kilobytes(const char* path, const char* pattern) {
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  char line[256];
  unsigned long long kb = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, pattern, &kb) == 1;
  std::fclose(f);
  return found ? static_cast<uint64_t>(kb) * 1024 : 0;
}

// MemAvailable of /proc/meminfo, else the physical memory; 0 when unknown.
uint64_t available_memory() {
  if (const uint64_t bytes = proc_kilobytes("/proc/meminfo", "MemAvailable: %llu kB")) return bytes;
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) : 0;
}

}  // namespace

bool set_stream_setting(StreamSettings& settings, const char* name, const char* text, bool block) {
  const uint64_t value = parse_byte_size(text);
  if (value == 0) {
    log_message(format("Invalid %s '%s': give a positive number.\n", name, text ? text : ""));
    return false;
  }
  if (!block) {
    settings.budget = value;
    return true;
  }
  if (value > static_cast<uint64_t>(kMaxStreamBlock))
    log_message(
        format("%s '%s' is capped at ", name, text) +
        group_digits_text(
            format("%lld vertices or faces.\n", static_cast<long long>(kMaxStreamBlock)), 256));
  settings.block = static_cast<int64_t>(std::min<uint64_t>(value, kMaxStreamBlock));
  return true;
}

bool stream_settings_from_environment(StreamSettings& settings) {
  settings = StreamSettings();
  const uint64_t memory = available_memory();
  if (memory > 0) settings.budget = memory / 2;
  // An empty variable counts as unset.
  for (const char* name : {"TAVRIN_STREAM_BLOCK", "TAVRIN_STREAM_BUDGET"}) {
    const char* text = std::getenv(name);
    if (text && *text &&
        !set_stream_setting(settings, name, text, std::strcmp(name, "TAVRIN_STREAM_BLOCK") == 0))
      return false;
  }
  return true;
}

uint64_t peak_resident_bytes() { return proc_kilobytes("/proc/self/status", "VmHWM: %llu kB"); }

void log_stream_summary(const std::string& path, const StreamSettings& settings) {
  // Only the numbers are grouped: a path may hold digits.
  const std::string numbers = group_digits_text(
      format("%lld vertices or faces: peak memory %.1f MB.", static_cast<long long>(settings.block),
             static_cast<double>(peak_resident_bytes()) / (1024.0 * 1024.0)),
      1024);
  log_message(format("'%s' was streamed in blocks of %s\n", path.c_str(), numbers.c_str()));
}

bool exceeds_memory_budget(const std::string& path, uint64_t budget) {
  PlyBlockReader reader;
  if (!reader.open(path)) return false;
  // The in-memory road maps the whole file, keeps about 60 bytes per face
  // while it builds and simplifies, and per node its coordinates, normal,
  // fields and groupings.
  const uint64_t nodes = static_cast<uint64_t>(reader.num_nodes());
  const uint64_t faces = static_cast<uint64_t>(reader.num_face_records());
  const uint64_t need = reader.file_bytes() + 60 * faces +
                        (40 + 4 * static_cast<uint64_t>(reader.field_names().size())) * nodes;
  return need > budget;
}

namespace {

// The first face index outside the nodes, per kind, as the reader reports it.
struct BadIndex {
  int32_t value = 0;
  int64_t record = -1;
};

void note_bad(const int32_t* v, int64_t count, int width, int64_t first_record, int64_t nodes,
              BadIndex& bad) {
  if (bad.record >= 0) return;
  for (int64_t i = 0; i < count * width; ++i)
    if (v[i] < 0 || v[i] >= nodes) {
      bad = {v[i], first_record + i / width};
      return;
    }
}

// The quadrilaterals of a block as their two triangles (a, b, c), (c, d, a);
// false, having said so, when there is no memory for them.
bool split_quads(const std::vector<int32_t>& quads, std::vector<int32_t>& out) {
  const size_t q = quads.size() / 4;
  try {
    out.resize(6 * q);
  } catch (const std::bad_alloc&) {
    log_message(not_enough_memory("split the quadrilaterals", 6 * q * sizeof(int32_t)) + "\n");
    return false;
  }
  for (size_t i = 0; i < q; ++i) {
    const int32_t* d = quads.data() + 4 * i;
    int32_t* t = out.data() + 6 * i;
    t[0] = d[0], t[1] = d[1], t[2] = d[2];
    t[3] = d[2], t[4] = d[3], t[5] = d[0];
  }
  return true;
}

// Sizes v to count elements (each set to `value`); false, having said so in
// one line, when the memory is not there.
template <class T>
bool make_room(std::vector<T>& v, uint64_t count, const char* what, T value = T()) {
  try {
    v.assign(static_cast<size_t>(count), value);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  log_message(not_enough_memory(what, count * sizeof(T)) + "\n");
  return false;
}

std::string after_last_separator(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

StreamOutcome stream_simplify_file(const std::string& path, const SimplifyOptions& options,
                                   const StreamSettings& settings, std::unique_ptr<Object>& result,
                                   const StreamGridChooser& choose_grid) {
  result.reset();
  auto refuse = [](const std::string& text) {
    log_message(text + "\n");
    return StreamOutcome::ReadFailed;
  };
  const std::string file_name = after_last_separator(path);
  if (const std::string why = extension_error(path); !why.empty()) return refuse(why);
  if (!stream_covers(options.type))
    return refuse(
        format("%s cannot be streamed: its cells depend on the node normals, which need "
               "every triangle in memory",
               simp_type_keyword(options.type)));

  PlyBlockReader reader;
  if (!reader.open(path)) return refuse(reader.error());
  const int64_t n = reader.num_nodes();
  const int64_t block = std::clamp<int64_t>(settings.block, 1, kMaxStreamBlock);
  const int file_fields = static_cast<int>(reader.field_names().size());

  // Pass over the vertices: the coordinates, checked, and the values that
  // are not finite, counted per field.
  std::vector<float> coords, values;
  std::vector<int64_t> non_finite(file_fields, 0);
  if (!make_room(coords, 3 * static_cast<uint64_t>(n), "hold the node coordinates") ||
      !make_room(values, static_cast<uint64_t>(file_fields) * std::min(block, n),
                 "read the vertices in blocks"))
    return StreamOutcome::ReadFailed;
  int64_t bad_coordinate = -1;
  {
    std::vector<float*> dest(file_fields);
    for (int k = 0; k < file_fields; ++k) dest[k] = values.data() + k * std::min(block, n);
    for (int64_t first = 0; first < n; first += block) {
      const int64_t m = std::min(block, n - first);
      float* xyz = coords.data() + 3 * first;
      if (!reader.read_vertices(first, m, xyz, dest.data())) return refuse(reader.error());
      for (int64_t i = 0; i < 3 * m && bad_coordinate < 0; ++i)
        if (!std::isfinite(xyz[i])) bad_coordinate = 3 * first + i;
      for (int k = 0; k < file_fields; ++k)
        for (int64_t i = 0; i < m; ++i) non_finite[k] += !std::isfinite(dest[k][i]);
    }
  }

  // First pass over the faces: counts, index checks and the first part of
  // the boundary edges.
  std::vector<float>().swap(values);
  StreamBoundary boundary(n);
  if (boundary.missing()) return refuse(not_enough_memory("mark the boundary", boundary.missing()));
  int64_t lines = 0, triangles = 0, quads = 0;
  BadIndex bad_line, bad_triangle, bad_quad;
  std::vector<int32_t> split;
  bool split_failed = false;
  auto boundary_block = [&](const PlyFaceBlock& b, bool count) {
    auto add = [&](const std::vector<int32_t>& t) {
      const int64_t m = static_cast<int64_t>(t.size() / 3);
      if (count)
        boundary.count_triangles(t.data(), m);
      else
        boundary.add_triangles(t.data(), m);
    };
    add(b.triangles);
    if (!b.quads.empty()) {
      if (!split_quads(b.quads, split)) {
        split_failed = true;
        return false;
      }
      add(split);
    }
    return true;
  };
  const bool read = reader.read_faces(block, [&](const PlyFaceBlock& b) {
    note_bad(b.lines.data(), static_cast<int64_t>(b.lines.size() / 2), 2, b.first_line, n,
             bad_line);
    note_bad(b.triangles.data(), static_cast<int64_t>(b.triangles.size() / 3), 3, b.first_triangle,
             n, bad_triangle);
    note_bad(b.quads.data(), static_cast<int64_t>(b.quads.size() / 4), 4, b.first_quad, n,
             bad_quad);
    lines += static_cast<int64_t>(b.lines.size() / 2);
    triangles += static_cast<int64_t>(b.triangles.size() / 3);
    quads += static_cast<int64_t>(b.quads.size() / 4);
    return boundary_block(b, true);
  });
  if (split_failed) return StreamOutcome::ReadFailed;
  if (!read || !reader.check_rest()) return refuse(reader.error());
  if (bad_coordinate >= 0) return refuse(non_finite_coordinate_text(bad_coordinate));
  constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();
  if (lines > kMaxCount || triangles + 2 * quads > kMaxCount) return refuse(kTooManyFaces);
  const struct {
    const BadIndex& bad;
    const char* name;
  } kinds[] = {{bad_line, "line"}, {bad_triangle, "triangle"}, {bad_quad, "quadrilateral"}};
  for (const auto& kind : kinds)
    if (kind.bad.record >= 0)
      return refuse(face_index_text(kind.bad.value, kind.name, kind.bad.record, n));
  if (lines == 0 && triangles == 0 && quads == 0) return refuse(no_faces_text(file_name));
  // The edge passes hold at most the budget, and no more than the per-node
  // arrays that stay in memory anyway, but
  // never less than 64 MB: below that the passes cost more than they save.
  const uint64_t edge_budget = std::max<uint64_t>(
      kMinEdgeBudget, std::min<uint64_t>(settings.budget, 16 * static_cast<uint64_t>(n)));
  const int parts = boundary.plan(edge_budget);
  for (int part = 0; part < parts; ++part) {
    if (!boundary.begin_pass(part))
      return refuse(not_enough_memory("mark the boundary", boundary.missing()));
    if (!reader.read_faces(block, [&](const PlyFaceBlock& b) { return boundary_block(b, false); }))
      return split_failed ? StreamOutcome::ReadFailed : refuse(reader.error());
    if (!boundary.end_pass()) return refuse(changed_file_message(path));
  }
  boundary.finish();

  for (int k = 0; k < file_fields; ++k)
    if (non_finite[k] > 0)
      log_message(non_finite_values_text(reader.field_names()[k], non_finite[k]) + "\n");
  // The object's fields: those of the file (or "Artificial"), then "Boundary".
  std::vector<std::string> names = reader.field_names();
  const bool artificial = names.empty();
  if (artificial) names.push_back("Artificial");
  if (boundary.any())
    names.push_back("Boundary");
  else
    log_message("No boundary could be found.\n");
  const int64_t num_triangles = triangles + 2 * quads;
  log_message(
      group_digits_text(format("num nodes = %d, num triangles = %d, scalars = %d",
                               static_cast<int>(n), static_cast<int>(num_triangles), file_fields),
                        1024) +
      "\n");

  // Set when a later read fails (having said why): the run then ends with
  // no mesh, whatever the simplification made of the part it saw.
  bool failed = false;
  // Values of the object's fields for a node range, from the file, the
  // coordinates or the boundary marks.
  std::vector<float> file_values;
  std::vector<float*> file_dest(file_fields, nullptr);
  const std::vector<uint8_t>& marks = boundary.marks();
  FieldBlockReader field_block = [&](int64_t first, int64_t count, int32_t first_field,
                                     int32_t field_count, float* const* out) {
    std::fill(file_dest.begin(), file_dest.end(), nullptr);
    bool from_file = false;
    for (int j = 0; j < field_count; ++j) {
      const int f = first_field + j;
      if (f < file_fields && !artificial) {
        file_dest[f] = out[j];
        from_file = true;
      }
    }
    if (from_file && !reader.read_vertices(first, count, nullptr, file_dest.data())) {
      if (!failed) log_message(reader.error() + "\n");
      failed = true;
      return false;
    }
    for (int j = 0; j < field_count; ++j) {
      const int f = first_field + j;
      float* v = out[j];
      if (f < file_fields && !artificial) {
        for (int64_t i = 0; i < count; ++i)
          if (!std::isfinite(v[i])) v[i] = std::numeric_limits<float>::lowest();
      } else if (artificial && f == 0) {
        for (int64_t i = 0; i < count; ++i) {
          const float* p = coords.data() + 3 * (first + i);
          v[i] = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        }
      } else {
        for (int64_t i = 0; i < count; ++i) v[i] = marks[first + i] ? 1000.0f : 0.0f;
      }
    }
    return true;
  };

  // One sweep over the triangles in the order of the in-memory mesh: the
  // triangles of the file, then two per quadrilateral.
  // The indices were checked by the first pass; a file that changes under
  // a later one is caught here instead of reading outside the nodes.
  bool changed = false;
  auto checked = [&](const std::vector<int32_t>& t) {
    for (int32_t v : t)
      if (v < 0 || v >= n) {
        changed = true;
        return false;
      }
    return true;
  };
  TriangleSweep sweep = [&](const std::function<bool(const int32_t*, int64_t)>& visit) {
    reader.clear_error();
    bool ok = reader.read_faces(block, [&](const PlyFaceBlock& b) {
      return b.triangles.empty() ||
             (checked(b.triangles) &&
              visit(b.triangles.data(), static_cast<int64_t>(b.triangles.size() / 3)));
    });
    if (ok && quads > 0)
      ok = reader.read_faces(block, [&](const PlyFaceBlock& b) {
        if (b.quads.empty()) return true;
        if (!split_quads(b.quads, split)) {
          failed = true;
          return false;
        }
        return checked(split) && visit(split.data(), static_cast<int64_t>(split.size() / 3));
      });
    if (!ok && !failed && (changed || !reader.error().empty())) {
      log_message((changed ? changed_file_message(path) : reader.error()) + "\n");
      failed = true;
    }
    return ok;
  };

  // The per-node inputs of the scalar types, in memory.
  const InputChoice choice = choose_folded_inputs(names, -1, options.type, false);
  std::vector<float> inputs[3];
  StreamedMesh mesh;
  if (choice.normals) {
    std::vector<float> sums;
    if (!make_room(sums, 3 * static_cast<uint64_t>(n), "sum the node normals"))
      return StreamOutcome::ReadFailed;
    const bool ok = sweep([&](const int32_t* t, int64_t count) {
      for (int64_t i = 0; i < count; ++i) {
        const int32_t* c = t + 3 * i;
        const Vec3 pa(coords[3 * c[0]], coords[3 * c[0] + 1], coords[3 * c[0] + 2]);
        const Vec3 pb(coords[3 * c[1]], coords[3 * c[1] + 1], coords[3 * c[1] + 2]);
        const Vec3 pc(coords[3 * c[2]], coords[3 * c[2] + 1], coords[3 * c[2] + 2]);
        const Vec3 u = normalize(cross(pb - pa, pc - pa));
        for (int k = 0; k < 3; ++k) {
          float* s = sums.data() + 3 * static_cast<int64_t>(c[k]);
          Vec3 sum(s[0], s[1], s[2]);
          sum += u;
          s[0] = sum.x, s[1] = sum.y, s[2] = sum.z;
        }
      }
      return true;
    });
    if (!ok) return StreamOutcome::ReadFailed;
    for (int k = 0; k < 3; ++k)
      if (!make_room(inputs[k], static_cast<uint64_t>(n), "hold the node normals"))
        return StreamOutcome::ReadFailed;
    for (int64_t i = 0; i < n; ++i) {
      const Vec3 u = normalize(Vec3(sums[3 * i], sums[3 * i + 1], sums[3 * i + 2]));
      inputs[0][i] = u.x, inputs[1][i] = u.y, inputs[2][i] = u.z;
    }
  } else {
    for (int k = 0; k < choice.count; ++k) {
      if (!make_room(inputs[k], static_cast<uint64_t>(n), "hold the node values"))
        return StreamOutcome::ReadFailed;
      for (int64_t first = 0; first < n; first += block) {
        const int64_t m = std::min(block, n - first);
        float* out = inputs[k].data() + first;
        if (!field_block(first, m, choice.fields[k], 1, &out)) return StreamOutcome::ReadFailed;
      }
    }
  }
  for (int k = 0; k < choice.count; ++k) mesh.inputs.arrays[k] = inputs[k].data();
  mesh.inputs.count = choice.count;

  mesh.coords = coords.data();
  mesh.num_nodes = n;
  mesh.num_triangles = num_triangles;
  mesh.field_names = names;
  mesh.sweep = sweep;
  mesh.fields = field_block;
  mesh.node_block = block;
  SimplifyOptions run = options;
  if (choose_grid) {
    const std::optional<int32_t> grid = choose_grid(mesh, choice.selected);
    if (failed) return StreamOutcome::ReadFailed;
    if (!grid) return StreamOutcome::NoMesh;
    run.grid_size = *grid;
  }
  result = simplify_streamed(mesh, run, choice.selected);
  if (failed) {
    result.reset();
    return StreamOutcome::ReadFailed;
  }
  return result ? StreamOutcome::Simplified : StreamOutcome::NoMesh;
}

}  // namespace Tavrin
