// The bitmap fonts without a display: the directory, the stored glyph layout
// (row order, bit order, two bytes per row for wide fonts) checked through
// glyphs whose pixels are known exactly, and the RGBA images the display
// lists are made from.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "render/bitmap_font.h"

namespace Tavrin {
namespace {

// Codes of the block characters in every font (the shades, box-drawing and
// block range 128-159).
constexpr int kFullBlock = 153;
constexpr int kLowerHalf = 154;
constexpr int kLeftHalf = 155;
constexpr int kRightHalf = 156;
constexpr int kUpperHalf = 157;

int set_pixels(const FontDescriptor& font, int g) {
  int n = 0;
  for (int row = 0; row < font.height; ++row) {
    for (int x = 0; x < font.width; ++x) n += font.pixel(g, x, row);
  }
  return n;
}

TEST(BitmapFontDirectory, NamesAndSizesInOrder) {
  struct Expected {
    const char* name;
    int width, height;
  };
  const Expected expected[] = {
      {"fixed8x13dos", 8, 13},  {"fixed8x11", 8, 11},       {"fixed8x10", 8, 10},
      {"fixed8x8", 8, 8},       {"decorate8x12", 8, 12},    {"mini8x8", 8, 8},
      {"fixed4x6", 4, 6},       {"fixed5x7", 5, 7},         {"fixed5x8", 5, 8},
      {"fixed6x9", 6, 9},       {"fixed6x10", 6, 10},       {"fixed6x12", 6, 12},
      {"fixed6x13", 6, 13},     {"fixed6x13bold", 6, 13},   {"fixed6x13italic", 6, 13},
      {"fixed7x13", 7, 13},     {"fixed7x13bold", 7, 13},   {"fixed7x13italic", 7, 13},
      {"fixed7x14", 7, 14},     {"fixed7x14bold", 7, 14},   {"fixed8x13", 8, 13},
      {"fixed8x13bold", 8, 13}, {"fixed8x13italic", 8, 13}, {"clean6x12", 6, 12},
      {"fixed9x15", 9, 15},     {"fixed9x15bold", 9, 15},   {"fixed9x18", 9, 18},
      {"fixed9x18bold", 9, 18}, {"fixed10x20", 10, 20},
  };
  const auto directory = font_directory();
  ASSERT_EQ(directory.size(), std::size(expected));
  for (size_t i = 0; i < directory.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const FontDirectoryEntry& entry = directory[i];
    EXPECT_STREQ(entry.name, expected[i].name);
    EXPECT_EQ(entry.descriptor.width, expected[i].width);
    EXPECT_EQ(entry.descriptor.height, expected[i].height);
    EXPECT_EQ(entry.descriptor.glyph_count, 256);
    EXPECT_EQ(entry.descriptor.bytes_per_row(), expected[i].width <= 8 ? 1 : 2);
    // Lookup by name finds this very entry.
    EXPECT_EQ(find_font_descriptor(expected[i].name), &entry.descriptor);
  }
}

TEST(BitmapFontDirectory, UnknownNamesFindNothingAndCacheNothing) {
  // Names are compared exactly.
  for (const char* name : {"", "fixed8x13DOS", "fixed8x13dos ", "fixed8x1", "fixed11x22"}) {
    EXPECT_EQ(find_font_descriptor(name), nullptr) << '"' << name << '"';
  }
  EXPECT_EQ(find_font_descriptor(nullptr), nullptr);
  // An unknown name is refused before any OpenGL call, so this needs no context.
  const float black[4] = {0, 0, 0, 1};
  const float clear[4] = {1, 1, 1, 0};
  const int cached = bitmap_font_cache_size();
  EXPECT_EQ(get_bitmap_font("no such font", black, clear), 0u);
  EXPECT_EQ(get_bitmap_font(nullptr, black, clear), 0u);
  EXPECT_EQ(bitmap_font_cache_size(), cached);
  EXPECT_EQ(find_bitmap_font(0), nullptr);
}

// The block characters fix the row order (top row first) and the bit order
// (most significant bit leftmost, continuing into the second byte) in every
// font, whatever its width.
TEST(BitmapFontGlyphs, BlocksPinRowAndBitOrder) {
  for (const FontDirectoryEntry& entry : font_directory()) {
    SCOPED_TRACE(entry.name);
    const FontDescriptor& f = entry.descriptor;
    const int last_x = f.width - 1, last_row = f.height - 1;
    EXPECT_EQ(set_pixels(f, kFullBlock), f.width * f.height);
    for (int row = 0; row < f.height; ++row) {
      EXPECT_TRUE(f.pixel(kLeftHalf, 0, row));
      EXPECT_FALSE(f.pixel(kLeftHalf, last_x, row));
      EXPECT_FALSE(f.pixel(kRightHalf, 0, row));
      EXPECT_TRUE(f.pixel(kRightHalf, last_x, row));
    }
    for (int x = 0; x < f.width; ++x) {
      EXPECT_TRUE(f.pixel(kUpperHalf, x, 0));
      EXPECT_FALSE(f.pixel(kUpperHalf, x, last_row));
      EXPECT_FALSE(f.pixel(kLowerHalf, x, 0));
      EXPECT_TRUE(f.pixel(kLowerHalf, x, last_row));
    }
  }
}

TEST(BitmapFontGlyphs, KnownShapes) {
  // 'A' of the 8x13 font, byte for byte: rows top to bottom, one byte each.
  const FontDescriptor* f8x13 = find_font_descriptor("fixed8x13");
  ASSERT_NE(f8x13, nullptr);
  const unsigned char a[13] = {0, 0, 0x18, 0x24, 0x42, 0x42, 0x42, 0x7e, 0x42, 0x42, 0x42, 0, 0};
  EXPECT_EQ(std::memcmp(f8x13->glyph('A'), a, sizeof a), 0);

  // In the 10x20 font a vertical bar is one or two adjacent columns of set
  // bits, an underscore sets only the bottom rows and reaches into the second
  // byte (pixel 8), and the right half block sets pixels 8 and 9 there.
  const FontDescriptor* f10x20 = find_font_descriptor("fixed10x20");
  ASSERT_NE(f10x20, nullptr);
  EXPECT_EQ(f10x20->bytes_per_glyph(), 40);
  int bar_columns = 0, bar_first = -1;
  for (int x = 0; x < 10; ++x) {
    int n = 0;
    for (int row = 0; row < 20; ++row) n += f10x20->pixel('|', x, row);
    if (n > 0) {
      if (bar_first < 0) bar_first = x;
      EXPECT_EQ(x, bar_first + bar_columns) << "bar columns not adjacent";
      ++bar_columns;
      EXPECT_GE(n, 10) << "bar shorter than half the cell";
    }
  }
  EXPECT_GE(bar_columns, 1);
  EXPECT_LE(bar_columns, 2);
  for (int row = 0; row < 20; ++row) {
    for (int x = 0; x < 10; ++x) {
      if (f10x20->pixel('_', x, row)) {
        EXPECT_GE(row, 15) << "underscore pixel above the bottom";
      }
    }
  }
  EXPECT_TRUE(f10x20->pixel('_', 8, 16));
  const unsigned char* right_half = f10x20->glyph(kRightHalf);
  EXPECT_EQ(right_half[0], 0x07);  // pixels 5, 6, 7
  EXPECT_EQ(right_half[1], 0xc0);  // pixels 8, 9; the six unused bits clear
}

// Every font has a glyph for every code but 0 and the two spaces (32 and the
// no-break space 160); unused bits past the width are clear everywhere.
TEST(BitmapFontGlyphs, EveryCodeDrawnExceptTheBlanks) {
  for (const FontDirectoryEntry& entry : font_directory()) {
    SCOPED_TRACE(entry.name);
    const FontDescriptor& f = entry.descriptor;
    for (int g = 0; g < 256; ++g) {
      const bool blank = g == 0 || g == 32 || g == 160;
      EXPECT_EQ(set_pixels(f, g) == 0, blank) << "code " << g;
      const int used_bits = f.width, stored_bits = 8 * f.bytes_per_row();
      for (int row = 0; row < f.height; ++row) {
        const unsigned char* bytes = f.glyph(g) + row * f.bytes_per_row();
        for (int bit = used_bits; bit < stored_bits; ++bit) {
          EXPECT_FALSE((bytes[bit / 8] >> (7 - bit % 8)) & 1) << "code " << g << " row " << row;
        }
      }
    }
  }
}

TEST(BitmapFontImage, BottomRowFirstInTheTwoColours) {
  const float text[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  const float background[4] = {1.0f, 0.9f, 0.8f, 0.0f};
  for (const char* name : {"fixed4x6", "fixed8x13dos", "fixed10x20"}) {
    SCOPED_TRACE(name);
    const FontDescriptor& f = *find_font_descriptor(name);
    // The upper half block: the image starts (bottom row) in the background
    // colour and ends (top row) in the text colour.
    const std::vector<float> image = glyph_rgba_image(f, kUpperHalf, text, background);
    ASSERT_EQ(image.size(), size_t(f.width * f.height * 4));
    for (int y = 0; y < f.height; ++y) {
      for (int x = 0; x < f.width; ++x) {
        const float* pixel = &image[(y * f.width + x) * 4];
        const float* want = f.pixel(kUpperHalf, x, f.height - 1 - y) ? text : background;
        EXPECT_EQ(std::memcmp(pixel, want, 4 * sizeof(float)), 0) << "x " << x << " y " << y;
      }
    }
    EXPECT_EQ(image[0], background[0]);
    EXPECT_EQ(image[image.size() - 4], text[0]);
  }
  // A glyph with a left-right asymmetry keeps its columns in order.
  const FontDescriptor& f = *find_font_descriptor("fixed10x20");
  const std::vector<float> image = glyph_rgba_image(f, kLeftHalf, text, background);
  EXPECT_EQ(image[0 * 4 + 3], text[3]);        // x 0 of the bottom row
  EXPECT_EQ(image[9 * 4 + 3], background[3]);  // x 9 of the bottom row
}

}  // namespace
}  // namespace Tavrin
