// Writing a mesh as a GiD ascii mesh file (.msh) with its scalar fields as
// nodal results in a GiD results file (.res).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/number_text.h"
#include "mesh/object.h"

namespace Tavrin {

// The writers call the progress callback once every this many records of
// each loop (at record 0, 131072, ...).
constexpr int64_t kWriteProgressStep = 131072;

// Installs the process-wide write-progress callback; an empty function
// removes it. Returns the previous one.
std::function<void()> set_write_progress(std::function<void()> callback);
// Calls the installed callback, if any.
void report_write_progress();

// "name.msh" stays as it is (any case of the extension); anything else gets
// ".msh" appended.
std::string gid_mesh_file_name(const std::string& file_name);
// The mesh file name with everything from its last '.' replaced by ".res".
std::string gid_results_file_name(const std::string& mesh_file_name);

// Writes the mesh file and, when `scalars` is not empty, the results file.
// An empty `mesh_name` takes the file name from its last '/' (or '\') on.
// Names are written with '"' turned into '\'' and control characters into
// blanks, so that the files stay readable; values that are not finite are
// written as the lowest float ("no value"). Both files are written under
// temporary names and replace their targets together when complete.
// False, with a message, when a file cannot be created or replaced or a
// write or close fails; the files that existed before are then unchanged
// and nothing new is left behind.
bool write_gid(const std::string& file_name, const std::string& mesh_name, int32_t num_nodes,
               const Vec3* nodes, int32_t num_triangles, const TriangleRecord* triangles,
               int32_t num_lines, const LineRecord* lines, const std::vector<Scalar>& scalars);

// Writes object.full when present, else the object, with write_gid under
// `base_name`.
bool export_gid(const Object& object, const std::string& base_name);

}  // namespace Tavrin
