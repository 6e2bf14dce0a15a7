// The status bar: a one-line strip at the bottom of the graphics window with
// three fields (file name, last message, window size or frame rate) and a
// busy star, drawn with a bitmap font; it also owns the output window.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/vec3.h"

class Fl_Window;

namespace Tavrin {

class OutputWindow;

// The bar's font: a bitmap font by name with its colours. `font` is the GL
// list base, obtained when the bar is first drawn (it needs a GL context).
struct FontChoice {
  unsigned font = 0;
  float text[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float background[4] = {1.0f, 1.0f, 1.0f, 0.7f};
};

// The names the middle button cycles through; the bar starts at the last.
constexpr int kStatusFontCount = 26;
constexpr int kStatusFontStart = 25;
extern const char* const kStatusFontNames[kStatusFontCount];

// The composed line never exceeds this many characters (a 1,024-byte buffer
// with its terminator); wider windows see the line cut there.
constexpr std::size_t kStatusLineLimit = 1023;

// Lays the three fields out on a line of n + 1 cells, n = width / char_width:
// `|` at q = n / 4 and r = n / 2 + q; field 0 from cell 1 (room q - 2),
// field 1 from q + 2 (room r - q - 3), field 2 from r + 2 (room
// n - w1 - w0 - 8). A field too long for its room keeps its first room - 3
// characters and "..."; with a room below 3 it becomes a single `.` that
// ends the line. While `busy`, field 2 gives way to a `*` that walks through
// its room with `busy_count`. Empty fields place nothing. A char_width below
// 1 gives an empty line; the result is cut to kStatusLineLimit characters.
//
// Before a field is cut, a path in it too long for the room loses its middle
// folders (shorten_path_in_middle), and every control character of a field
// is drawn as a blank.
std::string compose_status_line(int width, int char_width, const std::array<std::string, 3>& fields,
                                bool busy, int busy_count);

// `text` when it fits in `room` characters or holds no path (a run between
// blanks and quotes with a '/'); else its longest path keeps its first
// folders and its file name with "..." between ("/home/.../x.msh"), with as
// many leading folders as still fit (at least the first). The result may
// still be longer than `room`.
std::string shorten_path_in_middle(const std::string& text, std::size_t room);

// The previous font of the cycle: index - 1, wrapping from 0 to the last.
int previous_status_font(int index);

class StatusBar {
 public:
  // `main_window` (may be null) places the output window under it.
  explicit StatusBar(Fl_Window* main_window);
  ~StatusBar();
  StatusBar(const StatusBar&) = delete;
  StatusBar& operator=(const StatusBar&) = delete;

  // Size of the graphics window in pixels; each setter updates the area.
  void set_width(int w);
  void set_height(int h);
  int width() const { return width_; }
  int height() const { return height_; }

  // The strip: x from 0 to width, y from height - h to height (window pixels,
  // y downwards), h the font's character height (0 without a font).
  void update_area();
  const Vec3& area_min() const { return area_min_; }
  const Vec3& area_max() const { return area_max_; }

  std::string compose() const;
  // Draws the line at the bottom of the current GL context; re-entry is ignored.
  void draw();

  // A press inside the strip: left shows or hides the output window, middle
  // selects the previous font and redraws. True when handled; presses of
  // other buttons, releases and anything outside the strip are not.
  bool click(int button, int state, int x, int y);

  // Replaces field `index` (0..2; others are ignored) with a copy of `text`.
  // For field 1, when the output window is on screen, also appends
  // "field0 | field1\n" to it without moving or raising it.
  void set_field(const std::string& text, int index);
  const std::string& field(int index) const { return fields_[index]; }

  void busy_start();
  void busy_step();  // starts when not busy, counts a step, redraws
  void busy_stop();
  bool busy() const { return busy_; }
  int busy_count() const { return busy_count_; }

  // Makes the output window when needed and shows it under the main window.
  void show_output_window();
  void hide_output_window();
  bool output_shown() const { return output_shown_; }
  // Shows the output window and appends `text` at its insertion point.
  void log(const std::string& text);

  // The place in the font list, and the name of the font in use: they differ
  // after a step onto a name the program has no font for.
  int font_index() const { return font_index_; }
  const char* font_name() const { return font_name_; }
  // Moves to `index` of the list (0..25; others are refused) and takes that
  // font when the program has it; false when it keeps its previous font.
  bool select_font(int index);

  // How the bar asks for the window to be drawn again (middle click, busy
  // step); none by default.
  void set_redraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }

 private:
  int char_width() const;
  int char_height() const;
  void request_redraw() const;

  int width_ = 10;
  int height_ = 10;
  Vec3 area_min_{kLargestFloat, kLargestFloat, kLargestFloat};
  Vec3 area_max_{-kLargestFloat, -kLargestFloat, -kLargestFloat};
  FontChoice font_;
  int font_index_ = kStatusFontStart;
  const char* font_name_ = kStatusFontNames[kStatusFontStart];
  bool font_stale_ = true;  // the GL font must be fetched for font_name_
  std::array<std::string, 3> fields_;
  bool busy_ = false;
  bool output_shown_ = false;
  int busy_count_ = 0;
  bool drawing_ = false;
  Fl_Window* main_window_ = nullptr;
  std::unique_ptr<OutputWindow> output_window_;
  std::function<void()> redraw_;
};

}  // namespace Tavrin
