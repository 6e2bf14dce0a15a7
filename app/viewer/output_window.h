// The output window: a top-level window with a scrolling text display of
// every logged message and a Hide button, kept under the graphics window.
#pragma once

#include <functional>
#include <string>

class Fl_Double_Window;
class Fl_Text_Display;
class Fl_Text_Buffer;
class Fl_Window;

namespace Tavrin {

struct WindowPlace {
  int x = 0, y = 0, w = 0, h = 0;
};

// Where the output window goes: under the main window, 40 pixels below its
// bottom edge, as wide as it and 150 high; (32, 672, 1024) without one.
WindowPlace output_window_place(const Fl_Window* main_window);

class OutputWindow {
 public:
  // `on_hide` runs when the user hides the window (Hide button or closing
  // it), so the owner can follow the window's state.
  explicit OutputWindow(std::function<void()> on_hide);
  ~OutputWindow();
  OutputWindow(const OutputWindow&) = delete;
  OutputWindow& operator=(const OutputWindow&) = delete;

  // Makes the window when needed (at `place`), moves and sizes it there (the
  // height stays), shows it and scrolls to the insertion point.
  void show_at(const WindowPlace& place);
  void hide();
  bool visible() const;
  // Inserts at the insertion point and scrolls it into view; the window is
  // neither shown, moved nor raised. Nothing happens before it is made.
  void append(const std::string& text);
  bool made() const { return window_ != nullptr; }
  Fl_Text_Display* text_display() const { return display_; }

 private:
  void make(const WindowPlace& place);
  static void hide_callback(void* self);

  Fl_Double_Window* window_ = nullptr;
  Fl_Text_Display* display_ = nullptr;
  Fl_Text_Buffer* buffer_ = nullptr;
  std::function<void()> on_hide_;
};

}  // namespace Tavrin
