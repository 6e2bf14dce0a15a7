// The table of shader set-ups.
#include "shaders/shader_setups.h"

#include <array>

namespace Tavrin {

namespace {

constexpr std::array<ShaderSetup, 13> setups{{
    {32, "red", "red", nullptr, nullptr},
    {33, "depth", "depth", nullptr, nullptr},
    {34, "tone", "tone", nullptr, nullptr},
    {35, "phong", "phong", nullptr, nullptr},
    {36, "normal_scaled", "normal_scaled", nullptr, nullptr},
    {37, "normal+depth", "draw_normal+depth", nullptr, nullptr},
    {38, "normal_texture", "draw_normal+depth", "simple_texture", nullptr},
    {39, "edges", "draw_normal+depth", "edges", nullptr},
    {310, "ssao_depth", "draw_normal+depth", "ssao_1st_random", nullptr},
    {311, "ssao_depth_21", "draw_normal+depth", "ssao_1st_21", nullptr},
    {312, "ssao_2nd", "draw_normal+depth 2", "ssao_2nd_random", nullptr},
    {313, "ssao_2nd_render", "draw_normal+depth 2", "ssao_2nd_random", "ssao_2nd_combined"},
    {314, "ssao_dravel", "draw_normal+depth 2", "ssao_velk_dravel", nullptr},
}};

}  // namespace

std::span<const ShaderSetup> shader_setups() { return setups; }

const ShaderSetup* shader_setup_for_command(int command) {
  for (const ShaderSetup& setup : setups)
    if (setup.command == command) return &setup;
  return nullptr;
}

const ShaderSetup* shader_setup_for_key(std::string_view key) {
  for (const ShaderSetup& setup : setups)
    if (key == setup.key) return &setup;
  return nullptr;
}

}  // namespace Tavrin
