// What the graphics window shows: the original and the simplified object,
// which of them are visible, the camera driven by the trackball and zoom, the
// lights, a few drawing switches, and the axes inset in the lower left
// corner. Scene::draw renders one frame into the current GL context.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "mesh/object.h"
#include "render/scene_effects.h"
#include "render/view.h"

namespace Tavrin {

// Colours of the objects: edges (draw style 1), front faces, and back faces
// when two-colour faces are on.
struct ObjectColours {
  float edges[4];
  float front[4];
  float back[4];
};
extern const ObjectColours kOriginalColours;
extern const ObjectColours kSimplifiedColours;

// Where the axes inset sits in window pixels (x, y from the lower left, size).
constexpr int kAxesInset[4] = {4, 24, 84, 84};
// The inset is drawn only on pictures at least this wide and high: on a
// thumbnail it would cover the model.
constexpr int kAxesInsetMinPicture = 256;
bool shows_axes_inset(int width, int height);

class Scene {
 public:
  Scene() = default;
  // Frees the objects' GL resources and the effects': the context must still
  // be current.
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Replaces the original (none allowed) and frames it: model_size from its
  // box (2 without nodes), zoom 0.5, eye_distance 10 x model_size.
  void set_original(std::unique_ptr<Object> object);
  // Replaces the simplified object; it takes the draw style of the previous
  // simplified object, else of the original, else 2, and the previous
  // simplified object's show_bbox and show_grid. Clears simplified_unsaved.
  void set_simplified(std::unique_ptr<Object> object);
  // Takes a simplification of the original: gives it the original's box (so
  // both are centred and scaled alike), shows it, and shows only it when it
  // was not shown before; the result counts as unsaved. False, with nothing
  // changed, when there is no result or no original.
  bool take_simplified(std::unique_ptr<Object> result);

  // Back to the initial camera, lights and styles (the caller resets the
  // view transform).
  void reset_view();
  // One zoom step (+0.1 or -0.1); zoom stays in (0.0001, 10).
  void change_zoom(float factor);

  // Needs the model-view matrix at identity: the lights stay fixed to the eye.
  void set_lights();
  void set_camera(const View& view, float aspect);
  void draw_objects();
  void draw_axes(const View& view, const float background[4]);
  // One frame; the caller has cleared colour and depth. The axes inset and
  // the colour legend (while a scalar colours a shown object) are left out
  // of viewports smaller than kAxesInsetMinPicture.
  void draw(const View& view, float aspect, const float background[4]);
  void release_ssao_resources();

  int32_t light_count = 1;
  float eye_distance = 10.0f;
  float model_size = 1.5f;
  float zoom = 1.0f;
  bool show_original = true;
  bool show_simplified = false;
  bool shader_on = false;
  // A simplification made since the last Save of the simplified object.
  bool simplified_unsaved = false;
  bool ssao_on = false;
  std::array<int32_t, 4> viewport{0, 0, 0, 0};
  std::unique_ptr<Object> original;
  std::unique_ptr<Object> simplified;
  int32_t ssao_type = 25;
  int32_t ssao_width = 15;
  float ssao_factor = 1.0f;
  float ssao_max_dist = 20.0f;
  bool thick_lines = false;
  bool two_colour_faces = false;
  // Shader programs and occlusion passes; none draws fixed-function.
  std::unique_ptr<SceneEffects> effects;

 private:
  void frame(const Object& object);
  void draw_one(Object& object, const ObjectColours& colours);
};

}  // namespace Tavrin
