// The output window and its placement under the graphics window.
#include "app/viewer/output_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>

namespace Tavrin {

namespace {

constexpr int kHeight = 150;
constexpr int kBelowMain = 40;

}  // namespace

WindowPlace output_window_place(const Fl_Window* main_window) {
  if (!main_window) return {32, 672, 1024, kHeight};
  return {main_window->x(), main_window->y() + main_window->h() + kBelowMain, main_window->w(),
          kHeight};
}

OutputWindow::OutputWindow(std::function<void()> on_hide) : on_hide_(std::move(on_hide)) {}

OutputWindow::~OutputWindow() {
  // The display does not own its buffer: the window (and the display) go
  // first, then the buffer.
  delete window_;
  delete buffer_;
}

void OutputWindow::hide_callback(void* self) {
  auto* me = static_cast<OutputWindow*>(self);
  me->hide();
  if (me->on_hide_) me->on_hide_();
}

void OutputWindow::make(const WindowPlace& place) {
  window_ = new Fl_Double_Window(place.x, place.y, place.w, kHeight, "Tavrin output window");
  buffer_ = new Fl_Text_Buffer(0, 1024);
  display_ = new Fl_Text_Display(10, 10, place.w - 20, 100);
  display_->buffer(buffer_);
  auto* button = new Fl_Button((place.w - 80) / 2, 117, 80, 25, "Hide");
  auto on_hide = [](Fl_Widget*, void* self) { hide_callback(self); };
  button->callback(on_hide, this);
  // Closing the window (or Esc in it) hides it like the button does.
  window_->callback(on_hide, this);
  window_->resizable(display_);
  window_->end();
}

void OutputWindow::show_at(const WindowPlace& place) {
  if (!window_) make(place);
  window_->resize(place.x, place.y, place.w, window_->h());
  window_->show();
  display_->show_insert_position();
}

void OutputWindow::hide() {
  if (window_) window_->hide();
}

bool OutputWindow::visible() const { return window_ && window_->shown() && window_->visible(); }

void OutputWindow::append(const std::string& text) {
  if (!display_) return;
  display_->insert(text.c_str());
  display_->show_insert_position();
}

}  // namespace Tavrin
