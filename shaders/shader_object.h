// One compiled GLSL shader stage, made from a source file. Needs a current
// OpenGL context with shader support for compile().
#pragma once

#include <string>

#include "shaders/shader_messages.h"

namespace Tavrin {

class ShaderObject {
 public:
  // `kind` is one of ShaderKind; `file` the source file name (see
  // read_shader_source for where it is looked for).
  ShaderObject(int kind, std::string file) : kind(kind), file(std::move(file)) {}
  ShaderObject(const ShaderObject&) = delete;
  ShaderObject& operator=(const ShaderObject&) = delete;
  // Deletes the OpenGL shader.
  ~ShaderObject();

  // Reads the source and compiles it into a new OpenGL shader (deleting the
  // previous one). On failure `shader` is 0, `error` holds
  // "<kind name>: <message>" and false comes back.
  bool compile();

  int kind = NO_SHADER;
  unsigned shader = 0;  // OpenGL shader name, 0 when none
  std::string file;
  std::string error;  // last error, empty when none
};

}  // namespace Tavrin
