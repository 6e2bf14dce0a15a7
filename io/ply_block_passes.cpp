#include "io/ply_block_passes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "io/ply_checks.h"

namespace Tavrin {

namespace {

void note_bad(const int32_t* v, int64_t count, int width, int64_t first_record, int64_t nodes,
              PlyFaceCounts::BadIndex& bad) {
  if (bad.record >= 0) return;
  for (int64_t i = 0; i < count * width; ++i)
    if (v[i] < 0 || v[i] >= nodes) {
      bad = {v[i], first_record + i / width};
      return;
    }
}

}  // namespace

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

bool read_vertex_pass(PlyBlockReader& reader, int64_t block, PlyVertexPass& pass) {
  const int64_t n = reader.num_nodes();
  const int file_fields = static_cast<int>(reader.field_names().size());
  std::vector<float> values;
  pass.non_finite.assign(file_fields, 0);
  pass.bad_coordinate = -1;
  if (!make_room(pass.coords, 3 * static_cast<uint64_t>(n), "hold the node coordinates") ||
      !make_room(values, static_cast<uint64_t>(file_fields) * std::min(block, n),
                 "read the vertices in blocks"))
    return false;
  std::vector<float*> dest(file_fields);
  for (int k = 0; k < file_fields; ++k) dest[k] = values.data() + k * std::min(block, n);
  for (int64_t first = 0; first < n; first += block) {
    const int64_t m = std::min(block, n - first);
    float* xyz = pass.coords.data() + 3 * first;
    if (!reader.read_vertices(first, m, xyz, dest.data())) {
      log_message(reader.error() + "\n");
      return false;
    }
    for (int64_t i = 0; i < 3 * m && pass.bad_coordinate < 0; ++i)
      if (!std::isfinite(xyz[i])) pass.bad_coordinate = 3 * first + i;
    for (int k = 0; k < file_fields; ++k)
      for (int64_t i = 0; i < m; ++i) pass.non_finite[k] += !std::isfinite(dest[k][i]);
  }
  return true;
}

void PlyFaceCounts::add(const PlyFaceBlock& b, int64_t num_nodes) {
  note_bad(b.lines.data(), static_cast<int64_t>(b.lines.size() / 2), 2, b.first_line, num_nodes,
           bad_line);
  note_bad(b.triangles.data(), static_cast<int64_t>(b.triangles.size() / 3), 3, b.first_triangle,
           num_nodes, bad_triangle);
  note_bad(b.quads.data(), static_cast<int64_t>(b.quads.size() / 4), 4, b.first_quad, num_nodes,
           bad_quad);
  lines += static_cast<int64_t>(b.lines.size() / 2);
  triangles += static_cast<int64_t>(b.triangles.size() / 3);
  quads += static_cast<int64_t>(b.quads.size() / 4);
}

std::string PlyFaceCounts::refusal(int64_t bad_coordinate, int64_t num_nodes,
                                   const std::string& file_name) const {
  if (bad_coordinate >= 0) return non_finite_coordinate_text(bad_coordinate);
  constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();
  if (lines > kMaxCount || triangles + 2 * quads > kMaxCount) return kTooManyFaces;
  const struct {
    const BadIndex& bad;
    const char* name;
  } kinds[] = {{bad_line, "line"}, {bad_triangle, "triangle"}, {bad_quad, "quadrilateral"}};
  for (const auto& kind : kinds)
    if (kind.bad.record >= 0)
      return face_index_text(kind.bad.value, kind.name, kind.bad.record, num_nodes);
  if (lines == 0 && triangles == 0 && quads == 0) return no_faces_text(file_name);
  return "";
}

}  // namespace Tavrin
