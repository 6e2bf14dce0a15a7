// The status bar: line layout, the strip it occupies, clicks, the busy star
// and the output window it owns.

// GLEW must precede every GL header, the toolkit's GL headers included.
// clang-format off
#include <GL/glew.h>
// clang-format on
#include "app/viewer/status_bar.h"

#include <GL/glu.h>

#include <algorithm>
#include <vector>

#include "app/viewer/output_window.h"
#include "base/messages.h"
#include "render/bitmap_font.h"

namespace Tavrin {

const char* const kStatusFontNames[kStatusFontCount] = {
    "fixed6x9",        "fixed6x10",       "fixed6x12",     "clean6x12",     "fixed6x13",
    "fixed6x13bold",   "fixed6x13italic", "fixed7x13",     "fixed7x13bold", "fixed7x13italic",
    "fixed7x14",       "fixed7x14bold",   "mini8x8",       "fixed8x8",      "fixed8x10",
    "fixed8x11",       "decorate8x12",    "fixed8x13",     "fixed8x13dos",  "fixed8x13bold",
    "fixed8x13italic", "fixed9x15",       "fixed9x15bold", "fixed9x18",     "fixed9x18bold",
    "fixed10x20"};

namespace {

// Widest line composed before the cut to kStatusLineLimit: keeps the layout
// arithmetic far from overflow for any width a window can have.
constexpr int kMaxCells = 1 << 16;

// The token of `text` that looks most like a path: the longest run between
// blanks and quotes that holds a '/'. Sets [begin, end); false without one.
bool find_path(const std::string& text, std::size_t& begin, std::size_t& end) {
  bool found = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t b = text.find_first_not_of(" '\"\t", i);
    if (b == std::string::npos) break;
    std::size_t e = text.find_first_of(" '\"\t", b);
    if (e == std::string::npos) e = text.size();
    if (text.find('/', b) < e && (!found || e - b > end - begin)) {
      begin = b;
      end = e;
      found = true;
    }
    i = e;
  }
  return found;
}

}  // namespace

std::string shorten_path_in_middle(const std::string& text, std::size_t room) {
  std::size_t begin = 0, end = 0;
  if (text.size() <= room || !find_path(text, begin, end)) return text;
  const std::string path = text.substr(begin, end - begin);
  std::vector<std::string> parts;
  for (std::size_t p = 0;;) {
    const std::size_t slash = path.find('/', p);
    parts.push_back(path.substr(p, slash - p));
    if (slash == std::string::npos) break;
    p = slash + 1;
  }
  // Keeps the first `keep` parts and the last one: "/home/.../x.msh".
  const std::size_t least = parts[0].empty() ? 2 : 1;
  if (parts.size() < least + 2) return text;
  std::string shortened;
  for (std::size_t keep = parts.size() - 2; keep >= least; --keep) {
    std::string middle;
    for (std::size_t k = 0; k < keep; ++k) middle += parts[k] + "/";
    middle += ".../" + parts.back();
    shortened = text.substr(0, begin) + middle + text.substr(end);
    if (shortened.size() <= room) break;
  }
  return shortened;
}

namespace {

// Places `text` into `line` from cell `start` within `room` cells; returns
// the cell where the line must end (a lone `.`), or line.size() when it goes on.
// A path too long for the room loses its middle first, so that the words
// around it stay visible; control characters (line breaks of a report) are
// drawn as blanks.
std::size_t place_field(std::string& line, int start, int room, const std::string& field) {
  if (field.empty()) return line.size();
  std::string text =
      room > 0 ? shorten_path_in_middle(field, static_cast<std::size_t>(room)) : field;
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  auto put = [&line](int at, char c) {
    if (at >= 0 && static_cast<std::size_t>(at) < line.size()) line[at] = c;
  };
  const int length = static_cast<int>(std::min<std::size_t>(text.size(), kMaxCells));
  if (length <= room) {
    for (int i = 0; i < length; ++i) put(start + i, text[i]);
  } else if (room >= 3) {
    for (int i = 0; i < room - 3; ++i) put(start + i, text[i]);
    for (int i = room - 3; i < room; ++i) put(start + i, '.');
  } else {
    put(start, '.');
    return std::min<std::size_t>(static_cast<std::size_t>(std::max(start, 0)) + 1, line.size());
  }
  return line.size();
}

}  // namespace

