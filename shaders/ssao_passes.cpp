// The passes of the ambient-occlusion frame.
#include <GL/glew.h>

#include "shaders/ssao_passes.h"

#include "render/gl_driver.h"
#include "shaders/shader_program.h"
#include "shaders/ssao_resources.h"

namespace Tavrin {

namespace {

void use_program(const ShaderProgram* program) {
  if (program && program->program) glUseProgram(program->program);
}

// Projection: 0 to 1 across the viewport; model-view: identity.
void full_screen_setup() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The quad from x = a to b over the full height, texture coordinates equal
// to positions.
void half_quad(float a, float b) {
  glBegin(GL_QUADS);
  glTexCoord2f(a, 0);
  glVertex2f(a, 0);
  glTexCoord2f(b, 0);
  glVertex2f(b, 0);
  glTexCoord2f(b, 1);
  glVertex2f(b, 1);
  glTexCoord2f(a, 1);
  glVertex2f(a, 1);
  glEnd();
}

void first_pass(SsaoResources& resources, const SsaoFrame& frame, const ShaderProgram* shader) {
  const int w = frame.viewport[2], h = frame.viewport[3];
  if (resources.uses_fbo()) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, resources.fbo->fbo);
    check_gl_error("fbo::begin - bind");
    const GLenum buffers[1] = {GL_COLOR_ATTACHMENT0_EXT};
    glDrawBuffers(1, buffers);
    check_gl_error("fbo::begin - draw buffers");
    glViewport(0, 0, w, h);  // the textures start at their own origin
  }
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  use_program(shader);
  frame.draw_objects();
  glUseProgram(0);
  if (resources.uses_fbo()) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    check_gl_error("fbo::end");
    glViewport(frame.viewport[0], frame.viewport[1], w, h);
  } else {
    // get_normal_and_depth_textures: the window's depth and colours.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, resources.depth_texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.viewport[0], frame.viewport[1], w, h);
    check_gl_error("Scene::get_normal_and_depth_textures - depth");
    glBindTexture(GL_TEXTURE_2D, resources.normal_texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.viewport[0], frame.viewport[1], w, h);
    check_gl_error("Scene::get_normal_and_depth_textures - normals");
  }
}

// Depth picture on the left half, normal picture on the right, each half
// showing the matching half of its texture.
void draw_composed_normal_depth(const SsaoResources& resources) {
  glDisable(GL_DEPTH_TEST);
  // Plain texture colours: no lighting, and white to modulate with.
  glDisable(GL_LIGHTING);
  glColor4f(1, 1, 1, 1);
  full_screen_setup();
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, resources.depth_texture);
  half_quad(0.0f, 0.5f);
  glBindTexture(GL_TEXTURE_2D, resources.normal_texture);
  half_quad(0.5f, 1.0f);
  glDisable(GL_TEXTURE_2D);
  check_gl_error("Scene::draw_composed_normal_depth");
  glEnable(GL_DEPTH_TEST);
}

void draw_stage_2(const SsaoResources& resources, const SsaoFrame& frame,
                  const ShaderProgram& ssao_shader) {
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  full_screen_setup();
  glEnable(GL_TEXTURE_2D);
  use_program(&ssao_shader);
  set_uniforms(ssao_shader.program,
               stage_2_uniforms(frame.params, frame.viewport[2], frame.viewport[3]));
  glActiveTexture(GL_TEXTURE2);
  glBindTexture(GL_TEXTURE_2D, resources.random_texture);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, resources.depth_texture);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, resources.normal_texture);
  half_quad(0.0f, 0.5f);
  half_quad(0.5f, 1.0f);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glUseProgram(0);
  check_gl_error("Scene::draw_stage_2");
}

void draw_stage_3(const SsaoResources& resources, const SsaoFrame& frame,
                  const ShaderProgram& compose_shader) {
  const float* b = frame.background;
  glClearColor(b[0], b[1], b[2], b[3]);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  frame.set_camera();
  use_program(&compose_shader);
  set_uniforms(compose_shader.program,
               stage_3_uniforms(frame.params, frame.viewport[2], frame.viewport[3]));
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, resources.ssao_texture);
  frame.draw_objects();
  glUseProgram(0);
  // The axes inset that follows is drawn fixed-function: untextured.
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

void draw_ssao_frame(SsaoResources& resources, const SsaoFrame& frame, const ShaderProgram* shader,
                     const ShaderProgram* ssao_shader, const ShaderProgram* compose_shader) {
  const int w = frame.viewport[2], h = frame.viewport[3];
  if (w <= 0 || h <= 0) return;
  // The passes clear with colours of their own; the window's stays as it was.
  GLfloat clear_colour[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
  resources.create(w, h);
  first_pass(resources, frame, shader);
  if (ssao_shader) {
    draw_stage_2(resources, frame, *ssao_shader);
    if (compose_shader) {
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, resources.ssao_texture);
      glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.viewport[0], frame.viewport[1], w, h);
      check_gl_error("Scene::get_ssao_texture");
      draw_stage_3(resources, frame, *compose_shader);
    }
  } else {
    draw_composed_normal_depth(resources);
  }
  glClearColor(clear_colour[0], clear_colour[1], clear_colour[2], clear_colour[3]);
}

}  // namespace Tavrin
