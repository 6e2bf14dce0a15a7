// The frame buffer and textures of the ambient-occlusion passes, made at the
// viewport's size on the first occlusion frame and kept until the size
// changes. Two ways to get the first pass into textures: render into a frame
// buffer whose attachments are the textures, or render into the window and
// copy (no frame-buffer support, Intel graphics, or a frame buffer the driver
// refuses). Needs a current OpenGL context.
#pragma once

#include <memory>

#include "shaders/ogl_fbo.h"

namespace Tavrin {

class SsaoResources {
 public:
  SsaoResources() = default;
  SsaoResources(const SsaoResources&) = delete;
  SsaoResources& operator=(const SsaoResources&) = delete;
  ~SsaoResources() { release(); }

  // Makes whatever is missing for a viewport of `width` x `height` (both > 0):
  // the frame buffer with the normal and depth textures (or the two textures
  // alone on the copy path), the random texture and the occlusion texture.
  // Does nothing when all exist. The first refused frame buffer of the
  // process is reported in the log; its frame then takes the copy path.
  void create(int width, int height);
  // Deletes the frame buffer and all four textures; all names become 0.
  void release();

  // True when the first pass renders into the frame buffer, false on the
  // copy path.
  bool uses_fbo() const { return fbo && fbo->fbo; }

  std::unique_ptr<OglFBO> fbo;
  unsigned depth_texture = 0;
  unsigned normal_texture = 0;
  unsigned random_texture = 0;
  unsigned ssao_texture = 0;
  int width = 0, height = 0;  // size the textures were made for
  // How many times the normal and depth textures were made, and the random
  // texture: the textures are made once per viewport size, the random
  // texture once while it is kept.
  int texture_sets_made = 0;
  int random_textures_made = 0;
  // Take the copy path even where frame buffers work (set before the
  // resources are made), so the two paths can be compared on one driver.
  bool copy_path_only = false;

 private:
  bool fbo_refused_ = false;  // this size's frame buffer was incomplete
};

}  // namespace Tavrin
