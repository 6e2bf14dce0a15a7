// The frame-buffer object of the first occlusion pass.
#include <GL/glew.h>

#include "shaders/ogl_fbo.h"

#include "base/messages.h"
#include "render/gl_driver.h"
#include "shaders/ssao_textures.h"

namespace Tavrin {

std::string framebuffer_status_name(unsigned status) {
  switch (status) {
    case GL_FRAMEBUFFER_COMPLETE_EXT:
      return "FRAMEBUFFER_COMPLETE_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT:
      return "FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT:
      return "FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT:
      return "FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT:
      return "FRAMEBUFFER_INCOMPLETE_FORMATS_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT:
      return "FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT:
      return "FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT";
    case GL_FRAMEBUFFER_UNSUPPORTED_EXT:
      return "FRAMEBUFFER_UNSUPPORTED_EXT";
    // The old EXT header's FRAMEBUFFER_STATUS_ERROR_EXT (0x8CDE) is gone from
    // current headers; it keeps its name here.
    case 0x8CDE:
      return "FRAMEBUFFER_STATUS_ERROR_EXT";
    default:
      return format("%s: %6x", "FRAMEBUFFER_UNKNOWN", status);
  }
}

bool frame_buffers_available() {
  // The extension is asked first: without it GLEW leaves the entry points
  // null, and calling one crashes.
  static const bool available =
      glew_ready() && has_extension("GL_EXT_framebuffer_object") && glGenFramebuffersEXT &&
      glBindFramebufferEXT && glCheckFramebufferStatusEXT && glFramebufferTexture1DEXT &&
      glFramebufferTexture2DEXT && glFramebufferTexture3DEXT && glFramebufferTextureEXT &&
      glBindRenderbufferEXT && glFramebufferRenderbufferEXT && glDrawBuffers;
  return available;
}

OglFBO::OglFBO(int width, int height, unsigned colour_type, unsigned depth_type) {
  if (!frame_buffers_available()) {
    // The entry points may be null: nothing of the frame buffer is touched.
    error = "Frame-buffer objects are not available.";
    return;
  }
  glEnable(GL_TEXTURE_2D);
  colour = create_color_texture(width, height, colour_type);
  depth = create_depth_texture(width, height, depth_type);
  glGenFramebuffersEXT(1, &fbo);
  check_gl_error("OglFBO::OglFBO - create fbo");

  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colour, 0);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depth, 0);
  GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
  if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
    std::string name = framebuffer_status_name(status);
    if (name.rfind("FRAMEBUFFER_UNKNOWN", 0) == 0) check_gl_error(name.c_str());
    error = format("Could not attach textures to frame buffer obj.: %s", name.c_str());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glDeleteFramebuffersEXT(1, &fbo);
    fbo = 0;
  }
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  check_gl_error("OglFBO::OglFBO - attach textures");
  glDisable(GL_TEXTURE_2D);
}

OglFBO::~OglFBO() {
  if (!fbo) return;
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glDeleteFramebuffersEXT(1, &fbo);
}

}  // namespace Tavrin
