// Uniform setting and the values of the occlusion passes.
#include <GL/glew.h>

#include "shaders/uniforms.h"

#include "render/gl_driver.h"

namespace Tavrin {

void setUniformInt(unsigned program, const char* name, int value) {
  if (!program) return;
  GLint location = glGetUniformLocation(program, name);
  if (location >= 0) glUniform1i(location, value);
  check_gl_uniform_error(name);
}

void setUniformFloat(unsigned program, const char* name, float value) {
  if (!program) return;
  GLint location = glGetUniformLocation(program, name);
  if (location >= 0) glUniform1f(location, value);
  check_gl_uniform_error(name);
}

namespace {

UniformValue int_value(const char* name, int value) { return {name, false, value, 0.0f}; }
UniformValue float_value(const char* name, float value) { return {name, true, 0, value}; }

void add_screen(std::vector<UniformValue>& values, int width, int height) {
  values.push_back(int_value("screen_width", width));
  values.push_back(int_value("screen_height", height));
  values.push_back(float_value("inv_screen_width", 1.0f / float(width)));
  values.push_back(float_value("inv_screen_height", 1.0f / float(height)));
}

}  // namespace

std::vector<UniformValue> stage_2_uniforms(const SsaoParams& params, int width, int height) {
  std::vector<UniformValue> values{int_value("normal_texture", 0), int_value("depth_texture", 1),
                                   int_value("random_texture", 2)};
  add_screen(values, width, height);
  values.push_back(int_value("ssao_type", params.ssao_type));
  values.push_back(int_value("ssao_width", params.ssao_width));
  values.push_back(float_value("ssao_max_dist", params.ssao_max_dist));
  return values;
}

std::vector<UniformValue> stage_3_uniforms(const SsaoParams& params, int width, int height) {
  std::vector<UniformValue> values{int_value("ssao_texture", 0)};
  add_screen(values, width, height);
  values.push_back(float_value("ssao_factor", params.ssao_factor));
  return values;
}

void set_uniforms(unsigned program, const std::vector<UniformValue>& values) {
  for (const UniformValue& value : values) {
    if (value.is_float)
      setUniformFloat(program, value.name, value.float_value);
    else
      setUniformInt(program, value.name, value.int_value);
  }
}

}  // namespace Tavrin
