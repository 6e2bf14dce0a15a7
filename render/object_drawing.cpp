// Object drawing; see object_drawing.h.
#include <GL/glew.h>

#include "render/object_drawing.h"

#include <memory>
#include <vector>

#include "base/messages.h"
#include "render/box_drawing.h"
#include "render/colour_map.h"
#include "render/gl_driver.h"
#include "render/placeholder_sphere.h"
#include "render/render_arrays.h"

namespace Tavrin {

static_assert(sizeof(Vec3) == 3 * sizeof(float), "nodes are handed to GL as packed floats");

namespace {

bool index_ok(int32_t i, int32_t n) { return i >= 0 && i < n; }

RenderArrays* arrays_of(Object& object) {
  return dynamic_cast<RenderArrays*>(object.graphic.get());
}

ColourMapCache* colour_map_of(Object& object) {
  return dynamic_cast<ColourMapCache*>(object.colour_map.get());
}

// The colour map to draw with, made or given coordinates as needed; null
// when the object is drawn without colour.
ColourMapCache* prepare_colour_map(Object& object, RenderArrays& arrays) {
  if (!object.draw_scalar) return nullptr;
  if (!object.colour_map) {
    std::unique_ptr<ColourMapCache> map = make_colour_map(object);
    if (!map) return nullptr;
    object.colour_map = std::move(map);
  }
  ColourMapCache* map = colour_map_of(object);
  if (!map) return nullptr;
  if (arrays.tex_coord_size() == 0) map->fill_tex_coords(object, arrays);
  // Never colour with a map whose coordinates are missing.
  return arrays.tex_coord_size() > 0 ? map : nullptr;
}

void enable_cull(int32_t cull_face) {
  glEnable(GL_CULL_FACE);
  glCullFace(static_cast<GLenum>(cull_face));
}

}  // namespace

RenderArrays* build_graphic(Object& object) {
  object.graphic.reset();
  const int32_t n = object.num_nodes();
  if (n == 0) return nullptr;
  object.render_method = usable_render_method(object.render_method);
  auto arrays = std::make_unique<RenderArrays>(object.render_method);
  arrays->set_vertices(&object.nodes[0].x, n);
  object.ensure_normals();
  if (object.normals.size() == object.nodes.size()) arrays->set_normals(&object.normals[0].x);

  std::vector<uint32_t> indices;
  indices.reserve(object.lines.size() * 2);
  for (const LineRecord& l : object.lines)
    if (index_ok(l.a, n) && index_ok(l.b, n)) {
      indices.push_back(static_cast<uint32_t>(l.a));
      indices.push_back(static_cast<uint32_t>(l.b));
    }
  arrays->set_elements(LINE_ELEMENTS, indices.data(), static_cast<int32_t>(indices.size() / 2));

  indices.clear();
  indices.reserve(object.triangles.size() * 3);
  for (const TriangleRecord& t : object.triangles)
    if (index_ok(t.a, n) && index_ok(t.b, n) && index_ok(t.c, n)) {
      indices.push_back(static_cast<uint32_t>(t.a));
      indices.push_back(static_cast<uint32_t>(t.b));
      indices.push_back(static_cast<uint32_t>(t.c));
    }
  arrays->set_elements(TRIANGLE_ELEMENTS, indices.data(), static_cast<int32_t>(indices.size() / 3));
  RenderArrays* raw = arrays.get();
  object.graphic = std::move(arrays);
  return raw;
}

void drop_graphic(Object& object) { object.graphic.reset(); }

int32_t set_render_method(Object& object, int32_t method) {
  object.graphic.reset();
  object.colour_map.reset();
  object.render_method = usable_render_method(method);
  return object.render_method;
}

void draw_object(Object& object) {
  check_gl_error("Object::draw begin");
  const bool cull = object.cull_face != 0;

  if (object.num_nodes() == 0) {
    if (cull) enable_cull(object.cull_face);
    draw_placeholder_sphere(object.draw_style);
    if (cull) glDisable(GL_CULL_FACE);
    check_gl_error("Object::draw end teapot");
    return;
  }

  glPushMatrix();
  const Box box = object.box();
  if (box.min.x <= box.max.x && box.min.y <= box.max.y && box.min.z <= box.max.z) {
    Vec3 c = box.centre();
    glTranslatef(-c.x, -c.y, -c.z);
  }

  RenderArrays* arrays = arrays_of(object);
  if (!arrays) arrays = build_graphic(object);
  ColourMapCache* map = arrays ? prepare_colour_map(object, *arrays) : nullptr;
  const bool coloured = map && map->begin();
  // Display lists hold the texture state they were compiled with; decided on
  // the state actually drawn, so a map whose texture fails does not cause a
  // rebuild on every frame.
  bool with_tex = coloured;
  if (arrays && arrays->lists_need_rebuild(with_tex)) {
    arrays = build_graphic(object);
    if (arrays && with_tex && !prepare_colour_map(object, *arrays)) with_tex = false;
  }

  if (arrays) {
    if (cull) enable_cull(object.cull_face);
    const int32_t mask = object.draw_elements;
    arrays->use_tex_coords = with_tex;
    switch (object.draw_style) {
      case 1:
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        arrays->renderVA(mask);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        break;
      case 2:
        glLineWidth(3);
        arrays->renderVA(mask);
        glLineWidth(1);
        break;
      case 3: {
        // Black edges first. The colour and colour-material state are saved
        // and set back by hand: popping them with glPopAttrib leaves some
        // drivers' tracking material black for the faces that follow.
        GLfloat colour[4];
        glGetFloatv(GL_CURRENT_COLOR, colour);
        const GLboolean tracking = glIsEnabled(GL_COLOR_MATERIAL);
        GLint tracked_face = GL_FRONT_AND_BACK, tracked_mode = GL_AMBIENT_AND_DIFFUSE;
        glGetIntegerv(GL_COLOR_MATERIAL_FACE, &tracked_face);
        glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &tracked_mode);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        glColor4f(0, 0, 0, 1);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        arrays->renderVA(mask);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glColor4fv(colour);
        glColorMaterial(static_cast<GLenum>(tracked_face), static_cast<GLenum>(tracked_mode));
        if (!tracking) glDisable(GL_COLOR_MATERIAL);
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1, 1);
        glLineWidth(3);
        arrays->renderVA(mask);
        glLineWidth(1);
        glDisable(GL_POLYGON_OFFSET_FILL);
        break;
      }
      default:
        log_message("Drawing nothing.\n");
        break;
    }
    arrays->use_tex_coords = false;
    if (cull) glDisable(GL_CULL_FACE);
  }
  if (coloured) map->end();

  if (object.show_bbox) {
    // Light grey without lighting whatever the object's colour; the colour
    // is set back by hand for the same reason as the edges of style 3.
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    const GLboolean lighting = glIsEnabled(GL_LIGHTING);
    glDisable(GL_LIGHTING);
    glColor4f(0.9f, 0.9f, 0.9f, 1.0f);
    draw_box(box);
    glColor4fv(colour);
    if (lighting) glEnable(GL_LIGHTING);
  }
  glPopMatrix();
  check_gl_error("Object::draw end vbo");
}

}  // namespace Tavrin
