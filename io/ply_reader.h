// Reading PLY meshes: the vertex element gives the nodes and one scalar field
// per further vertex property, the face element's index lists give line
// segments, triangles and quadrilaterals.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/object.h"

namespace Tavrin {

// What a read hands out: the inputs of Object::build.
struct PlyData {
  int32_t num_nodes = 0;
  int32_t num_lines = 0;
  int32_t num_triangles = 0;
  int32_t num_quads = 0;
  std::vector<float> coordinates;                 // 3 per node
  std::vector<int32_t> lines;                     // 2 per segment
  std::vector<int32_t> triangles;                 // 3 per triangle
  std::vector<int32_t> quads;                     // 4 per quadrilateral
  std::vector<std::vector<float>> scalar_values;  // one array of num_nodes per extra property
  std::vector<std::string> scalar_names;          // parallel to scalar_values
  int64_t skipped_faces = 0;                      // face lists of fewer than 2 indices
  std::string error;                              // why the read failed
};

// What load_ply builds from: the mesh in the record form an Object takes
// over without copying.
struct PlyMesh {
  std::vector<Vec3> nodes;
  std::vector<LineRecord> lines;          // source = place in the file's segments
  std::vector<TriangleRecord> triangles;  // the triangles, then two per quadrilateral
  std::vector<Scalar> scalars;            // one per extra vertex property
  int32_t num_quads = 0;
  int64_t skipped_faces = 0;
  std::string error;
};

// Reads the file; false with `outputs.error` set when it cannot be opened,
// its header or body is broken, or its content is unusable (no vertex
// element, missing coordinates, non-finite coordinates, face indices outside
// the nodes, counts beyond 32 bits).
bool read_ply(const std::string& path, PlyData& outputs);
// The same read and checks, into records.
bool read_ply_mesh(const std::string& path, PlyMesh& outputs);

// Replaces every value that is not finite (NaN, +Inf, -Inf) by the lowest
// float, which stands for "no value" in every later pass; returns how many.
int64_t replace_non_finite_values(std::vector<float>& values);

// The whole load with its messages: checks the extension, reads, builds the
// object, adds the boundary field and reports the counts; a field with
// values that are not finite has them taken as no value, with one line
// saying how many. Null on failure.
std::unique_ptr<Object> load_ply(const std::string& path);

// Decodes a property name: "%hh" escapes become their byte, unreserved bytes
// (A-Z a-z 0-9 - _ . ~) are copied; anything else, "%00" (a NUL byte) or an
// empty text fails.
std::optional<std::string> decode_property_name(std::string_view text);

// The default model "teapot.ply" in the working directory, else beside the
// program (the folder of `program_path`, or of the running binary when the
// path has no folder); an empty object when neither loads or `program_path`
// is empty. Only files that exist are read. Never null.
std::unique_ptr<Object> load_default_model(const std::string& program_path);

// True for the bytes a property name may hold without escaping.
inline bool is_unreserved_name_byte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~';
}

}  // namespace Tavrin
