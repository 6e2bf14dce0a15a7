// The textures of the ambient-occlusion passes: colour (normals), depth,
// random values and the occlusion picture. All are 2-D, clamped to the edge,
// nearest-filtered, without mipmaps. The choice of data types and internal
// formats is pure and tested without a display; creation needs a context.
#pragma once

#include <cstdint>

namespace Tavrin {

// "GL_UNSIGNED_BYTE", "GL_UNSIGNED_INT", "GL_FLOAT", "GL_RGBA32F",
// "GL_FLOAT_RGBA32_NV", or "N/A" for any other value.
const char* texture_type_name(unsigned type);

struct TextureTypes {
  unsigned colour;  // GL_FLOAT or GL_UNSIGNED_INT
  unsigned depth;   // GL_FLOAT or GL_UNSIGNED_INT
};
// Float textures where the color and depth buffer float extensions exist.
TextureTypes choose_texture_types(bool color_buffer_float, bool depth_buffer_float);
// The same for the current context (asks has_extension, which logs the
// absent ones).
TextureTypes context_texture_types();

// GL_RGBA32F for GL_FLOAT data, else GL_RGBA.
int colour_internal_format(unsigned type);
// GL_DEPTH_COMPONENT32F for GL_FLOAT data, else GL_DEPTH_COMPONENT32.
int depth_internal_format(unsigned type);

// Make a texture of `width` x `height` (both > 0) with no contents and
// return its name (0 when none could be made). Each logs
// "Created color texture as '<type>'.\n" or "Created depth texture as
// '<type>'.\n" and checks GL errors afterwards. They leave the new texture
// bound to GL_TEXTURE_2D of the active unit.
unsigned create_color_texture(int width, int height, unsigned type);
unsigned create_depth_texture(int width, int height, unsigned type);

// The 512 x 512 texture of random values: four per texel, drawn from
// `next_random` in row order. With float textures each draw becomes a float
// from 0 to 1 (the draw times 2^-64); else its low 8 bits are the byte.
unsigned create_random_texture(bool float_texture, uint64_t (*next_random)());

// The width and height of the random texture.
constexpr int random_texture_size = 512;

}  // namespace Tavrin
