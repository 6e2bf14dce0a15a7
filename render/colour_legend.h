// The colour legend: while a scalar field colours a shown object, a bar in
// the upper right corner of the graphics window shows the colour map in
// use, one band per interval between its thresholds from the lowest value
// at the bottom to the highest at the top, with the field's name above it
// and its maximum and minimum beside the bar's ends, in a bitmap font. Both
// objects colour with one shared map, so one legend serves both. What the
// legend holds and where it goes need no OpenGL; only drawing it does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "render/colour_map_layout.h"

namespace Tavrin {

class Scene;
class ColourMapTexture;

struct ColourLegend {
  std::string name;  // the field's name, or "|Coordinates|"
  float minimum = 0, maximum = 0;
  std::vector<Rgba> bands;  // bottom (lowest values) to top, alpha 1
};

// The legend of `map`: its range and the colours of its inner intervals
// (those between the first and the last threshold), read from its texels.
ColourLegend colour_legend(const ColourMapTexture& map);

// The legend of the map that colours the scene: the first shown object
// (original, then simplified) that draws its scalar with a colour map.
// None when no shown object is coloured.
std::optional<ColourLegend> scene_colour_legend(Scene& scene);

// Window pixels, origin at the lower left; text positions are the lower
// left corners of the first character.
struct LegendPlace {
  int bar_x = 0, bar_y = 0, bar_w = 0, bar_h = 0;
  int name_x = 0, name_y = 0;
  int max_x = 0, max_y = 0;
  int min_x = 0, min_y = 0;
};

// Where the legend goes in a window of `width` x `height` with characters
// of `char_w` x `char_h`: 8 pixels from the right and top edges, the name
// on top (right-aligned, starting at 0 at the most), the bar 16 pixels wide
// and a third of the height (at most 200, at least 3 character heights)
// below it, the numbers to the left of its ends. None when the window is
// too small to hold it (below 256 pixels either way, as for the axes inset).
std::optional<LegendPlace> place_colour_legend(const ColourLegend& legend, int width, int height,
                                               int char_w, int char_h);

// A legend number: "%.4g".
std::string legend_number(float value);

// Draws the legend into the current GL context over a viewport of `width` x
// `height`, keeping the GL state it found.
void draw_colour_legend(const ColourLegend& legend, int width, int height);

}  // namespace Tavrin
