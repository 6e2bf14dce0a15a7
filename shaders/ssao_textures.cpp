// Creation of the occlusion passes' textures.
#include <GL/glew.h>

#include "shaders/ssao_textures.h"

#include <vector>

#include "base/messages.h"
#include "render/gl_driver.h"

namespace Tavrin {

const char* texture_type_name(unsigned type) {
  switch (type) {
    case GL_UNSIGNED_BYTE:
      return "GL_UNSIGNED_BYTE";
    case GL_UNSIGNED_INT:
      return "GL_UNSIGNED_INT";
    case GL_FLOAT:
      return "GL_FLOAT";
    case GL_RGBA32F:
      return "GL_RGBA32F";
    case GL_FLOAT_RGBA32_NV:
      return "GL_FLOAT_RGBA32_NV";
    default:
      return "N/A";
  }
}

TextureTypes choose_texture_types(bool color_buffer_float, bool depth_buffer_float) {
  return {unsigned(color_buffer_float ? GL_FLOAT : GL_UNSIGNED_INT),
          unsigned(depth_buffer_float ? GL_FLOAT : GL_UNSIGNED_INT)};
}

TextureTypes context_texture_types() {
  bool colour = has_extension("GL_ARB_color_buffer_float");
  bool depth = has_extension("GL_ARB_depth_buffer_float");
  return choose_texture_types(colour, depth);
}

int colour_internal_format(unsigned type) { return type == GL_FLOAT ? GL_RGBA32F : GL_RGBA; }

int depth_internal_format(unsigned type) {
  return type == GL_FLOAT ? GL_DEPTH_COMPONENT32F : GL_DEPTH_COMPONENT32;
}

namespace {

GLuint new_texture() {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return texture;
}

}  // namespace

unsigned create_color_texture(int width, int height, unsigned type) {
  GLuint texture = new_texture();
  glTexImage2D(GL_TEXTURE_2D, 0, colour_internal_format(type), width, height, 0, GL_RGBA, type,
               nullptr);
  log_message(format("Created color texture as '%s'.\n", texture_type_name(type)));
  check_gl_error("create color texture");
  return texture;
}

unsigned create_depth_texture(int width, int height, unsigned type) {
  GLuint texture = new_texture();
  glTexImage2D(GL_TEXTURE_2D, 0, depth_internal_format(type), width, height, 0, GL_DEPTH_COMPONENT,
               type, nullptr);
  log_message(format("Created depth texture as '%s'.\n", texture_type_name(type)));
  check_gl_error("create_depth_texture");
  return texture;
}

unsigned create_random_texture(bool float_texture, uint64_t (*next_random)()) {
  const size_t count = size_t(random_texture_size) * random_texture_size * 4;
  GLuint texture;
  if (float_texture) {
    texture = create_color_texture(random_texture_size, random_texture_size, GL_FLOAT);
    std::vector<float> values(count);
    for (float& value : values) value = float(double(next_random()) * 0x1p-64);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, random_texture_size, random_texture_size, 0, GL_RGBA,
                 GL_FLOAT, values.data());
  } else {
    texture = create_color_texture(random_texture_size, random_texture_size, GL_UNSIGNED_BYTE);
    std::vector<uint8_t> values(count);
    for (uint8_t& value : values) value = uint8_t(next_random() & 0xff);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, random_texture_size, random_texture_size, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, values.data());
  }
  check_gl_error("create_random_texture");
  return texture;
}

}  // namespace Tavrin
