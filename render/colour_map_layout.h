// The arithmetic of scalar colouring: the 50-colour blue-to-red ramp, the
// value range of an object and its thresholds, the interval boundaries and
// texels of the one-dimensional colour texture, and the texture coordinate
// that places a node's value in that texture. No OpenGL here; the texture
// itself is render/colour_map_texture.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mesh/object.h"

namespace Tavrin {

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};

// Number of thresholds of a colour map; the boundary list adds the lowest
// and the largest float around them, giving 51 intervals.
constexpr int kThresholdCount = 50;
constexpr int kColourTableSize = 52;

// The ramp: entries 1 to 50 run from dark blue (0, 0, 0.5) through blue,
// cyan, yellow and red to dark red (0.5, 0, 0); entry 0 repeats entry 1 and
// entry 51 repeats entry 50. Alpha is 1.
const std::array<Rgba, kColourTableSize>& colour_ramp();
// Which ramp entry colours interval j: j + 1 for j < 50, then 50.
const std::array<int32_t, kColourTableSize>& colour_indices();

// The value range of an object's coloured field (its full mesh's, when it
// has one): minimum and maximum over the nodes of every triangle and line,
// each occurrence counted, skipping the lowest float in a scalar. No
// elements: minimum = largest float, maximum = its negative.
struct ScalarRange {
  float minimum = 0, maximum = 0;
  std::string name;  // the scalar's name, or "|Coordinates|"
};
ScalarRange scalar_range(const Object& object);

// The `count` thresholds of a range (count >= 2).
std::vector<float> colour_thresholds(const ScalarRange& range, int count = kThresholdCount);

// The boundary list a colour map is made from: lowest float, the
// thresholds, largest float.
std::vector<float> boundary_list(const std::vector<float>& thresholds);

// Everything of a colour texture except the OpenGL name.
struct ColourMapLayout {
  std::vector<float> bounds;  // interval_count + 1 ascending boundaries
  int32_t interval_count = 0;
  double inv_count = 0;
  double scale = 1.0;           // fraction of the texture width the intervals cover
  int32_t width = 0;            // N texels
  int32_t per = 0;              // texels per interval
  std::vector<uint8_t> texels;  // N RGBA texels
  bool alpha_test = false;      // an interval is transparent
};

// Lays out the texture for `boundaries` (which must start with the lowest
// float and contain the largest float, which ends the list) with the colour
// of interval j taken from ramp entry `indices[j]` (black outside the ramp,
// transparent for -1) and `alpha` for every opaque interval. The width is
// the smallest power of two >= 4 intervals, at least 128 and at most
// `max_texture_size` (1024 when that is below 1). False when the
// boundaries do not have that form or give fewer than 3 intervals.
bool layout_colour_map(const std::vector<float>& boundaries, const int32_t* indices, float alpha,
                       int32_t max_texture_size, ColourMapLayout& layout);

// The texture coordinate of value v: its interval j and its place in it,
// ((v - bounds[j]) / (bounds[j+1] - bounds[j]) + j) / interval_count * scale,
// in double precision. An interval of zero width places v at its start.
double colour_coordinate(const ColourMapLayout& layout, double v);

// One coordinate per node of the object itself (not its full mesh): its own
// selected scalar, or its distance from the origin without one.
std::vector<float> colour_coordinates(const Object& object, const ColourMapLayout& layout);

// The value of node i that colouring uses on `object`: its selected scalar
// (when that holds a value per node) or the node's distance from the origin.
float colour_value(const Object& object, int32_t node);

}  // namespace Tavrin
