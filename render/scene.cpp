// The scene: objects, camera, lights, the frame and the axes inset; see
// scene.h.
#include <GL/glew.h>

#include "render/scene.h"

#include <GL/glu.h>

#include "render/bitmap_font.h"
#include "render/camera.h"
#include "render/colour_legend.h"
#include "render/gl_driver.h"
#include "render/object_drawing.h"
#include "render/trackball.h"

namespace Tavrin {

const ObjectColours kOriginalColours = {
    {0.1f, 0.1f, 0.9f, 1.0f}, {0.6f, 0.6f, 0.6f, 1.0f}, {0.6f, 0.75f, 0.75f, 1.0f}};
const ObjectColours kSimplifiedColours = {
    {0.8f, 0.4f, 0.4f, 1.0f}, {0.75f, 0.61f, 0.23f, 1.0f}, {0.75f, 0.46f, 0.61f, 1.0f}};

Scene::~Scene() {
  // Effects first: their passes may refer to the objects.
  effects.reset();
  simplified.reset();
  original.reset();
}

bool shows_axes_inset(int width, int height) {
  return width >= kAxesInsetMinPicture && height >= kAxesInsetMinPicture;
}

void Scene::frame(const Object& object) {
  model_size = model_size_of(object);
  zoom = 0.5f;
  eye_distance = 10.0f * model_size;
}

void Scene::set_original(std::unique_ptr<Object> object) {
  original = std::move(object);
  if (original) frame(*original);
}

void Scene::set_simplified(std::unique_ptr<Object> object) {
  int32_t style = simplified ? simplified->draw_style : original ? original->draw_style : 2;
  bool bbox = simplified ? simplified->show_bbox : false;
  bool grid = simplified ? simplified->show_grid : false;
  simplified = std::move(object);
  simplified_unsaved = false;
  if (!simplified) return;
  simplified->draw_style = style;
  simplified->show_bbox = bbox;
  simplified->show_grid = grid;
}

bool Scene::take_simplified(std::unique_ptr<Object> result) {
  if (!result || !original) return false;
  result->bbox_min = original->bbox_min;
  result->bbox_max = original->bbox_max;
  set_simplified(std::move(result));
  simplified_unsaved = true;
  if (!show_simplified) {
    show_original = false;
    show_simplified = true;
  }
  return true;
}

void Scene::reset_view() {
  light_count = 1;
  eye_distance = 10.0f;
  model_size = 1.5f;
  zoom = 1.0f;
  if (original) {
    frame(*original);
    for (Object* o : {original.get(), simplified.get()}) {
      if (!o) continue;
      o->draw_style = 2;
      o->draw_elements = 14;
      o->cull_face = 0;
    }
  }
  thick_lines = false;
  two_colour_faces = false;
}

void Scene::change_zoom(float factor) { zoom = zoom_step(zoom, factor); }

void Scene::set_lights() {
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  if (light_count == 2) {
    const GLfloat ambient[4] = {0.1f, 0.1f, 0.3f, 1.0f};
    const GLfloat diffuse0[4] = {0.6f, 0.6f, 1.0f, 1.0f};
    const GLfloat position0[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    const GLfloat diffuse1[4] = {0.9f, 0.6f, 0.0f, 1.0f};
    const GLfloat position1[4] = {-1.0f, -1.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
    glLightfv(GL_LIGHT0, GL_POSITION, position0);
    glEnable(GL_LIGHT1);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_POSITION, position1);
  } else {
    const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    const GLfloat diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat position[4] = {1.0f, 1.0f, 2.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
  }
  glShadeModel(GL_SMOOTH);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
}

void Scene::set_camera(const View& view, float aspect) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  set_lights();
  glEnable(GL_DEPTH_TEST);

  const Frustum f = camera_frustum(model_size, zoom, eye_distance, aspect);
  glMatrixMode(GL_PROJECTION);
  glFrustum(f.left, f.right, f.bottom, f.top, f.near_plane, f.far_plane);

  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, f.eye, 0, 0, 0, 0, 1, 0);
  glTranslated(view.pan[0] * f.right, view.pan[1] * f.top, view.pan[2]);
  const std::array<float, 16> m = rotation_matrix(view.rotation);
  glMultMatrixf(m.data());

  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
}

void Scene::draw_one(Object& object, const ObjectColours& colours) {
  if (thick_lines) glLineWidth(3);
  if (object.draw_style == 1) {
    glColor4fv(colours.edges);
    draw_object(object);
    return;
  }
  if (two_colour_faces) {
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
  }
  glColor4fv(colours.front);
  draw_object(object);
  if (two_colour_faces) {
    glCullFace(GL_FRONT);
    glColor4fv(colours.back);
    draw_object(object);
    glDisable(GL_CULL_FACE);
  }
}

void Scene::draw_objects() {
  if (show_original && original) draw_one(*original, kOriginalColours);
  if (show_simplified && simplified) draw_one(*simplified, kSimplifiedColours);
  if (thick_lines) glLineWidth(1);
}

void Scene::draw_axes(const View& view, const float background[4]) {
  glPushAttrib(GL_VIEWPORT_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT |
               GL_DEPTH_BUFFER_BIT);
  glViewport(kAxesInset[0], kAxesInset[1], kAxesInset[2], kAxesInset[3]);
  glScissor(kAxesInset[0], kAxesInset[1], kAxesInset[2], kAxesInset[3]);
  glEnable(GL_SCISSOR_TEST);
  // The axes are coloured with glColor alone: with colour material on, their
  // last colour would stay in the material and tint the next frame's objects.
  glDisable(GL_COLOR_MATERIAL);

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-1.05, 1.55, -1.05, 1.55, -1.05, 1.55);
  glClearDepth(1.0);
  glClear(GL_DEPTH_BUFFER_BIT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  const std::array<float, 16> m = rotation_matrix(view.rotation);
  glMultMatrixf(m.data());

  // Four faces of the corner tetrahedron: red (O, Y, X), yellow (O, Z, Y),
  // blue (O, X, Z) and green (X, Y, Z), with X, Y, Z at 0.8 on their axes.
  static const float kFaces[4][4][3] = {{{1, 0, 0}, {0, 0, 0}, {0, 0.8f, 0}, {0.8f, 0, 0}},
                                        {{1, 1, 0}, {0, 0, 0}, {0, 0, 0.8f}, {0, 0.8f, 0}},
                                        {{0, 0, 1}, {0, 0, 0}, {0.8f, 0, 0}, {0, 0, 0.8f}},
                                        {{0, 1, 0}, {0.8f, 0, 0}, {0, 0.8f, 0}, {0, 0, 0.8f}}};
  glBegin(GL_TRIANGLES);
  for (const auto& face : kFaces) {
    glColor4f(face[0][0], face[0][1], face[0][2], 1);
    for (int k = 1; k < 4; ++k) glVertex3fv(face[k]);
  }
  glEnd();

  const float text[4] = {0, 0, 0, 1};
  const float back[4] = {background[0], background[1], background[2], 0};
  if (BitmapFont* font = find_bitmap_font(get_bitmap_font("fixed8x13dos", text, back))) {
    glRasterPos3f(1, 0, 0);
    font->draw_string("x");
    glRasterPos3f(0, 1, 0);
    font->draw_string("y");
    glRasterPos3f(0, 0, 1);
    font->draw_string("z");
  }

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glDisable(GL_SCISSOR_TEST);
  glPopAttrib();
  check_gl_error("Scene::draw_axes end");
}

void Scene::draw(const View& view, float aspect, const float background[4]) {
  GLint current[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, current);
  if (current[2] != viewport[2] || current[3] != viewport[3]) {
    for (int i = 0; i < 4; ++i) viewport[i] = current[i];
    release_ssao_resources();
  }
  check_gl_error("Scene::draw begin");
  set_camera(view, aspect);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
  if (!(shader_on && effects && effects->draw(*this, view, aspect, background))) draw_objects();
  glDisable(GL_LIGHT0);
  glDisable(GL_LIGHT1);
  glDisable(GL_LIGHTING);
  if (shows_axes_inset(viewport[2], viewport[3])) draw_axes(view, background);
  if (std::optional<ColourLegend> legend = scene_colour_legend(*this))
    draw_colour_legend(*legend, viewport[2], viewport[3]);
  check_gl_error("Scene::draw end");
}

void Scene::release_ssao_resources() {
  if (effects) effects->release_resources();
}

}  // namespace Tavrin
