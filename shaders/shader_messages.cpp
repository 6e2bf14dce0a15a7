// Composition of the shader error texts and log lines.
#include "shaders/shader_messages.h"

#include "base/messages.h"

namespace Tavrin {

const char* shader_kind_name(int kind) {
  switch (kind) {
    case NO_SHADER:
      return "no shader";
    case FRAGMENT_SHADER:
      return "fragment shader";
    case VERTEX_SHADER:
      return "vertex shader";
    case GEOMETRY_SHADER:
      return "geometry shader";
    default:
      return "N/A";
  }
}

std::string shader_error(int kind, const std::string& message) {
  return format("%s: %s", shader_kind_name(kind), message.c_str());
}

std::string no_code_error(const std::string& file, const std::vector<std::string>& places) {
  std::string text = format("%s - No shader code readed.", file.c_str());
  for (size_t i = 0; i < places.size(); ++i) {
    text += i == 0 ? " (looked for '" : i + 1 == places.size() ? " and '" : ", '";
    text += places[i];
    text += i + 1 == places.size() ? "')" : "'";
  }
  return text;
}

std::string compile_error(const std::string& file, const char* log) {
  return format("Error compiling '%s': \n%s\n", file.c_str(), log ? log : "(null)");
}

std::string link_error(const char* log) {
  return format("Error linking: \n%s\n", log ? log : "(null)");
}

std::string not_defined_message(const std::string& name) {
  return format("Shader '%s' not defined.\n", name.c_str());
}

std::string loaded_message(const std::string& name, unsigned program) {
  return format("Shader '%s' loaded ( %d).\n", name.c_str(), int(program));
}

}  // namespace Tavrin