std::string compose_status_line(int width, int char_width, const std::array<std::string, 3>& fields,
                                bool busy, int busy_count) {
  if (char_width < 1 || width < 0) return {};
  const int n = std::min(
      static_cast<int>(static_cast<float>(width) / static_cast<float>(char_width)), kMaxCells);
  const int q = n / 4;
  const int r = n / 2 + q;
  std::string line(static_cast<std::size_t>(n) + 1, ' ');
  line[q] = '|';
  line[r] = '|';
  const int w0 = q - 2;
  const int w1 = r - q - 3;
  const int w2 = n - w1 - w0 - 8;
  std::size_t end = line.size();
  end = std::min(end, place_field(line, 1, w0, fields[0]));
  end = std::min(end, place_field(line, q + 2, w1, fields[1]));
  if (!busy) {
    end = std::min(end, place_field(line, r + 2, w2, fields[2]));
  } else if (w2 >= 1) {
    const int step = ((busy_count % w2) + w2) % w2;  // never negative
    line[r + 2 + step] = '*';
  }
  line.resize(std::min(end, kStatusLineLimit));
  return line;
}

int previous_status_font(int index) {
  return index <= 0 ? kStatusFontCount - 1 : std::min(index, kStatusFontCount) - 1;
}

StatusBar::StatusBar(Fl_Window* main_window) : main_window_(main_window) {}

StatusBar::~StatusBar() = default;

void StatusBar::set_width(int w) {
  width_ = w;
  update_area();
}

void StatusBar::set_height(int h) {
  height_ = h;
  update_area();
}

int StatusBar::char_width() const {
  const FontDescriptor* d = find_font_descriptor(font_name());
  return d ? d->width : 0;
}

int StatusBar::char_height() const {
  const FontDescriptor* d = find_font_descriptor(font_name());
  return d ? d->height : 0;
}

void StatusBar::update_area() {
  const float h = static_cast<float>(char_height());
  area_min_ = {0.0f, static_cast<float>(height_) - h, 0.0f};
  area_max_ = {static_cast<float>(width_), static_cast<float>(height_), 0.0f};
}

std::string StatusBar::compose() const {
  return compose_status_line(width_, char_width(), fields_, busy_, busy_count_);
}

void StatusBar::draw() {
  if (drawing_) return;
  drawing_ = true;
  if (font_stale_) {
    // Fetched here because making the font's display lists needs a context.
    const unsigned base = get_bitmap_font(font_name(), font_.text, font_.background);
    if (base) font_.font = base;
    font_stale_ = false;
  }
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(-0.1, width_ + 0.1, -0.1, height_ + 0.1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRasterPos3f(0.0f, 0.0f, 0.0f);
  if (BitmapFont* font = find_bitmap_font(font_.font)) {
    const std::string line = compose();
    font->draw_string(line.c_str());
  }
  drawing_ = false;
}

bool StatusBar::click(int button, int state, int x, int y) {
  const float fx = static_cast<float>(x);
  const float fy = static_cast<float>(y);
  if (fx < area_min_.x || fx > area_max_.x || fy < area_min_.y || fy > area_max_.y) return false;
  if (state != 0) return false;
  if (button == 0) {
    if (output_shown_)
      hide_output_window();
    else
      show_output_window();
    return true;
  }
  if (button == 1) {
    select_font(previous_status_font(font_index_));
    request_redraw();
    return true;
  }
  return false;
}

bool StatusBar::select_font(int index) {
  if (index < 0 || index >= kStatusFontCount) return false;
  font_index_ = index;
  if (!find_font_descriptor(kStatusFontNames[index])) return false;
  font_name_ = kStatusFontNames[index];
  font_stale_ = true;
  update_area();
  return true;
}

void StatusBar::set_field(const std::string& text, int index) {
  if (index < 0 || index > 2) return;
  fields_[index] = text;
  if (index == 1 && output_shown_ && output_window_ && output_window_->visible())
    output_window_->append(format("%s | %s\n", fields_[0].c_str(), fields_[1].c_str()));
}

void StatusBar::busy_start() {
  busy_ = true;
  busy_count_ = 0;
}

void StatusBar::busy_step() {
  if (!busy_) busy_start();
  ++busy_count_;
  request_redraw();
}

void StatusBar::busy_stop() { busy_ = false; }

void StatusBar::show_output_window() {
  if (!output_window_)
    output_window_ = std::make_unique<OutputWindow>([this] { output_shown_ = false; });
  output_window_->show_at(output_window_place(main_window_));
  output_shown_ = true;
}

void StatusBar::hide_output_window() {
  if (output_window_) output_window_->hide();
  output_shown_ = false;
}

void StatusBar::log(const std::string& text) {
  show_output_window();
  output_window_->append(text);
}

void StatusBar::request_redraw() const {
  if (redraw_) redraw_();
}

}  // namespace Tavrin
