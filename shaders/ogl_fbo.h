// A frame-buffer object that renders into a colour texture and a depth
// texture of the same size, for the first ambient-occlusion pass. Needs a
// current OpenGL context.
#pragma once

#include <string>

namespace Tavrin {

// Name of a frame-buffer status value ("FRAMEBUFFER_COMPLETE_EXT", ...);
// an unknown value is written "FRAMEBUFFER_UNKNOWN: <hex value>".
std::string framebuffer_status_name(unsigned status);

// True when the context has the EXT frame-buffer extension and GLEW loaded
// every entry point the passes call. Decided on the first call.
bool frame_buffers_available();

class OglFBO {
 public:
  // Makes both textures (create_color_texture, create_depth_texture with the
  // given data types) and a frame buffer with them attached. When the
  // attachments are incomplete, `fbo` is 0 and `error` says why; the
  // textures stay made either way. Without frame-buffer support nothing is
  // made and `error` says so.
  OglFBO(int width, int height, unsigned colour_type, unsigned depth_type);
  OglFBO(const OglFBO&) = delete;
  OglFBO& operator=(const OglFBO&) = delete;
  // Unbinds and deletes the frame buffer. The textures are not deleted: their
  // owner (the occlusion resources) deletes them.
  ~OglFBO();

  unsigned fbo = 0;     // frame buffer, 0 when none
  unsigned colour = 0;  // texture at colour attachment 0
  unsigned depth = 0;   // texture at the depth attachment
  std::string error;    // why set-up failed, empty when it did not
};

}  // namespace Tavrin
