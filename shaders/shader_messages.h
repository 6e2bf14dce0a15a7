// The texts that shader loading reports: error texts of compiling and
// linking, and the log lines of loading. Composed here, apart from OpenGL, so
// that their exact wording is tested without a display.
#pragma once

#include <string>
#include <vector>

namespace Tavrin {

// Kinds of a shader object, as stored in ShaderObject::kind.
enum ShaderKind : int {
  NO_SHADER = 0,
  FRAGMENT_SHADER = 1,
  VERTEX_SHADER = 2,
  GEOMETRY_SHADER = 3
};

// "no shader", "fragment shader", "vertex shader", "geometry shader"; "N/A"
// for any other value.
const char* shader_kind_name(int kind);

// A shader object's stored error: "<kind name>: <message>".
std::string shader_error(int kind, const std::string& message);

// "<file> - No shader code readed." followed, when `places` is not empty, by
// the paths that were tried, so the user sees where the source was expected:
// " (looked for '<a>' and '<b>')".
std::string no_code_error(const std::string& file, const std::vector<std::string>& places);

// "Error compiling '<file>': \n<log>\n"; a null log is written "(null)".
std::string compile_error(const std::string& file, const char* log);

// "Error linking: \n<log>\n"; a null log is written "(null)".
std::string link_error(const char* log);

// "Shader '<name>' not defined.\n"
std::string not_defined_message(const std::string& name);

// "Shader '<name>' loaded ( <program>).\n"
std::string loaded_message(const std::string& name, unsigned program);

}  // namespace Tavrin
