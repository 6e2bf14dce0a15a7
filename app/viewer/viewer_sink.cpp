// Routing messages to the output window, the status bar and dialogs.
#include "app/viewer/viewer_sink.h"

#include <FL/fl_ask.H>

#include <cstdio>
#include <thread>

#include "app/viewer/application.h"
#include "app/viewer/callbacks.h"
#include "app/viewer/status_bar.h"

namespace Tavrin {

namespace {

void to_stdout(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// The bar shows one line: a trailing line end would be drawn as a glyph.
std::string one_line(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace

MessageSink make_viewer_sink(Application& app) {
  const std::thread::id ui_thread = std::this_thread::get_id();
  return [&app, ui_thread](MessageRoute route, const std::string& text) {
    // Windows and GL belong to the thread that made them; a message from a
    // worker thread is written to standard output rather than lost.
    if (std::this_thread::get_id() != ui_thread) {
      if (route == MessageRoute::Log || route == MessageRoute::Status ||
          route == MessageRoute::StatusLine)
        to_stdout(route == MessageRoute::Log ? text : one_line(text) + "\n");
      return;
    }
    StatusBar* bar = app.status_bar.get();
    switch (route) {
      case MessageRoute::Log:
      case MessageRoute::Output:
        if (bar)
          bar->log(text);
        else
          to_stdout(text);
        break;
      case MessageRoute::Status:
      case MessageRoute::StatusLine:
      case MessageRoute::Progress:
        if (!bar) break;
        bar->set_field(one_line(text), 1);
        redraw(app);
        break;
      case MessageRoute::FileName:
        if (!bar) break;
        bar->set_field(one_line(text), 0);
        redraw(app);
        break;
      case MessageRoute::Box:
        fl_message("%s", text.c_str());
        break;
      case MessageRoute::Busy:
        if (!bar) break;
        if (text == "start") {
          bar->busy_start();
          redraw(app);
        } else if (text == "step") {
          bar->busy_step();  // redraws through the bar's redraw hook
        } else if (text == "stop") {
          bar->busy_stop();
          redraw(app);
        }
        break;
    }
  };
}

}  // namespace Tavrin
