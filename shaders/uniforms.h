// Setting uniforms of a program, and the values the ambient-occlusion passes
// hand to their programs. The values are computed apart from OpenGL so that
// tests check them without a display.
#pragma once

#include <vector>

namespace Tavrin {

// Sets an int (glUniform1i) or float (glUniform1f) uniform of `program`,
// which must be the program in use. Nothing happens when `program` is 0 or
// the program has no such uniform (location -1). A GL error afterwards is
// reported with the uniform's name (check_gl_uniform_error).
void setUniformInt(unsigned program, const char* name, int value);
void setUniformFloat(unsigned program, const char* name, float value);

// The parameters of the occlusion passes, as the scene keeps them.
struct SsaoParams {
  int ssao_type = 25;           // sample count; 9, 25, 49, 225 are full grids
  int ssao_width = 15;          // side of the sampled square, in pixels
  float ssao_factor = 1.0f;     // strength of the occlusion in the third pass
  float ssao_max_dist = 20.0f;  // farthest occluder
};

struct UniformValue {
  const char* name;
  bool is_float;
  int int_value;
  float float_value;
};

// The uniforms of the second pass for a viewport of `width` x `height`
// pixels (both > 0): texture units 0 normals, 1 depths, 2 random values; the
// screen size and its inverse; ssao_type, ssao_width, ssao_max_dist.
std::vector<UniformValue> stage_2_uniforms(const SsaoParams& params, int width, int height);
// The uniforms of the third pass: the occlusion picture on unit 0, the
// screen size and its inverse, ssao_factor.
std::vector<UniformValue> stage_3_uniforms(const SsaoParams& params, int width, int height);

// Sets every value on `program` (in use).
void set_uniforms(unsigned program, const std::vector<UniformValue>& values);

}  // namespace Tavrin
