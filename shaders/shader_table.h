// The table of shader programs the viewer offers: each name with the GLSL
// source files of its vertex and fragment stages. Pure data and lookups, no
// OpenGL, so menus and tests can use it without a context.
#pragma once

#include <span>
#include <string_view>

namespace Tavrin {

struct ShaderEntry {
  const char* name;
  const char* vertex_file;    // null: fixed-function vertex processing
  const char* fragment_file;  // never null
};

// All entries, in menu order.
std::span<const ShaderEntry> shader_table();

// The entry whose name equals `name` without regard to ASCII case, or null.
const ShaderEntry* find_shader(std::string_view name);

// True for the first-pass programs that feed the ambient-occlusion passes:
// "draw_normal+depth" and "draw_normal+depth 2", in any case.
bool is_normal_depth_shader(std::string_view name);

}  // namespace Tavrin
