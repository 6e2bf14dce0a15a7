// Compiling one shader stage from its source file.
#include <GL/glew.h>

#include "shaders/shader_object.h"

#include <vector>

#include "shaders/shader_source.h"

namespace Tavrin {

namespace {

GLenum gl_kind(int kind) {
  switch (kind) {
    case FRAGMENT_SHADER:
      return GL_FRAGMENT_SHADER;
    case VERTEX_SHADER:
      return GL_VERTEX_SHADER;
    case GEOMETRY_SHADER:
      return GL_GEOMETRY_SHADER;
    default:
      return 0;
  }
}

// The shader's info log, or empty when the driver gives none.
std::string info_log(GLuint shader) {
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  if (length <= 1) return {};
  std::vector<char> log(size_t(length) + 1, '\0');
  glGetShaderInfoLog(shader, length, nullptr, log.data());
  return log.data();
}

}  // namespace

ShaderObject::~ShaderObject() {
  if (shader) glDeleteShader(shader);
}

bool ShaderObject::compile() {
  error.clear();
  ShaderSource source = read_shader_source(file, program_directory());
  if (source.text.empty()) {
    // A file that exists but is empty or unreadable is named alone; a
    // missing one with every place it was looked for.
    std::vector<std::string> places;
    if (source.path.empty()) places = source.places;
    error = shader_error(kind, no_code_error(file, places));
    return false;
  }
  if (shader) glDeleteShader(shader);
  shader = gl_kind(kind) ? glCreateShader(gl_kind(kind)) : 0;
  if (!shader) {
    error = shader_error(kind, "Could not glCreateShader().");
    return false;
  }
  const GLchar* text = source.text.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint status = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
  if (!status) {
    std::string log = info_log(shader);
    error = shader_error(kind, compile_error(file, log.empty() ? nullptr : log.c_str()));
    glDeleteShader(shader);
    shader = 0;
    return false;
  }
  return true;
}

}  // namespace Tavrin
