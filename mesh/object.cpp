#include "mesh/object.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

#include "mesh/node_fields.h"

namespace Tavrin {

void Object::set_nodes_and_box(int32_t num_nodes, const float* coordinates) {
  nodes.resize(num_nodes > 0 ? num_nodes : 0);
  Vec3* out = nodes.data();
#pragma omp parallel for schedule(static)
  for (int32_t i = 0; i < num_nodes; ++i)
    out[i] = Vec3(coordinates[3 * i], coordinates[3 * i + 1], coordinates[3 * i + 2]);
  update_bbox();
}

void Object::build(std::vector<Vec3>&& node_records, std::vector<LineRecord>&& line_records,
                   std::vector<TriangleRecord>&& triangle_records, std::vector<Scalar>&& fields,
                   bool with_boundary) {
  clear();
  nodes = std::move(node_records);
  lines = std::move(line_records);
  triangles = std::move(triangle_records);
  update_bbox();
  if (fields.empty())
    add_artificial_scalar();
  else
    scalars = std::move(fields);
  if (with_boundary) add_boundary_scalar();
}

void Object::build(int32_t num_nodes, int32_t num_lines, int32_t num_triangles, int32_t num_quads,
                   const float* coordinates, const int32_t* line_pairs,
                   const int32_t* triangle_triples, const int32_t* quad_quadruples,
                   const float* const* scalar_values, const char* const* scalar_names) {
  clear();
  set_nodes_and_box(num_nodes, coordinates);

  lines.resize(num_lines > 0 ? num_lines : 0);
  for (int32_t i = 0; i < num_lines; ++i)
    lines[i] = {line_pairs[2 * i], line_pairs[2 * i + 1], static_cast<uint32_t>(i)};

  int64_t total = static_cast<int64_t>(num_triangles > 0 ? num_triangles : 0) +
                  2 * static_cast<int64_t>(num_quads > 0 ? num_quads : 0);
  triangles.resize(total);
  size_t t = 0;
  for (int32_t i = 0; i < num_triangles; ++i, ++t)
    triangles[t] = {triangle_triples[3 * i], triangle_triples[3 * i + 1],
                    triangle_triples[3 * i + 2], 0};
  for (int32_t i = 0; i < num_quads; ++i) {
    const int32_t* q = quad_quadruples + 4 * i;
    triangles[t++] = {q[0], q[1], q[2], 0};
    triangles[t++] = {q[2], q[3], q[0], 0};
  }

  if (scalar_values) {
    for (int k = 0; scalar_values[k]; ++k) {
      Scalar s;
      if (scalar_names && scalar_names[k]) s.name = scalar_names[k];
      s.values.assign(scalar_values[k], scalar_values[k] + nodes.size());
      scalars.push_back(std::move(s));
    }
  } else {
    add_artificial_scalar();
  }
}

void Object::build_from_records(int32_t num_nodes, int32_t num_lines, int32_t num_triangles,
                                const Vec3* node_records, const LineRecord* line_records,
                                const TriangleRecord* triangle_records) {
  clear();
  set_nodes_and_box(num_nodes, reinterpret_cast<const float*>(node_records));
  lines.assign(line_records, line_records + (num_lines > 0 ? num_lines : 0));
  triangles.assign(triangle_records, triangle_records + (num_triangles > 0 ? num_triangles : 0));
}

void Object::clear() {
  graphic.reset();
  colour_map.reset();
  full.reset();
  name.clear();
  path.clear();
  std::vector<Vec3>().swap(nodes);
  std::vector<LineRecord>().swap(lines);
  std::vector<TriangleRecord>().swap(triangles);
  std::vector<Vec3>().swap(normals);
  std::vector<Scalar>().swap(scalars);
  octree_cache.reset();
}

namespace {

// Keeps the first of equal values like a single forward scan with strict
// comparisons does, so the box holds the same zero sign and NaN as that scan.
void take_smaller(Vec3& lo, const Vec3& p) {
  for (int i = 0; i < 3; ++i)
    if (p[i] < lo[i]) lo[i] = p[i];
}
void take_larger(Vec3& hi, const Vec3& p) {
  for (int i = 0; i < 3; ++i)
    if (p[i] > hi[i]) hi[i] = p[i];
}

}  // namespace

void Object::update_bbox() {
  if (nodes.empty()) return;
  const int64_t n = static_cast<int64_t>(nodes.size());
  const Vec3* p = nodes.data();
  // Every chunk starts from node 0 and the chunks are merged in order: the
  // result is that of one scan over all nodes.
  constexpr int kMaxChunks = 64;
  const int64_t chunks = std::min<int64_t>(kMaxChunks, std::max<int64_t>(1, n / 65536));
  Vec3 lo[kMaxChunks], hi[kMaxChunks];
#pragma omp parallel for schedule(static)
  for (int64_t c = 0; c < chunks; ++c) {
    Vec3 l = p[0], h = p[0];
    for (int64_t i = n * c / chunks; i < n * (c + 1) / chunks; ++i) {
      take_smaller(l, p[i]);
      take_larger(h, p[i]);
    }
    lo[c] = l;
    hi[c] = h;
  }
  for (int64_t c = 1; c < chunks; ++c) {
    take_smaller(lo[0], lo[c]);
    take_larger(hi[0], hi[c]);
  }
  bbox_min = lo[0];
  bbox_max = hi[0];
}

void Object::compute_normals() { node_normals(nodes, triangles, normals); }

void Object::swap_normals() {
  if (full) full->swap_normals();
  ensure_normals();
  for (Vec3& v : normals) v = -v;
  graphic.reset();
  colour_map.reset();
}

void Object::swap_triangles() {
  if (full) full->swap_triangles();
  for (TriangleRecord& t : triangles) std::swap(t.b, t.c);
  drop_normals();
  graphic.reset();
  colour_map.reset();
}

std::vector<std::string> Object::scalar_names() const {
  std::vector<std::string> out;
  out.reserve(scalars.size());
  for (const Scalar& s : scalars) out.push_back(s.name);
  return out;
}

void Object::append_scalar(Scalar scalar) { scalars.push_back(std::move(scalar)); }

void Object::remove_scalar(const char* scalar_name) {
  if (full) full->remove_scalar(scalar_name);
  if (!scalar_name) return;
  for (size_t i = scalars.size(); i-- > 0;) {
    if (!scalars[i].name.empty() && strcasecmp(scalars[i].name.c_str(), scalar_name) == 0) {
      scalars.erase(scalars.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

}  // namespace Tavrin
