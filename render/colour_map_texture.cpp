// The 1-D colour texture, its coordinates and scalar selection.
#include <GL/glew.h>

#include "render/colour_map_texture.h"

#include <strings.h>

#include "base/messages.h"
#include "render/gl_driver.h"
#include "render/render_arrays.h"
#include "render/scene.h"

namespace Tavrin {

namespace {

constexpr float kSpecialAlpha = 0.5f;

int32_t max_texture_size() {
  static int32_t size = [] {
    GLint s = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &s);
    return s < 1 ? 1024 : static_cast<int32_t>(s);
  }();
  return size;
}

RenderArrays* arrays_of(Object& object) {
  return dynamic_cast<RenderArrays*>(object.graphic.get());
}

// Coordinates drawn with a released map must not survive into the next one:
// display lists are dropped (they hold them compiled in), other arrays lose
// their coordinates and get new ones from the next map.
void drop_coordinates(Object& object) {
  RenderArrays* arrays = arrays_of(object);
  if (!arrays) {
    object.graphic.reset();
  } else if (arrays->method() == DISPLAY_LIST) {
    object.graphic.reset();
  } else if (arrays->tex_coord_size() > 0) {
    arrays->set_tex_coords(nullptr, 0);
  }
}

int32_t select_on(Object& object, const char* name) {
  object.scalar_index = -1;
  if (name && *name)
    for (size_t i = 0; i < object.scalars.size(); ++i)
      if (strcasecmp(object.scalars[i].name.c_str(), name) == 0) {
        object.scalar_index = static_cast<int32_t>(i);
        break;
      }
  object.colour_map.reset();
  drop_coordinates(object);
  return object.scalar_index + 1;
}

}  // namespace

ColourMapTexture::~ColourMapTexture() {
  if (texture_) {
    GLuint t = texture_;
    glDeleteTextures(1, &t);
  }
}

void ColourMapTexture::create_texture() {
  GLuint t = texture_;
  if (!t) glGenTextures(1, &t);
  texture_ = t;
  glBindTexture(GL_TEXTURE_1D, t);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, layout_.width, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               layout_.texels.data());
  failed_ = check_gl_error("ColourMapTexture::create_texture");
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  ready_ = !failed_;
}

bool ColourMapTexture::begin() {
  began_ = false;
  if (!ready_ && !failed_ && layout_.width > 0) create_texture();
  if (!ready_) return false;
  // The colour is saved and set back by hand: popping it with the attribute
  // stack leaves Mesa's tracked material at the wrong colour afterwards.
  glGetFloatv(GL_CURRENT_COLOR, saved_colour_);
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
  if (layout_.alpha_test && !glIsEnabled(GL_ALPHA_TEST)) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
  }
  glColor4f(0.8f, 0.8f, 0.8f, 1.0f);
  glEnable(GL_TEXTURE_1D);
  glBindTexture(GL_TEXTURE_1D, texture_);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  check_gl_error("ColourMapTexture::begin");
  began_ = true;
  return true;
}

void ColourMapTexture::end() {
  if (!began_) return;
  glDisable(GL_TEXTURE_1D);
  if (layout_.alpha_test) glDisable(GL_ALPHA_TEST);
  glPopAttrib();
  glColor4fv(saved_colour_);
  began_ = false;
}

bool ColourMapTexture::fill_tex_coords(const Object& object, RenderArrays& arrays) {
  if (object.num_nodes() == 0 || layout_.interval_count == 0) return false;
  std::vector<float> coords = colour_coordinates(object, layout_);
  arrays.set_tex_coords(coords.data(), 1);
  return true;
}

std::unique_ptr<ColourMapTexture> colour_map_for_sharing(const Object& object) {
  ScalarRange range = scalar_range(object);
  log_message(format("Scalar '%s': min = %f, max = %f\n", range.name.c_str(),
                     static_cast<double>(range.minimum), static_cast<double>(range.maximum)));
  ColourMapLayout layout;
  if (!layout_colour_map(boundary_list(colour_thresholds(range)), colour_indices().data(),
                         kSpecialAlpha, max_texture_size(), layout))
    return nullptr;
  return std::make_unique<ColourMapTexture>(std::move(layout), std::move(range));
}

std::unique_ptr<ColourMapCache> make_colour_map(Object& object) {
  return colour_map_for_sharing(object);
}

void use_colour_map(Object& object, std::unique_ptr<ColourMapTexture> map) {
  object.colour_map.reset();
  drop_coordinates(object);
  if (!map) return;
  if (RenderArrays* arrays = arrays_of(object)) map->fill_tex_coords(object, *arrays);
  object.colour_map = std::move(map);
}

int32_t select_scalar(Object& object, const char* name) {
  if (object.full) select_scalar(*object.full, name);
  return select_on(object, name);
}

int32_t select_scalar(Scene& scene, const char* name) {
  const int32_t a =
      scene.show_original && scene.original ? select_scalar(*scene.original, name) : 0;
  const int32_t b =
      scene.show_simplified && scene.simplified ? select_scalar(*scene.simplified, name) : 0;
  if (a != 0 && b != 0) {
    use_colour_map(*scene.simplified, colour_map_for_sharing(*scene.original));
    log_message("Using same colour map for both objects.\n");
  }
  return a + b;
}

}  // namespace Tavrin
