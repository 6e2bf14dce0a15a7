// What object drawing needs from the colouring of an object by a scalar
// field: a 1-D texture (the map, kept in Object::colour_map) and one texture
// coordinate per node (kept in the object's RenderArrays).
#pragma once

#include <memory>

#include "mesh/object.h"

namespace Tavrin {

class RenderArrays;

class ColourMapCache : public ObjectCache {
 public:
  // Enables and binds the texture around one coloured draw; false when the
  // map is not usable (the object is then drawn without colour).
  virtual bool begin() = 0;
  // Undoes begin; called only after begin returned true.
  virtual void end() = 0;
  // Gives `arrays` one texture coordinate per node of `object`, placing the
  // node's value in this map; false when it cannot. Called whenever the
  // object's arrays are (re)built while the map exists.
  virtual bool fill_tex_coords(const Object& object, RenderArrays& arrays) = 0;
};

// The colour map of the object's selected scalar (or of the nodes' distance
// from the origin when none is selected); null when none could be made.
std::unique_ptr<ColourMapCache> make_colour_map(Object& object);

}  // namespace Tavrin
