#include "app/one_line_save.h"

#include <vector>

#include "base/messages.h"

namespace Tavrin {

namespace {

// Sends a held message again on the route it came on.
void replay(MessageRoute route, const std::string& text) {
  switch (route) {
    case MessageRoute::Log:
      log_message(text);
      break;
    case MessageRoute::Output:
      log_to_output(text);
      break;
    case MessageRoute::Status:
      show_status(text);
      break;
    case MessageRoute::Box:
      message_box(text);
      break;
    case MessageRoute::StatusLine:
      status_line(text);
      break;
    case MessageRoute::Progress:
      show_progress(text);
      break;
    case MessageRoute::FileName:
      show_file_name(text);
      break;
    case MessageRoute::Busy:
      signal_busy(text == "start"  ? BusyEvent::Start
                  : text == "step" ? BusyEvent::Step
                                   : BusyEvent::Stop);
      break;
  }
}

}  // namespace

bool save_in_one_line(const std::function<bool()>& save, const std::string& failure) {
  std::vector<std::pair<MessageRoute, std::string>> held;
  MessageSink previous = set_message_sink(
      [&held](MessageRoute route, const std::string& text) { held.emplace_back(route, text); });
  bool saved = false;
  try {
    saved = save();
  } catch (...) {
    set_message_sink(previous);
    throw;
  }
  set_message_sink(previous);
  std::string reason;
  for (const auto& [route, text] : held) {
    if (saved || route != MessageRoute::Log) {
      replay(route, text);
    } else if (reason.empty()) {
      reason = text;
    }
  }
  if (saved) return true;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '.')) reason.pop_back();
  log_message(failure + (reason.empty() ? std::string() : ": " + reason) + ".\n");
  return false;
}

}  // namespace Tavrin
