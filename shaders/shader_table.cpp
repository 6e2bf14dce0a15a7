// The shader table and its case-blind lookup.
#include "shaders/shader_table.h"

#include <array>

namespace Tavrin {

namespace {

constexpr std::array<ShaderEntry, 14> entries{{
    {"red", "simple.vert", "red.frag"},
    {"depth", "simple.vert", "depth_as_color.frag"},
    {"tone", "tone.vert", "tone.frag"},
    {"phong", "phong.vert", "phong.frag"},
    {"normal_scaled", "normal.vert", "normal_scaled.frag"},
    {"draw_normal+depth", "normal.vert", "normal.frag"},
    {"draw_normal+depth 2", "normal2.vert", "normal2.frag"},
    {"simple_texture", "simple.vert", "simple_texture.frag"},
    {"edges", "simple.vert", "edges.frag"},
    {"ssao_1st_random", "simple.vert", "ssao_1st_random.frag"},
    {"ssao_1st_21", "simple.vert", "ssao_1st_21.frag"},
    {"ssao_2nd_random", "simple.vert", "ssao_2nd_random.frag"},
    {"ssao_2nd_combined", nullptr, "ssao_2nd_combined.frag"},
    {"ssao_velk_dravel", "simple.vert", "ssao_dravel.frag"},
}};

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equal_ignore_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace

std::span<const ShaderEntry> shader_table() { return entries; }

const ShaderEntry* find_shader(std::string_view name) {
  for (const ShaderEntry& entry : entries)
    if (equal_ignore_case(entry.name, name)) return &entry;
  return nullptr;
}

bool is_normal_depth_shader(std::string_view name) {
  return equal_ignore_case(name, "draw_normal+depth") ||
         equal_ignore_case(name, "draw_normal+depth 2");
}

}  // namespace Tavrin
