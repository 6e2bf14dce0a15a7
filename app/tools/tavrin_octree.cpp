// tavrin-octree MESH.ply MAX_ERROR [OUT [ERRORS]]: simplifies a mesh once
// with the octree simplifier and writes the result as a GiD mesh (.msh) or
// as PLY (.ply), and on request the original mesh with its per-node error
// fields. MAX_ERROR bounds a cell's quadric error in the mesh scaled into the
// cube [-1, 1]^3. Exit status 0 when every file asked for was written.

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/one_line_save.h"
#include "base/memory_check.h"
#include "base/messages.h"
#include "io/gid_writer.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "io/replacing_file.h"
#include "mesh/object.h"
#include "octree/simplify_octree.h"

using namespace Tavrin;

namespace {

bool ends_with_ignoring_case(const std::string& text, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

std::string octree_usage(const char* program) {
  return format("Usage: %s MESH.ply MAX_ERROR [OUT.msh | OUT.ply [ERRORS.msh | ERRORS.ply]]\n",
                program) +
         "\tMAX_ERROR: the largest quadric error a cell may have, in the mesh scaled into\n"
         "\t\tthe cube [-1, 1]^3: the square root of the summed squared distances from\n"
         "\t\tthe cell's new vertex to the planes of its triangles. It grows with the\n"
         "\t\ttriangles a cell holds, so it is not a distance. Each vertex joins the\n"
         "\t\tcoarsest cell on its path (64 to 2048 cells per axis) whose error is at\n"
         "\t\tmost MAX_ERROR. Useful values lie between about 1e-8 (close to the finest\n"
         "\t\tlevel) and 1e-4; from about 1e-3 up the coarsest level is used everywhere.\n"
         "\tOUT: the simplified mesh (default: MESH_octree_<MAX_ERROR>.msh and .res).\n"
         "\tERRORS: the original mesh with its fields and two more per node, \"error qef\"\n"
         "\t\t(the error of the cell it joined) and \"error dist\" (its distance to\n"
         "\t\tthat cell's vertex), both in the scaled units.\n";
}

bool write_mesh(const Object& object, const std::string& path) {
  return save_in_one_line(
      [&] {
        if (ends_with_ignoring_case(path, ".ply"))
          return write_ply(path, object) == object.num_triangles() && object.num_triangles() > 0;
        return export_gid(object, path);
      },
      format("Problems saving '%s'", path.c_str()));
}

// Checks every file write_mesh(object, path) would replace, so that a
// target that cannot be written stops the run before anything is written.
bool check_targets(const Object& object, const std::string& path) {
  std::vector<std::string> targets;
  if (ends_with_ignoring_case(path, ".ply")) {
    targets.push_back(path);
  } else {
    targets.push_back(gid_mesh_file_name(path));
    if (!object.scalars.empty()) targets.push_back(gid_results_file_name(targets[0]));
  }
  for (const std::string& target : targets) {
    std::string why;
    if (!can_replace(target, why)) {
      log_message(format("Problems saving '%s': Unable to create file '%s': %s.\n", path.c_str(),
                         target.c_str(), why.c_str()));
      return false;
    }
  }
  return true;
}

int run(const std::string& input, float max_error, const std::string& output,
        const std::string& errors, std::string& doing) {
  log_message(format("Reading %s ...\n", input.c_str()));
  std::unique_ptr<Object> source = load_ply(input);
  if (!source) return 1;

  doing = format("simplify '%s'", input.c_str());
  std::unique_ptr<Object> result = simplify_octree(*source, max_error);
  if (!result) {
    log_message("The octree simplification produced no mesh; nothing was written.\n");
    return 1;
  }
  result->set_name(source->name.c_str());

  // The original now carries the error fields the simplification added.
  if (!check_targets(*result, output) || (!errors.empty() && !check_targets(*source, errors)))
    return 1;
  doing = format("save '%s'", output.c_str());
  if (!write_mesh(*result, output)) return 1;
  log_message(format("File '%s' saved.\n", output.c_str()));
  if (!errors.empty()) {
    doing = format("save '%s'", errors.c_str());
    if (!write_mesh(*source, errors)) return 1;
    log_message(format("File '%s' saved.\n", errors.c_str()));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && is_help_switch(argv[1])) {
    log_message(octree_usage(argv[0]));
    return 0;
  }
  if (argc < 3 || argc > 5) {
    log_message(octree_usage(argv[0]));
    return 2;
  }
  const std::string input = argv[1];
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(argv[2], &end);
  const float max_error = static_cast<float>(value);
  if (end == argv[2] || *end != '\0' || errno == ERANGE || !std::isfinite(max_error) ||
      !(max_error > 0.0f)) {
    log_message(
        format("Invalid maximum error '%s': give a finite number greater than 0.\n", argv[2]));
    return 2;
  }
  std::string output;
  if (argc >= 4) {
    output = argv[3];
  } else {
    const size_t slash = input.find_last_of("/\\");
    const size_t dot = input.rfind('.');
    const bool has_extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    output = (has_extension ? input.substr(0, dot) : input) + format("_octree_%g", value) + ".msh";
  }
  const std::string errors = argc == 5 ? argv[4] : std::string();
  for (const std::string& name : {output, errors}) {
    if (name.empty() || ends_with_ignoring_case(name, ".ply") ||
        ends_with_ignoring_case(name, ".msh"))
      continue;
    log_message(
        format("Unknown output format '%s': the name must end in .msh or .ply.\n", name.c_str()));
    return 2;
  }

  std::string doing = format("read '%s'", input.c_str());
  forget_failed_allocation();
  try {
    return run(input, max_error, output, errors, doing);
  } catch (const std::bad_alloc&) {
    report_no_memory(doing, last_failed_allocation());
    return 1;
  }
}
