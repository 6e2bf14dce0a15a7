#include "api/mesh_convert.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "base/messages.h"
#include "io/ply_checks.h"

namespace tavrin {

using Tavrin::format;

MeshView Mesh::view(std::vector<FieldView>& views) const {
  views.clear();
  for (const Field& f : fields) views.push_back(FieldView{f.name.c_str(), f.values.data()});
  MeshView v;
  v.xyz = xyz.data();
  v.node_count = node_count();
  v.triangles = triangles.data();
  v.triangle_count = triangle_count();
  v.lines = lines.data();
  v.line_count = line_count();
  v.fields = views.data();
  v.field_count = views.size();
  return v;
}

// The sentences are the PLY reader's, so that a caller sees the same reason
// for the same fault whichever way the mesh came in.
std::string check_mesh(const MeshView& m) {
  constexpr size_t kMax = static_cast<size_t>(std::numeric_limits<int32_t>::max());
  if (m.node_count > kMax) return Tavrin::too_many_nodes_text("vertex", m.node_count);
  if (m.triangle_count > kMax || m.line_count > kMax) return Tavrin::kTooManyFaces;
  if ((m.node_count && !m.xyz) || (m.triangle_count && !m.triangles) ||
      (m.line_count && !m.lines) || (m.field_count && !m.fields))
    return "A mesh array is missing: a count above 0 needs its array";
  for (size_t i = 0; i < 3 * m.node_count; ++i)
    if (!std::isfinite(m.xyz[i]))
      return Tavrin::non_finite_coordinate_text(static_cast<int64_t>(i));
  const struct {
    const uint32_t* indices;
    size_t count;
    int width;
    const char* name;
  } kinds[] = {{m.lines, m.line_count, 2, "line"}, {m.triangles, m.triangle_count, 3, "triangle"}};
  for (const auto& kind : kinds)
    for (size_t i = 0; i < kind.width * kind.count; ++i)
      if (kind.indices[i] >= m.node_count)
        // As a 32-bit signed number, as the reader shows it: -1, not 4294967295.
        return Tavrin::face_index_text(static_cast<int32_t>(kind.indices[i]), kind.name,
                                       static_cast<int64_t>(i / kind.width),
                                       static_cast<int64_t>(m.node_count));
  for (size_t k = 0; k < m.field_count; ++k)
    if (m.node_count && !m.fields[k].values)
      return format("Field %zu has no values: it needs one per node", k);
  return {};
}

namespace detail {

std::unique_ptr<Tavrin::Object> object_from_view(const MeshView& m) {
  auto object = std::make_unique<Tavrin::Object>();
  object->nodes.resize(m.node_count);
  for (size_t i = 0; i < m.node_count; ++i)
    object->nodes[i] = Tavrin::Vec3{m.xyz[3 * i], m.xyz[3 * i + 1], m.xyz[3 * i + 2]};
  object->triangles.resize(m.triangle_count);
  for (size_t i = 0; i < m.triangle_count; ++i) {
    const uint32_t* t = m.triangles + 3 * i;
    object->triangles[i] = {static_cast<int32_t>(t[0]), static_cast<int32_t>(t[1]),
                            static_cast<int32_t>(t[2]), 0};
  }
  object->lines.resize(m.line_count);
  for (size_t i = 0; i < m.line_count; ++i)
    object->lines[i] = {static_cast<int32_t>(m.lines[2 * i]),
                        static_cast<int32_t>(m.lines[2 * i + 1]), static_cast<uint32_t>(i)};
  object->scalars.resize(m.field_count);
  for (size_t k = 0; k < m.field_count; ++k) {
    Tavrin::Scalar& s = object->scalars[k];
    if (m.fields[k].name) s.name = m.fields[k].name;
    s.values.assign(m.fields[k].values, m.fields[k].values + m.node_count);
  }
  object->update_bbox();
  return object;
}

Mesh mesh_from_object(const Tavrin::Object& o) {
  Mesh m;
  m.xyz.resize(3 * o.nodes.size());
  for (size_t i = 0; i < o.nodes.size(); ++i)
    for (int k = 0; k < 3; ++k) m.xyz[3 * i + k] = o.nodes[i][k];
  m.triangles.resize(3 * o.triangles.size());
  for (size_t i = 0; i < o.triangles.size(); ++i) {
    const Tavrin::TriangleRecord& t = o.triangles[i];
    m.triangles[3 * i] = static_cast<uint32_t>(t.a);
    m.triangles[3 * i + 1] = static_cast<uint32_t>(t.b);
    m.triangles[3 * i + 2] = static_cast<uint32_t>(t.c);
  }
  m.lines.resize(2 * o.lines.size());
  for (size_t i = 0; i < o.lines.size(); ++i) {
    m.lines[2 * i] = static_cast<uint32_t>(o.lines[i].a);
    m.lines[2 * i + 1] = static_cast<uint32_t>(o.lines[i].b);
  }
  for (const Tavrin::Scalar& s : o.scalars) m.fields.push_back(Field{s.name, s.values});
  return m;
}

}  // namespace detail
}  // namespace tavrin
