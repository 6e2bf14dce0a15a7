// The colour map of an object: a one-dimensional texture made from the
// interval layout of render/colour_map_layout.h, plus scalar selection by
// name and the sharing of one map between the original and the simplified
// object, so that equal values get equal colours in both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "render/colour_map.h"
#include "render/colour_map_layout.h"

namespace Tavrin {

class Scene;

class ColourMapTexture : public ColourMapCache {
 public:
  // A map with this layout; the GL texture is made on the first begin(), so
  // a map can be made and shared without a current context.
  // `range` is what the map was made from (the legend shows it).
  explicit ColourMapTexture(ColourMapLayout layout, ScalarRange range = {})
      : layout_(std::move(layout)), range_(std::move(range)) {}
  ~ColourMapTexture() override;

  bool begin() override;
  void end() override;
  // Coordinates from this map's boundaries and the object's own values;
  // false when the object has no nodes.
  bool fill_tex_coords(const Object& object, RenderArrays& arrays) override;

  const ColourMapLayout& layout() const { return layout_; }
  const ScalarRange& range() const { return range_; }
  bool ready() const { return ready_; }
  bool failed() const { return failed_; }

 private:
  void create_texture();
  ColourMapLayout layout_;
  ScalarRange range_;
  uint32_t texture_ = 0;
  bool ready_ = false;
  bool failed_ = false;
  bool began_ = false;
  float saved_colour_[4] = {1, 1, 1, 1};
};

// The map of the object's range (its full mesh's when it has one), logged
// as "Scalar '%s': min = %f, max = %f\n"; not attached to the object. Null
// only when the layout cannot be made.
std::unique_ptr<ColourMapTexture> colour_map_for_sharing(const Object& object);

// Attaches `map` to the object (releasing the previous one) and gives the
// object's drawing arrays, when they exist, the coordinates of its nodes in
// that map; arrays built later get them from the map when they are first
// drawn coloured. Needs the GL context when the object has arrays.
void use_colour_map(Object& object, std::unique_ptr<ColourMapTexture> map);

// Selects the scalar named `name` (ignoring case; none or no match: no
// scalar) on the full mesh first and then on the object; releases the
// colour map and the coordinates drawn with it. Returns scalar_index + 1.
int32_t select_scalar(Object& object, const char* name);

// Selects on each shown object; when both shown objects find it, the
// simplified object adopts a map made from the original's range and "Using
// same colour map for both objects.\n" is logged. Returns the sum of the
// two results.
int32_t select_scalar(Scene& scene, const char* name);

}  // namespace Tavrin
