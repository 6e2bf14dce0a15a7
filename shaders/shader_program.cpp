// Linking shader programs and loading them by name.
#include <GL/glew.h>

#include "shaders/shader_program.h"

#include <cstdio>
#include <vector>

#include "base/messages.h"
#include "render/gl_driver.h"
#include "shaders/shader_table.h"

namespace Tavrin {

namespace {

ShaderErrorBox& error_box() {
  static ShaderErrorBox box;
  return box;
}

bool loaded_echo = true;

std::string program_log(GLuint program) {
  GLint length = 0;
  glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
  if (length <= 1) return {};
  std::vector<char> log(size_t(length) + 1, '\0');
  glGetProgramInfoLog(program, length, nullptr, log.data());
  return log.data();
}

}  // namespace

ShaderProgram::~ShaderProgram() {
  if (program) glDeleteProgram(program);
}

bool ShaderProgram::link() {
  error.clear();
  if (program) glDeleteProgram(program);
  program = glCreateProgram();
  if (!program) {
    error = "Could not glCreateProgram().";
    return false;
  }
  ShaderObject* stages[] = {vertex.get(), geometry.get(), fragment.get()};
  for (ShaderObject* stage : stages) {
    if (stage && !stage->compile()) {
      error = stage->error;
      glDeleteProgram(program);
      program = 0;
      return false;
    }
  }
  for (ShaderObject* stage : stages)
    if (stage) glAttachShader(program, stage->shader);
  glLinkProgram(program);
  GLint status = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  if (!status) {
    std::string log = program_log(program);
    error = link_error(log.empty() ? nullptr : log.c_str());
    glDeleteProgram(program);
    program = 0;
    return false;
  }
  return true;
}

bool set_shader_loaded_echo(bool on) {
  const bool previous = loaded_echo;
  loaded_echo = on;
  return previous;
}

ShaderErrorBox set_shader_error_box(ShaderErrorBox box) {
  ShaderErrorBox previous = std::move(error_box());
  error_box() = std::move(box);
  return previous;
}

bool shader_support() {
  static const bool supported = [] {
    if (!glew_ready()) return false;
    return glCreateShader && glShaderSource && glCompileShader && glGetShaderiv &&
           glGetShaderInfoLog && glGetShaderSource && glDeleteShader && glCreateProgram &&
           glAttachShader && glLinkProgram && glGetProgramiv && glGetProgramInfoLog &&
           glDeleteProgram && glUseProgram && glGetUniformLocation && glUniform1i && glUniform1f &&
           glGetObjectParameterivARB && glGetObjectParameterfvARB;
  }();
  return supported;
}

std::unique_ptr<ShaderProgram> load_shader_program(const char* name) {
  if (!name || !*name) return nullptr;
  const ShaderEntry* entry = find_shader(name);
  if (!entry) {
    log_message(not_defined_message(name));
    return nullptr;
  }
  if (!shader_support()) return nullptr;
  auto program = std::make_unique<ShaderProgram>();
  if (entry->vertex_file)
    program->vertex = std::make_unique<ShaderObject>(VERTEX_SHADER, entry->vertex_file);
  program->fragment = std::make_unique<ShaderObject>(FRAGMENT_SHADER, entry->fragment_file);
  if (!program->link()) {
    std::string text = program->error;
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (error_box())
      error_box()(text);
    else
      message_box(text);
    log_message(text);
    return nullptr;
  }
  std::string line = loaded_message(name, program->program);
  log_message(line);
  if (loaded_echo) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  }
  return program;
}

}  // namespace Tavrin
