// Finding and reading a GLSL source file. A source is looked for in the
// working directory first and then in the directory of the running program,
// where the build copies our sources, so the viewer finds them from any
// working directory.
#pragma once

#include <string>
#include <vector>

namespace Tavrin {

struct ShaderSource {
  std::string text;                 // the whole file; empty when none was read
  std::string path;                 // the file read, when one was found
  std::vector<std::string> places;  // every path tried, in order
};

// Directory of the running program (from /proc/self/exe), without a trailing
// slash; empty when it cannot be found.
std::string program_directory();

// Reads `file` (a bare file name, or a path) from the working directory, or
// else from `program_dir` (skipped when empty or when `file` is absolute).
// The first file that exists is read, even when it is empty: an empty or
// unreadable source is the caller's error, not a reason to look elsewhere.
ShaderSource read_shader_source(const std::string& file, const std::string& program_dir);

}  // namespace Tavrin
