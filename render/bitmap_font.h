// Fixed-width bitmap fonts for text inside the OpenGL window (the status bar
// and the axis labels). The program keeps 29 fonts as plain bitmaps; a font is
// turned into one display list per glyph for a text colour and a background
// colour, and a string is drawn by calling the lists of its characters at the
// current raster position. Fonts are made on first request and cached for the
// life of the process.
//
// The directory, the descriptors and the glyph image conversion need no
// OpenGL context; BitmapFont and get_bitmap_font do.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace Tavrin {

// A font as stored in the program. Glyph g starts at byte
// g * height * bytes_per_row() of `bitmaps`; its rows run from the top row to
// the bottom row, one byte per row for widths up to 8 and two bytes for widths
// 9 to 16; within a row the most significant bit of the first byte is the
// leftmost pixel, continuing into the second byte for pixels 8 and up. A set
// bit is a text pixel. Glyph g is the character with code g.
struct FontDescriptor {
  int32_t width = 0;        // pixels, 1 to 16
  int32_t height = 0;       // pixels
  int32_t glyph_count = 0;  // 256 for every font of the directory
  const unsigned char* bitmaps = nullptr;

  int bytes_per_row() const { return width <= 8 ? 1 : 2; }
  int bytes_per_glyph() const { return height * bytes_per_row(); }
  // The bytes of glyph g; g must be in [0, glyph_count).
  const unsigned char* glyph(int g) const;
  // Whether pixel x (from the left) of row `row` (from the top) of glyph g is
  // a text pixel; all three must be inside the font.
  bool pixel(int g, int x, int row) const;
};

struct FontDirectoryEntry {
  const char* name;
  FontDescriptor descriptor;
};

// The 29 fonts in their fixed order, from "fixed8x13dos" to "fixed10x20".
std::span<const FontDirectoryEntry> font_directory();

// The descriptor of the font named exactly `name`, or nullptr for an unknown
// (or null) name.
const FontDescriptor* find_font_descriptor(const char* name);

// The image of glyph g as width * height RGBA pixels of four floats each, the
// text colour for set bits and the background colour for clear bits; the
// image's first row is the glyph's bottom row (the order glDrawPixels reads).
// g must be in [0, font.glyph_count); the colours point to four floats each.
std::vector<float> glyph_rgba_image(const FontDescriptor& font, int g, const float text_rgba[4],
                                    const float background_rgba[4]);

// A font made into display lists for one text and one background colour.
// Needs a current OpenGL context; the lists belong to that context.
class BitmapFont {
 public:
  BitmapFont() = default;
  ~BitmapFont() = default;  // the lists live as long as the context
  BitmapFont(const BitmapFont&) = delete;
  BitmapFont& operator=(const BitmapFont&) = delete;

  // Deletes the font's previous lists, if any, and compiles one list per
  // glyph: the glyph image drawn at the raster position, which then moves one
  // glyph width to the right. Returns false, with a message, when OpenGL
  // gives no lists (no context, or out of memory); the font is then empty.
  bool make(const FontDescriptor& font, const float text_rgba[4], const float background_rgba[4]);

  // Draws `text` at the current raster position and advances it; each
  // character is taken as an unsigned byte, so code 200 draws glyph 200.
  // Returns the number of characters drawn: 0 for a null or empty text or an
  // empty font. Blends with the source alpha when either colour is not opaque.
  int draw_string(const char* text);

  uint32_t list_base() const { return list_base_; }  // 0 while the font is empty
  int32_t list_count() const { return list_count_; }
  int32_t glyph_count() const { return glyph_count_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  bool blend() const { return blend_; }

 private:
  int32_t glyph_count_ = 0;
  uint32_t list_base_ = 0;
  int32_t list_count_ = 0;
  bool blend_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint32_t> codes_;  // list names of one string, reused between strings
};

// The list base of the font `name` in the given colours (four floats each),
// made on the first request for that name and exact colours and cached for
// the life of the process; 0 when the directory has no such name (nothing is
// cached then) or the lists could not be made. Needs a current OpenGL context;
// call from the drawing thread only.
uint32_t get_bitmap_font(const char* name, const float text_rgba[4],
                         const float background_rgba[4]);

// The cached font whose lists start at `list_base`, or nullptr (also for 0).
BitmapFont* find_bitmap_font(uint32_t list_base);

// Number of fonts made so far (cache entries); for tests and diagnostics.
int bitmap_font_cache_size();

}  // namespace Tavrin
