// A linked GLSL program of a vertex and a fragment stage, and the loading of
// a program by its name in the shader table. Needs a current OpenGL context.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "shaders/shader_object.h"

namespace Tavrin {

class ShaderProgram {
 public:
  ShaderProgram() = default;
  ShaderProgram(const ShaderProgram&) = delete;
  ShaderProgram& operator=(const ShaderProgram&) = delete;
  // Deletes the OpenGL program; the shader objects delete their shaders.
  ~ShaderProgram();

  // Compiles the present stages (vertex, geometry, fragment, in that order)
  // and links them into a new OpenGL program. The first failing stage stops
  // it with that stage's error; a failed link gives "Error linking: ...".
  // On failure `program` is 0 and false comes back.
  bool link();

  std::unique_ptr<ShaderObject> vertex;    // none: fixed-function vertex stage
  std::unique_ptr<ShaderObject> geometry;  // always none in the shader table
  std::unique_ptr<ShaderObject> fragment;
  std::string error;     // last compile or link error, empty when none
  unsigned program = 0;  // OpenGL program name, 0 when not linked
};

// True when the context offers every GLSL entry point the programs use.
// Decided on the first call, which needs a current context.
bool shader_support();

// Where compile and link errors are shown: compiler logs line up only in a
// fixed-width font, which the plain message box does not use. The shell
// installs its fixed-width message box here; until then (and after an empty
// function is installed) the errors go to message_box. Returns the previous
// one.
using ShaderErrorBox = std::function<void(const std::string& text)>;
ShaderErrorBox set_shader_error_box(ShaderErrorBox box);

// Whether the "Shader '<name>' loaded" lines are also written to standard
// output (on by default); a quiet program turns it off. Returns the
// previous setting.
bool set_shader_loaded_echo(bool on);

// Builds and links the program named `name` (any case) in the shader table.
// Unknown name: logs "Shader '<name>' not defined.\n", returns null. Compile
// or link failure: shows the error in the shader error box, logs it,
// returns null.
// Success: logs "Shader '<name>' loaded ( <program>).\n" (also on standard
// output). Without shader support nothing is made and null comes back.
std::unique_ptr<ShaderProgram> load_shader_program(const char* name);

}  // namespace Tavrin
