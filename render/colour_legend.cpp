// The colour legend's content, its placement and its drawing.
#include <GL/glew.h>

#include "render/colour_legend.h"

#include <algorithm>

#include "base/messages.h"
#include "render/bitmap_font.h"
#include "render/colour_map_texture.h"
#include "render/scene.h"

namespace Tavrin {

namespace {

constexpr int kMargin = 8;
constexpr int kBarWidth = 16;
constexpr int kBarMaxHeight = 200;
constexpr int kGap = 4;
constexpr const char* kLegendFont = "fixed8x13";

int text_width(const std::string& text, int char_w) {
  return static_cast<int>(text.size()) * char_w;
}

const ColourMapTexture* coloured_map(const Object* object) {
  if (!object || !object->draw_scalar) return nullptr;
  return dynamic_cast<const ColourMapTexture*>(object->colour_map.get());
}

}  // namespace

ColourLegend colour_legend(const ColourMapTexture& map) {
  const ColourMapLayout& layout = map.layout();
  ColourLegend legend;
  legend.name = map.range().name;
  legend.minimum = map.range().minimum;
  legend.maximum = map.range().maximum;
  for (int32_t j = 1; j + 1 < layout.interval_count; ++j) {
    const size_t texel = static_cast<size_t>(j) * static_cast<size_t>(layout.per) * 4;
    if (texel + 3 >= layout.texels.size()) break;
    const uint8_t* p = &layout.texels[texel];
    legend.bands.push_back({p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, 1.0f});
  }
  return legend;
}

std::optional<ColourLegend> scene_colour_legend(Scene& scene) {
  const Object* shown[2] = {scene.show_original ? scene.original.get() : nullptr,
                            scene.show_simplified ? scene.simplified.get() : nullptr};
  for (const Object* object : shown)
    if (const ColourMapTexture* map = coloured_map(object)) return colour_legend(*map);
  return std::nullopt;
}

std::string legend_number(float value) { return format("%.4g", static_cast<double>(value)); }

std::optional<LegendPlace> place_colour_legend(const ColourLegend& legend, int width, int height,
                                               int char_w, int char_h) {
  if (width < kAxesInsetMinPicture || height < kAxesInsetMinPicture || char_w < 1 || char_h < 1)
    return std::nullopt;
  LegendPlace p;
  p.bar_w = kBarWidth;
  p.bar_h = std::max(std::min(height / 3, kBarMaxHeight), 3 * char_h);
  p.bar_x = width - kMargin - p.bar_w;
  p.name_y = height - kMargin - char_h;
  p.name_x = std::max(0, width - kMargin - text_width(legend.name, char_w));
  p.bar_y = p.name_y - kGap - p.bar_h;
  p.max_y = p.bar_y + p.bar_h - char_h;
  p.min_y = p.bar_y;
  p.max_x = std::max(0, p.bar_x - kGap - text_width(legend_number(legend.maximum), char_w));
  p.min_x = std::max(0, p.bar_x - kGap - text_width(legend_number(legend.minimum), char_w));
  return p;
}

void draw_colour_legend(const ColourLegend& legend, int width, int height) {
  const FontDescriptor* descriptor = find_font_descriptor(kLegendFont);
  if (!descriptor || legend.bands.empty()) return;
  const std::optional<LegendPlace> place =
      place_colour_legend(legend, width, height, descriptor->width, descriptor->height);
  if (!place) return;
  const LegendPlace& p = *place;

  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_VIEWPORT_BIT | GL_LINE_BIT | GL_POLYGON_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glLineWidth(1.0f);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  // One band per interval, lowest values at the bottom.
  const float band = static_cast<float>(p.bar_h) / static_cast<float>(legend.bands.size());
  glBegin(GL_QUADS);
  for (size_t k = 0; k < legend.bands.size(); ++k) {
    const Rgba& c = legend.bands[k];
    const float y0 = static_cast<float>(p.bar_y) + band * static_cast<float>(k);
    glColor3f(c.r, c.g, c.b);
    glVertex2f(static_cast<float>(p.bar_x), y0);
    glVertex2f(static_cast<float>(p.bar_x + p.bar_w), y0);
    glVertex2f(static_cast<float>(p.bar_x + p.bar_w), y0 + band);
    glVertex2f(static_cast<float>(p.bar_x), y0 + band);
  }
  glEnd();
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINE_LOOP);
  glVertex2f(p.bar_x - 0.5f, p.bar_y - 0.5f);
  glVertex2f(p.bar_x + p.bar_w + 0.5f, p.bar_y - 0.5f);
  glVertex2f(p.bar_x + p.bar_w + 0.5f, p.bar_y + p.bar_h + 0.5f);
  glVertex2f(p.bar_x - 0.5f, p.bar_y + p.bar_h + 0.5f);
  glEnd();

  const float text[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  const float background[4] = {1.0f, 1.0f, 1.0f, 0.7f};
  if (BitmapFont* font = find_bitmap_font(get_bitmap_font(kLegendFont, text, background))) {
    auto put = [font](int x, int y, const std::string& s) {
      // Inside the window, so the raster position stays valid.
      glRasterPos2f(static_cast<float>(x) + 0.25f, static_cast<float>(y) + 0.25f);
      font->draw_string(s.c_str());
    };
    put(p.name_x, p.name_y, legend.name);
    put(p.max_x, p.max_y, legend_number(legend.maximum));
    put(p.min_x, p.min_y, legend_number(legend.minimum));
  }

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace Tavrin
