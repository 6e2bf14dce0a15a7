// Making and releasing the occlusion passes' frame buffer and textures.
#include <GL/glew.h>

#include "shaders/ssao_resources.h"

#include "base/messages.h"
#include "render/gl_driver.h"
#include "shaders/ssao_textures.h"
#include "tables/random_streams.h"

namespace Tavrin {

namespace {

uint64_t next_octree_random() { return octree_random().next(); }

void delete_texture(unsigned& texture) {
  if (texture) glDeleteTextures(1, &texture);
  texture = 0;
}

}  // namespace

void SsaoResources::create(int w, int h) {
  if (normal_texture && depth_texture && random_texture && ssao_texture) return;
  // Asked only when something is made: a missing extension is logged at
  // every question.
  TextureTypes types = context_texture_types();
  if (fbo || fbo_refused_ || copy_path_only || is_intel() || !frame_buffers_available()) {
    if (!normal_texture || !depth_texture) {
      glEnable(GL_TEXTURE_2D);
      if (!normal_texture) normal_texture = create_color_texture(w, h, types.colour);
      if (!depth_texture) depth_texture = create_depth_texture(w, h, types.depth);
      ++texture_sets_made;
    }
  } else {
    fbo = std::make_unique<OglFBO>(w, h, types.colour, types.depth);
    check_gl_error("Scene::created fbo");
    depth_texture = fbo->depth;
    normal_texture = fbo->colour;
    ++texture_sets_made;
    if (!fbo->fbo) {
      // Drawing into the window and copying still gives the passes their
      // pictures; the textures the frame buffer refused serve for the copies.
      static bool reported = false;
      if (!reported) log_message(fbo->error + "\n");
      reported = true;
      fbo.reset();
      fbo_refused_ = true;
    }
  }
  width = w;
  height = h;

  if (!random_texture) {
    glEnable(GL_TEXTURE_2D);
    random_texture =
        create_random_texture(has_extension("GL_ARB_texture_float"), next_octree_random);
    ++random_textures_made;
  }
  if (!ssao_texture) ssao_texture = create_color_texture(w, h, GL_UNSIGNED_BYTE);
}

void SsaoResources::release() {
  // The frame buffer's textures are the normal and depth textures.
  fbo.reset();
  delete_texture(depth_texture);
  delete_texture(normal_texture);
  delete_texture(random_texture);
  delete_texture(ssao_texture);
  fbo_refused_ = false;
  width = height = 0;
}

}  // namespace Tavrin
