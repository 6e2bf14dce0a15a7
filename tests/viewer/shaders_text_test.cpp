// Shader loading without a display: the table lookup, the set-ups of the
// Shader menu, the error and log texts, where sources are looked for, and the
// uniform values of the occlusion passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "shaders/ogl_fbo.h"
#include "shaders/shader_messages.h"
#include "shaders/shader_setups.h"
#include "shaders/shader_source.h"
#include "shaders/shader_table.h"
#include "shaders/ssao_textures.h"
#include "shaders/uniforms.h"
#include "test_support.h"

namespace Tavrin {
namespace {

TEST(ShadersTable, LookupIgnoresCaseAndNamesEverySource) {
  struct Case {
    const char* asked;
    const char* vertex;
    const char* fragment;
  };
  const Case cases[] = {
      {"PHONG", "phong.vert", "phong.frag"},
      {"Draw_Normal+Depth 2", "normal2.vert", "normal2.frag"},
      {"ssao_2nd_combined", nullptr, "ssao_2nd_combined.frag"},
      {"SSAO_velk_DRAVEL", "simple.vert", "ssao_dravel.frag"},
  };
  for (const Case& c : cases) {
    const ShaderEntry* entry = find_shader(c.asked);
    ASSERT_NE(entry, nullptr) << c.asked;
    EXPECT_STREQ(entry->fragment_file, c.fragment);
    if (c.vertex) {
      EXPECT_STREQ(entry->vertex_file, c.vertex);
    } else {
      EXPECT_EQ(entry->vertex_file, nullptr);
    }
  }
  EXPECT_EQ(find_shader("phong "), nullptr);
  EXPECT_EQ(find_shader("draw_normal"), nullptr);
  EXPECT_EQ(find_shader(""), nullptr);

  EXPECT_TRUE(is_normal_depth_shader("DRAW_NORMAL+DEPTH"));
  EXPECT_TRUE(is_normal_depth_shader("draw_normal+depth 2"));
  EXPECT_FALSE(is_normal_depth_shader("normal_scaled"));
  EXPECT_FALSE(is_normal_depth_shader("draw_normal+depth 3"));

  // Every source the table names is one of ours, in the repository.
  for (const ShaderEntry& entry : shader_table()) {
    for (const char* file : {entry.vertex_file, entry.fragment_file}) {
      if (!file) continue;
      std::string path = std::string(TAVRIN_TEST_DATA) + "/../../shaders/glsl/" + file;
      EXPECT_TRUE(test::file_exists(path)) << path;
    }
  }
}

TEST(ShadersTable, MenuSetupsUseKnownProgramsAndOnlyNormalDepthFeedsThePasses) {
  ASSERT_EQ(shader_setups().size(), 13u);
  for (const ShaderSetup& setup : shader_setups()) {
    for (const char* name : {setup.shader, setup.ssao_shader, setup.compose_shader})
      if (name) {
        EXPECT_NE(find_shader(name), nullptr) << setup.key << " " << name;
      }
    // A second pass needs the normal and depth textures of the first.
    if (setup.ssao_shader) {
      EXPECT_TRUE(is_normal_depth_shader(setup.shader)) << setup.key;
    }
    EXPECT_EQ(shader_setup_for_command(setup.command), &setup);
    EXPECT_EQ(shader_setup_for_key(setup.key), &setup);
  }
  const ShaderSetup* render = shader_setup_for_command(313);
  ASSERT_NE(render, nullptr);
  EXPECT_STREQ(render->ssao_shader, "ssao_2nd_random");
  EXPECT_STREQ(render->compose_shader, "ssao_2nd_combined");
  EXPECT_EQ(shader_setup_for_command(31), nullptr);
}

TEST(ShadersMessages, ErrorTextsForEachKind) {
  EXPECT_EQ(shader_error(VERTEX_SHADER, no_code_error("simple.vert", {})),
            "vertex shader: simple.vert - No shader code readed.");
  EXPECT_EQ(shader_error(FRAGMENT_SHADER, compile_error("red.frag", "0:3(1): error: syntax")),
            "fragment shader: Error compiling 'red.frag': \n0:3(1): error: syntax\n");
  EXPECT_EQ(shader_error(GEOMETRY_SHADER, compile_error("x.geom", nullptr)),
            "geometry shader: Error compiling 'x.geom': \n(null)\n");
  EXPECT_EQ(shader_error(NO_SHADER, "m"), "no shader: m");
  EXPECT_EQ(shader_error(7, "m"), "N/A: m");
  EXPECT_EQ(link_error("unresolved"), "Error linking: \nunresolved\n");
  EXPECT_EQ(link_error(nullptr), "Error linking: \n(null)\n");
  EXPECT_EQ(not_defined_message("bogus"), "Shader 'bogus' not defined.\n");
  EXPECT_EQ(loaded_message("red", 3), "Shader 'red' loaded ( 3).\n");
  // A missing source names every place it was looked for.
  EXPECT_EQ(no_code_error("a.frag", {"/w/a.frag", "/p/a.frag"}),
            "a.frag - No shader code readed. (looked for '/w/a.frag' and '/p/a.frag')");
}

TEST(ShadersSource, WorkingDirectoryFirstThenBesideTheProgram) {
  std::string work = test::temp_dir("shader_cwd");
  std::string program = test::temp_dir("shader_exe");
  std::ofstream(program + "/both.frag") << "beside";
  std::ofstream(work + "/both.frag") << "working";
  std::ofstream(program + "/only.frag") << "beside only";
  std::ofstream(work + "/empty.frag");
  std::ofstream(program + "/empty.frag") << "not taken";

  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(work.c_str()), 0);
  ShaderSource both = read_shader_source("both.frag", program);
  ShaderSource only = read_shader_source("only.frag", program);
  ShaderSource empty = read_shader_source("empty.frag", program);
  ShaderSource missing = read_shader_source("missing.frag", program);
  ShaderSource no_program = read_shader_source("only.frag", "");
  ASSERT_EQ(chdir(previous), 0);

