// The status bar without a display: the line layout, the strip it occupies
// and the clicks it keeps or passes on.
#include <gtest/gtest.h>

#include <string>

#include "app/viewer/status_bar.h"
#include "render/bitmap_font.h"

namespace Tavrin {
namespace {

const std::string kName25 = "abcdefghijklmnopqrstuvwxy";

TEST(AppStatusLine, EightHundredPixelsInTenPixelCells) {
  // n = 80: bars at 20 and 60; rooms 18, 37 and 17.
  std::string line = compose_status_line(800, 10, {kName25, "message", "800x500"}, false, 0);
  ASSERT_EQ(line.size(), 81u);
  EXPECT_EQ(line[20], '|');
  EXPECT_EQ(line[60], '|');
  EXPECT_EQ(line.substr(0, 20), " abcdefghijklmno... ");
  EXPECT_EQ(line.substr(22, 7), "message");
  EXPECT_EQ(line.substr(62, 7), "800x500");

  // Each room holds exactly its width; one character more is cut with "...".
  const std::string fits1(37, 'b'), over1(38, 'b'), fits2(17, 'c'), over2(18, 'c');
  line = compose_status_line(800, 10, {std::string(18, 'a'), fits1, fits2}, false, 0);
  EXPECT_EQ(line.substr(1, 18), std::string(18, 'a'));
  EXPECT_EQ(line.substr(22, 37), fits1);
  EXPECT_EQ(line.substr(62, 17), fits2);
  line = compose_status_line(800, 10, {"", over1, over2}, false, 0);
  EXPECT_EQ(line.substr(22, 37), std::string(34, 'b') + "...");
  EXPECT_EQ(line.substr(62, 17), std::string(14, 'c') + "...");
  EXPECT_EQ(line.size(), 81u);
  EXPECT_EQ(line[60], '|');
}

TEST(AppStatusLine, NarrowWindowEndsTheLineAtALoneDot) {
  // n = 15: field 0 has room 1, so a longer name becomes "." and the line
  // stops there; a name that fits leaves the rest of the line in place.
  EXPECT_EQ(compose_status_line(150, 10, {"teapot.ply", "message", "150x40"}, false, 0), " .");
  const std::string line = compose_status_line(150, 10, {"t", "", ""}, false, 0);
  EXPECT_EQ(line.size(), 16u);
  EXPECT_EQ(line.substr(0, 4), " t |");
  // A too-long message in a room of 4 keeps one character.
  EXPECT_EQ(compose_status_line(150, 10, {"", "message", ""}, false, 0).substr(5, 4), "m...");
}

TEST(AppStatusLine, BusyStarWalksThroughFieldTwo) {
  // Room of field 2 is 17 cells from cell 62; its text is not shown meanwhile.
  for (int count : {0, 5, 16, 17, 20}) {
    const std::string line = compose_status_line(800, 10, {"", "", "fps: 25"}, true, count);
    ASSERT_EQ(line.size(), 81u);
    EXPECT_EQ(line.find('*'), static_cast<size_t>(62 + count % 17)) << count;
    EXPECT_EQ(line.find("fps"), std::string::npos);
  }
  // No room, no star.
  EXPECT_EQ(compose_status_line(30, 10, {"", "", ""}, true, 3).find('*'), std::string::npos);
}

TEST(AppStatusLine, LimitsAndMissingFont) {
  EXPECT_EQ(compose_status_line(800, 0, {"a", "b", "c"}, false, 0), "");
  const std::string wide = compose_status_line(100000, 6, {"a", "b", "c"}, false, 0);
  EXPECT_EQ(wide.size(), kStatusLineLimit);
  EXPECT_EQ(wide[1], 'a');
  EXPECT_EQ(wide.find('c'), std::string::npos);  // field 2 lies beyond the cut
  EXPECT_EQ(compose_status_line(5, 10, {"x", "y", "z"}, true, 1), "|");  // n = 0: one cell
}

TEST(AppStatusBar, StripFollowsWindowAndFont) {
  StatusBar bar(nullptr);
  bar.set_width(800);
  bar.set_height(500);
  ASSERT_STREQ(bar.font_name(), "fixed10x20");
  const FontDescriptor* font = find_font_descriptor("fixed10x20");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(bar.area_min().y, 500.0f - static_cast<float>(font->height));
  EXPECT_EQ(bar.area_max().x, 800.0f);
  EXPECT_EQ(bar.area_max().y, 500.0f);
  bar.set_field("teapot.ply", 0);
  EXPECT_EQ(bar.compose().substr(1, 10), "teapot.ply");
  EXPECT_EQ(bar.compose().size(), static_cast<size_t>(800 / font->width + 1));
}

TEST(AppStatusBar, ClicksOutsideTheStripOrReleasesAreNotKept) {
  StatusBar bar(nullptr);
  bar.set_width(800);
  bar.set_height(500);
  int redraws = 0;
  bar.set_redraw([&redraws] { ++redraws; });
  const int inside_y = 495;
  EXPECT_FALSE(bar.click(0, 0, 400, 300));       // left press above the strip
  EXPECT_FALSE(bar.click(1, 0, 400, 300));       // middle press above the strip
  EXPECT_FALSE(bar.click(0, 1, 400, inside_y));  // release on the strip
  EXPECT_FALSE(bar.click(1, 1, 400, inside_y));
  EXPECT_FALSE(bar.click(3, 0, 400, inside_y));  // wheel on the strip
  EXPECT_FALSE(bar.click(1, 0, 801, inside_y));  // right of the window
  EXPECT_EQ(bar.font_index(), kStatusFontStart);
  EXPECT_EQ(redraws, 0);
  EXPECT_FALSE(bar.output_shown());
}

TEST(AppStatusBar, MiddleClickCyclesFontsBackwardsAndWraps) {
  StatusBar bar(nullptr);
  bar.set_width(800);
  bar.set_height(500);
  int redraws = 0;
  bar.set_redraw([&redraws] { ++redraws; });
  ASSERT_TRUE(bar.click(1, 0, 10, 499));
  EXPECT_EQ(bar.font_index(), 24);
  EXPECT_STREQ(bar.font_name(), "fixed9x18bold");
  EXPECT_EQ(redraws, 1);
  // The strip is as high as the new font.
  EXPECT_EQ(bar.area_min().y,
            500.0f - static_cast<float>(find_font_descriptor("fixed9x18bold")->height));

  ASSERT_TRUE(bar.select_font(0));
  ASSERT_TRUE(bar.click(1, 0, 10, 499));
  EXPECT_EQ(bar.font_index(), 25);
  EXPECT_STREQ(bar.font_name(), "fixed10x20");
  EXPECT_FALSE(bar.select_font(26));
  EXPECT_EQ(bar.font_index(), 25);
  // Every name of the cycle is a font the program has.
  for (const char* name : kStatusFontNames) EXPECT_NE(find_font_descriptor(name), nullptr) << name;
}

TEST(AppStatusLine, LongPathsLoseTheirMiddleAndControlsShowAsBlanks) {
  // Room 37 (800 px, 10 px cells): the outcome after the path stays in sight.
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"File '/home/someone/projects/meshes/dragon.msh' saved",
       "File '/home/.../dragon.msh' saved"},
      {"File '/home/someone/projects/meshes/very_long_dragon_name.msh' saved",
       "File '/home/.../very_long_dragon_n..."},
      {"File 'relative/a/b/c/d/e/f/g/h/i/j/x.ply' saved", "File 'relative/a/b/c/.../x.ply' saved"},
      {"No path here but a message that is too long", "No path here but a message that is..."},
      {"Max error = 1\n + ini: 0.1\r\t= 2 s.", "Max error = 1  + ini: 0.1  = 2 s."},
  };
  for (const auto& c : cases) {
    const std::string line = compose_status_line(800, 10, {"", c.text, ""}, false, 0);
    EXPECT_EQ(line.substr(22, c.shown.size()), c.shown) << c.text;
    EXPECT_EQ(line.size(), 81u);
  }
  // Text that fits is left as it is, path or not.
  EXPECT_EQ(shorten_path_in_middle("'/a/b/c/d.ply' saved", 20), "'/a/b/c/d.ply' saved");
}

}  // namespace
}  // namespace Tavrin
