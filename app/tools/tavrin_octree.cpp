// tavrin-octree MESH.ply MAX_ERROR [OUT]: simplifies a mesh once with the
// octree simplifier and writes the result as a GiD mesh (.msh) or as PLY
// (.ply). MAX_ERROR is in normalised units (the mesh's bounding cube has
// side 2). Exit status 0 when the file was written.

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/globals.h"
#include "base/messages.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "mesh/object.h"

using namespace Tavrin;

namespace {

bool ends_with_ignoring_case(const std::string& text, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  batch_mode = true;
  if (argc != 3 && argc != 4) {
    log_message(format("Usage: %s MESH.ply MAX_ERROR [OUT.msh | OUT.ply]\n", argv[0]));
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
  if (argc == 4) {
    output = argv[3];
  } else {
    const size_t slash = input.find_last_of("/\\");
    const size_t dot = input.rfind('.');
    const bool has_extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    output = (has_extension ? input.substr(0, dot) : input) + format("_octree_%g", value) + ".msh";
  }
  const bool as_ply = ends_with_ignoring_case(output, ".ply");
  if (!as_ply && !ends_with_ignoring_case(output, ".msh")) {
    log_message(
        format("Unknown output format '%s': the name must end in .msh or .ply.\n", output.c_str()));
    return 2;
  }

  log_message(format("Reading %s ...\n", input.c_str()));
  std::unique_ptr<Object> source = load_ply(input);
  if (!source) return 1;

  std::unique_ptr<Object> result = source->simplify_octree(max_error);
  if (!result) {
    log_message("The octree simplification produced no mesh; nothing was written.\n");
    return 1;
  }
  result->set_name(source->name.c_str());

  bool written;
  if (as_ply)
    written = write_ply(output, *result) == result->num_triangles() && result->num_triangles() > 0;
  else
    written = result->export_gid(output);
  if (!written) {
    std::remove(output.c_str());
    log_message(format("Problems saving '%s'.\n", output.c_str()));
    return 1;
  }
  log_message(format("File '%s' saved.\n", output.c_str()));
  return 0;
}
