// Colour ramp, value range, thresholds, texel layout and texture
// coordinates of scalar colouring.
#include "render/colour_map_layout.h"

#include <algorithm>
#include <cmath>

namespace Tavrin {

namespace {

float clamp01(float x) { return std::min(1.0f, std::max(0.0f, x)); }

std::array<Rgba, kColourTableSize> make_ramp() {
  std::array<Rgba, kColourTableSize> t{};
  t[0] = {0, 0, 0, 1};
  t[51] = {1, 1, 1, 1};
  for (int k = 1; k <= 50; ++k) {
    const float b = static_cast<float>(k - 1);
    float r, g, bl;
    if (b <= 4.9f) {
      r = 0, g = 0, bl = b / 9.8f + 0.5f;
    } else if (b <= 17.15f) {
      r = 0, g = (b - 4.9f) / 12.25f, bl = 1;
    } else if (b <= 24.5f) {
      r = 0, g = 1, bl = 1 - (b - 17.15f) / 7.3500004f;
    } else if (b <= 31.849998f) {
      r = (b - 24.5f) / 7.3500004f, g = 1, bl = 0;
    } else if (b <= 44.1f) {
      r = 1, g = 1 - (b - 31.849998f) / 12.25f, bl = 0;
    } else {
      r = 1 - (b - 44.1f) / 9.8f, g = 0, bl = 0;
    }
    t[k] = {clamp01(r), clamp01(g), clamp01(bl), 1};
  }
  t[0] = t[1];
  t[51] = t[50];
  return t;
}

std::array<int32_t, kColourTableSize> make_indices() {
  std::array<int32_t, kColourTableSize> idx{};
  for (int j = 0; j < kColourTableSize; ++j) idx[j] = j < 50 ? j + 1 : 50;
  return idx;
}

const Object& last_of_chain(const Object& object) {
  const Object* o = &object;
  while (o->full) o = o->full.get();
  return *o;
}

const Scalar* selected_scalar(const Object& o) {
  if (o.scalar_index < 0 || o.scalar_index >= static_cast<int32_t>(o.scalars.size()))
    return nullptr;
  const Scalar& s = o.scalars[static_cast<size_t>(o.scalar_index)];
  return s.values.size() >= o.nodes.size() ? &s : nullptr;
}

uint8_t to_byte(float c) { return static_cast<uint8_t>(clamp01(c) * 255.0f); }

}  // namespace

const std::array<Rgba, kColourTableSize>& colour_ramp() {
  static const std::array<Rgba, kColourTableSize> ramp = make_ramp();
  return ramp;
}

const std::array<int32_t, kColourTableSize>& colour_indices() {
  static const std::array<int32_t, kColourTableSize> indices = make_indices();
  return indices;
}

float colour_value(const Object& object, int32_t node) {
  if (const Scalar* s = selected_scalar(object)) return s->values[static_cast<size_t>(node)];
  const Vec3& p = object.nodes[static_cast<size_t>(node)];
  return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
}

ScalarRange scalar_range(const Object& object) {
  const Object& o = last_of_chain(object);
  const Scalar* s = selected_scalar(o);
  ScalarRange r;
  r.name = s ? s->name : "|Coordinates|";
  r.minimum = kLargestFloat;
  r.maximum = -kLargestFloat;
  const int32_t n = o.num_nodes();
  auto take = [&](int32_t node) {
    if (node < 0 || node >= n) return;
    float v = colour_value(o, node);
    if (s && v == -kLargestFloat) return;
    r.minimum = std::min(r.minimum, v);
    r.maximum = std::max(r.maximum, v);
  };
  for (const TriangleRecord& t : o.triangles) take(t.a), take(t.b), take(t.c);
  for (const LineRecord& l : o.lines) take(l.a), take(l.b);
  return r;
}

std::vector<float> colour_thresholds(const ScalarRange& r, int count) {
  std::vector<float> t(static_cast<size_t>(std::max(count, 2)));
  float range = r.maximum - r.minimum;
  if (range < 1e-20f) range = 1e-20f;
  const float d = range * 1e-6f;
  t[0] = r.minimum - d * 0.5f;
  const float step = range / static_cast<float>(count - 1) + d;
  for (int k = 1; k < count; ++k)
    t[static_cast<size_t>(k)] = static_cast<float>(k) * step + r.minimum;
  return t;
}

std::vector<float> boundary_list(const std::vector<float>& thresholds) {
  std::vector<float> b;
  b.reserve(thresholds.size() + 2);
  b.push_back(-kLargestFloat);
  b.insert(b.end(), thresholds.begin(), thresholds.end());
  b.push_back(kLargestFloat);
  return b;
}

bool layout_colour_map(const std::vector<float>& boundaries, const int32_t* indices, float alpha,
                       int32_t max_texture_size, ColourMapLayout& out) {
  out = ColourMapLayout{};
  if (boundaries.empty() || boundaries[0] != -kLargestFloat) return false;
  auto last = std::find(boundaries.begin() + 1, boundaries.end(), kLargestFloat);
  if (last == boundaries.end()) return false;
  const int32_t i = static_cast<int32_t>(last - boundaries.begin());
  if (i < 3) return false;

  std::vector<float>& b = out.bounds;
  b.assign(boundaries.begin(), boundaries.begin() + i);
  b.push_back(0.0f);
  const float first = b[2] - b[1];
  if (first != 0.0f) b[0] = b[1] - first;
  const float lastd = b[i - 1] - b[i - 2];
  b[i] = b[i - 1] + (lastd != 0.0f ? lastd : first);
  out.interval_count = i;
  out.inv_count = 1.0 / i;

  const std::array<Rgba, kColourTableSize>& ramp = colour_ramp();
  std::vector<Rgba> colours(static_cast<size_t>(i));
  for (int32_t j = 0; j < i; ++j) {
    const int32_t c = indices[j];
    if (c == -1) {
      colours[j] = {0, 0, 0, 0};
      out.alpha_test = true;
    } else if (c < 0 || c >= kColourTableSize) {
      colours[j] = {0, 0, 0, alpha};
    } else {
      colours[j] = {ramp[c].r, ramp[c].g, ramp[c].b, alpha};
    }
  }

  if (max_texture_size < 1) max_texture_size = 1024;
  int32_t n = 128;
  while (n < 4 * i) n *= 2;
  n = std::min(n, max_texture_size);
  out.width = n;
  out.per = n / i;
  out.texels.assign(static_cast<size_t>(n) * 4, 0);
  int32_t written = 0;
  auto put = [&](const Rgba& c) {
    if (written >= n) return;
    uint8_t* p = &out.texels[static_cast<size_t>(written) * 4];
    p[0] = to_byte(c.r), p[1] = to_byte(c.g), p[2] = to_byte(c.b), p[3] = to_byte(c.a);
    ++written;
  };
  for (int32_t k = 0; k < out.per; ++k) put(colours[0]);
  for (int32_t c = 1; c <= i - 2; ++c)
    for (int32_t k = 0; k < out.per; ++k) put(colours[c]);
  put(colours[i >= 3 ? i - 2 : 0]);
  for (int32_t k = 0; k < out.per; ++k) put(colours[i - 1]);
  out.scale = static_cast<double>(written) / n;
  while (written < n) put(colours[i - 1]);
  return true;
}

double colour_coordinate(const ColourMapLayout& m, double v) {
  const int32_t i = m.interval_count;
  if (i < 1) return 0.0;
  const std::vector<float>& b = m.bounds;
  int32_t j;
  if (v <= b[0]) {
    j = 0;
  } else {
    // The first boundary at or above v closes its interval.
    auto it = std::lower_bound(b.begin() + 1, b.begin() + i + 1, v,
                               [](float bound, double x) { return bound < x; });
    j = it == b.begin() + i + 1 ? i - 1 : static_cast<int32_t>(it - b.begin()) - 1;
  }
  const double width = static_cast<double>(b[j + 1]) - static_cast<double>(b[j]);
  const double place = width != 0.0 ? (v - static_cast<double>(b[j])) / width : 0.0;
  return (place + j) * m.inv_count * m.scale;
}

std::vector<float> colour_coordinates(const Object& object, const ColourMapLayout& layout) {
  std::vector<float> coords(object.nodes.size());
  for (int32_t k = 0; k < object.num_nodes(); ++k)
    coords[static_cast<size_t>(k)] =
        static_cast<float>(colour_coordinate(layout, colour_value(object, k)));
  return coords;
}

}  // namespace Tavrin
