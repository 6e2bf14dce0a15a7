#include "mesh/object.h"

#include <strings.h>

#include <cmath>

namespace Tavrin {

void Object::set_nodes_and_box(int32_t num_nodes, const float* coordinates) {
  nodes.resize(num_nodes > 0 ? num_nodes : 0);
  for (int32_t i = 0; i < num_nodes; ++i)
    nodes[i] = Vec3(coordinates[3 * i], coordinates[3 * i + 1], coordinates[3 * i + 2]);
  update_bbox();
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

  compute_normals();

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
  compute_normals();
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

void Object::update_bbox() {
  if (nodes.empty()) return;
  Vec3 lo = nodes[0], hi = nodes[0];
  for (const Vec3& p : nodes) {
    for (int i = 0; i < 3; ++i) {
      if (p[i] < lo[i]) lo[i] = p[i];
      if (p[i] > hi[i]) hi[i] = p[i];
    }
  }
  bbox_min = lo;
  bbox_max = hi;
}

void Object::compute_normals() {
  const size_t n = nodes.size();
  normals.assign(n, Vec3());
  // Summed in triangle order on one thread so that the result never depends
  // on the number of threads.
  for (const TriangleRecord& t : triangles) {
    const Vec3& pa = nodes[t.a];
    Vec3 face = normalize(cross(nodes[t.b] - pa, nodes[t.c] - pa));
    normals[t.a] += face;
    normals[t.b] += face;
    normals[t.c] += face;
  }
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < static_cast<int64_t>(n); ++i) normals[i] = normalize(normals[i]);
}

void Object::swap_normals() {
  if (full) full->swap_normals();
  for (Vec3& v : normals) v = -v;
  graphic.reset();
  colour_map.reset();
}

void Object::swap_triangles() {
  if (full) full->swap_triangles();
  for (TriangleRecord& t : triangles) std::swap(t.b, t.c);
  compute_normals();
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