  EXPECT_EQ(both.text, "working");
  EXPECT_EQ(only.text, "beside only");
  EXPECT_EQ(only.path, program + "/only.frag");
  // An empty file found first is the answer: it is an error, not a miss.
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(empty.path, work + "/empty.frag");
  EXPECT_EQ(missing.path, "");
  EXPECT_EQ(missing.places,
            (std::vector<std::string>{work + "/missing.frag", program + "/missing.frag"}));
  EXPECT_EQ(no_program.text, "");
  EXPECT_EQ(program_directory().empty(), false);
}

TEST(ShadersUniforms, PassValuesFollowTheViewport) {
  SsaoParams params{30, 11, 0.75f, 12.5f};
  auto find = [](const std::vector<UniformValue>& values, const char* name) {
    for (const UniformValue& v : values)
      if (std::string(v.name) == name) return v;
    ADD_FAILURE() << "no uniform " << name;
    return UniformValue{name, false, -1, -1.0f};
  };
  std::vector<UniformValue> second = stage_2_uniforms(params, 800, 500);
  EXPECT_EQ(second.size(), 10u);
  EXPECT_EQ(find(second, "normal_texture").int_value, 0);
  EXPECT_EQ(find(second, "depth_texture").int_value, 1);
  EXPECT_EQ(find(second, "random_texture").int_value, 2);
  EXPECT_EQ(find(second, "screen_width").int_value, 800);
  EXPECT_EQ(find(second, "screen_height").int_value, 500);
  EXPECT_TRUE(find(second, "inv_screen_width").is_float);
  EXPECT_FLOAT_EQ(find(second, "inv_screen_width").float_value, 0.00125f);
  EXPECT_FLOAT_EQ(find(second, "inv_screen_height").float_value, 0.002f);
  EXPECT_EQ(find(second, "ssao_type").int_value, 30);
  EXPECT_EQ(find(second, "ssao_width").int_value, 11);
  EXPECT_FLOAT_EQ(find(second, "ssao_max_dist").float_value, 12.5f);

  std::vector<UniformValue> third = stage_3_uniforms(params, 800, 500);
  EXPECT_EQ(third.size(), 6u);
  EXPECT_EQ(find(third, "ssao_texture").int_value, 0);
  EXPECT_FLOAT_EQ(find(third, "inv_screen_width").float_value, 0.00125f);
  EXPECT_FLOAT_EQ(find(third, "ssao_factor").float_value, 0.75f);
}

TEST(ShadersTextures, TypesFormatsAndStatusNames) {
  TextureTypes floats = choose_texture_types(true, true);
  TextureTypes ints = choose_texture_types(false, false);
  TextureTypes mixed = choose_texture_types(true, false);
  EXPECT_STREQ(texture_type_name(floats.colour), "GL_FLOAT");
  EXPECT_STREQ(texture_type_name(ints.depth), "GL_UNSIGNED_INT");
  EXPECT_STREQ(texture_type_name(mixed.colour), "GL_FLOAT");
  EXPECT_STREQ(texture_type_name(mixed.depth), "GL_UNSIGNED_INT");
  EXPECT_STREQ(texture_type_name(0x1401), "GL_UNSIGNED_BYTE");
  EXPECT_STREQ(texture_type_name(0x8814), "GL_RGBA32F");
  EXPECT_STREQ(texture_type_name(0x888B), "GL_FLOAT_RGBA32_NV");
  EXPECT_STREQ(texture_type_name(0x1234), "N/A");
  EXPECT_EQ(colour_internal_format(floats.colour), 0x8814);  // GL_RGBA32F
  EXPECT_EQ(colour_internal_format(ints.colour), 0x1908);    // GL_RGBA
  EXPECT_EQ(depth_internal_format(floats.depth), 0x8CAC);    // GL_DEPTH_COMPONENT32F
  EXPECT_EQ(depth_internal_format(ints.depth), 0x81A7);      // GL_DEPTH_COMPONENT32

  EXPECT_EQ(framebuffer_status_name(0x8CD5), "FRAMEBUFFER_COMPLETE_EXT");
  EXPECT_EQ(framebuffer_status_name(0x8CD6), "FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT");
  EXPECT_EQ(framebuffer_status_name(0x8CDD), "FRAMEBUFFER_UNSUPPORTED_EXT");
  EXPECT_EQ(framebuffer_status_name(0x8CDE), "FRAMEBUFFER_STATUS_ERROR_EXT");
  EXPECT_EQ(framebuffer_status_name(0x1234), "FRAMEBUFFER_UNKNOWN:   1234");
}

}  // namespace
}  // namespace Tavrin
