// The mesh: nodes with normals, line segments, triangles, named per-node
// scalar fields, bounding box and the drawing state of the viewer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/vec3.h"

namespace Tavrin {

struct LineRecord {
  int32_t a = 0, b = 0;
  uint32_t source = 0;  // position in the list the segment was built from
};

struct TriangleRecord {
  int32_t a = 0, b = 0, c = 0;
  int32_t tag = 0;  // 0 from files; carried unchanged between objects
};

// A named per-node field of one float per node.
struct Scalar {
  std::string name;           // empty: no name
  std::vector<float> values;  // one per node
  double step = -1.0;         // result step written to GiD; -1 unset

  uint64_t count() const { return values.size(); }
};

// State that a subsystem keeps inside an object between operations (the
// octree of the octree simplifier, graphic resources of the viewer).
struct ObjectCache {
  virtual ~ObjectCache() = default;
};

// Three indices into the scalar list forming a vector field.
struct VectorTriple {
  int first = -1, second = -1, third = -1;
};

class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ~Object() { clear(); }

  // Builds from the plain arrays a reader produces (no normals until
  // ensure_normals). The quads are split into
  // the triangles (a, b, c) and (c, d, a) after all input triangles.
  // `scalar_values` is a null-terminated list of per-node float arrays with
  // `scalar_names` in parallel (an entry may be null); when the list itself
  // is null the object receives the "Artificial" field instead.
  void build(int32_t num_nodes, int32_t num_lines, int32_t num_triangles, int32_t num_quads,
             const float* coordinates, const int32_t* line_pairs, const int32_t* triangle_triples,
             const int32_t* quad_quadruples, const float* const* scalar_values,
             const char* const* scalar_names);

  // Takes the arrays over instead of copying them; quads must already be
  // split into triangles. An empty `scalars` gives the object the
  // "Artificial" field; `with_boundary` then adds the "Boundary" field as
  // add_boundary_scalar does.
  void build(std::vector<Vec3>&& node_records, std::vector<LineRecord>&& line_records,
             std::vector<TriangleRecord>&& triangle_records, std::vector<Scalar>&& fields,
             bool with_boundary);

  // Builds from arrays already in record form; no scalars.
  void build_from_records(int32_t num_nodes, int32_t num_lines, int32_t num_triangles,
                          const Vec3* nodes, const LineRecord* lines,
                          const TriangleRecord* triangles);

  // Releases the contents; drawing state and scalar_index are kept.
  void clear();

  void set_name(const char* text) { name = text ? text : ""; }
  void set_path(const char* text) { path = text ? text : ""; }

  int32_t num_nodes() const { return static_cast<int32_t>(nodes.size()); }
  int32_t num_lines() const { return static_cast<int32_t>(lines.size()); }
  int32_t num_triangles() const { return static_cast<int32_t>(triangles.size()); }

  void update_bbox();
  // Node normals are made when first needed (drawing, the normals-driven
  // types): most batch runs never read them, and they cost as much as the
  // rest of loading. Operations that change the triangles drop them.
  void compute_normals();
  void ensure_normals() {
    if (normals.size() != nodes.size()) compute_normals();
  }
  void swap_normals();
  void swap_triangles();

  // Copies of the scalar names; empty when the object has no scalars.
  std::vector<std::string> scalar_names() const;

  // Adds a field at the end of the scalar list.
  void append_scalar(Scalar scalar);
  // Removes the last field of that name (ignoring case); applies to full first.
  void remove_scalar(const char* name);

  // Mesh operations (mesh/refine.cpp, mesh/boundary.cpp, mesh/renumber.cpp).
  void refine();
  void add_boundary_scalar();
  void add_artificial_scalar();
  void renumerate();

  // Vector selection among the scalar fields (mesh/vector_triple.cpp).
  std::optional<VectorTriple> find_vector_triple() const;
  // "%s, %s, %s" with the three names; empty when there is no triple.
  std::string vector_description() const;

  Box box() const { return {bbox_min, bbox_max}; }

  std::unique_ptr<Object> full;  // the mesh this object stands in for
  std::string name;              // short name, the mesh name in GiD files
  std::string path;              // file it was read from
  std::vector<Vec3> nodes;
  std::vector<LineRecord> lines;
  std::vector<TriangleRecord> triangles;
  std::vector<Vec3> normals;
  std::vector<Scalar> scalars;
  Vec3 bbox_min{kLargestFloat, kLargestFloat, kLargestFloat};
  Vec3 bbox_max{-kLargestFloat, -kLargestFloat, -kLargestFloat};
  std::unique_ptr<ObjectCache> graphic;
  int32_t render_method = 2;
  int32_t draw_style = 2;
  int32_t cull_face = 0;
  int32_t draw_elements = 14;
  bool show_bbox = false;
  bool show_grid = false;
  bool draw_scalar = false;
  std::unique_ptr<ObjectCache> octree_cache;
  std::unique_ptr<ObjectCache> colour_map;
  int32_t scalar_index = -1;

 private:
  void set_nodes_and_box(int32_t num_nodes, const float* coordinates);
  void drop_normals() { std::vector<Vec3>().swap(normals); }
};

}  // namespace Tavrin
