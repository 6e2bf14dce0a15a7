// The shader set-ups the Shader menu offers: which programs fill the scene's
// three slots for each menu command, and a short key per set-up for the
// command line of the rendering tool. Pure data.
#pragma once

#include <span>
#include <string_view>

namespace Tavrin {

struct ShaderSetup {
  int command;                 // menu command value (32 to 39, 310 to 314)
  const char* key;             // short name, e.g. "ssao_2nd_render"
  const char* shader;          // first-pass or plain program
  const char* ssao_shader;     // second pass, or null
  const char* compose_shader;  // third pass, or null
};

std::span<const ShaderSetup> shader_setups();
// The set-up of a menu command, or null.
const ShaderSetup* shader_setup_for_command(int command);
// The set-up with this key (exact match), or null.
const ShaderSetup* shader_setup_for_key(std::string_view key);

}  // namespace Tavrin
