#include "base/messages.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace Tavrin {

namespace {

// Recursive: a sink may itself send a message (a redraw that reports a GL
// error), which must not deadlock.
std::recursive_mutex sink_mutex;
MessageSink current_sink;
// The calling thread's own sink, if it installed one (ThreadMessageSink).
thread_local const MessageSink* thread_sink = nullptr;

void default_sink(MessageRoute route, const std::string& text) {
  if (route == MessageRoute::Box || route == MessageRoute::Progress ||
      route == MessageRoute::Busy || route == MessageRoute::FileName)
    return;
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (route == MessageRoute::Status || route == MessageRoute::StatusLine) std::fputc('\n', stdout);
  std::fflush(stdout);
}

void send(MessageRoute route, const std::string& text) {
  if (thread_sink) {
    if (*thread_sink) (*thread_sink)(route, text);
    return;
  }
  std::lock_guard<std::recursive_mutex> guard(sink_mutex);
  if (current_sink)
    current_sink(route, text);
  else
    default_sink(route, text);
}

}  // namespace

MessageSink set_message_sink(MessageSink sink) {
  std::lock_guard<std::recursive_mutex> guard(sink_mutex);
  MessageSink old = std::move(current_sink);
  current_sink = std::move(sink);
  return old;
}

const MessageSink* swap_thread_sink(const MessageSink* sink) {
  const MessageSink* previous = thread_sink;
  thread_sink = sink;
  return previous;
}

ThreadMessageSink::ThreadMessageSink(const MessageSink* sink) : previous_(swap_thread_sink(sink)) {}

ThreadMessageSink::~ThreadMessageSink() { swap_thread_sink(previous_); }

void log_message(const std::string& text) { send(MessageRoute::Log, text); }
void log_to_output(const std::string& text) { send(MessageRoute::Output, text); }
void show_status(const std::string& text) { send(MessageRoute::Status, text); }
void message_box(const std::string& text) { send(MessageRoute::Box, text); }

void status_line(const std::string& text) { send(MessageRoute::StatusLine, text); }
void show_progress(const std::string& text) { send(MessageRoute::Progress, text); }
void show_file_name(const std::string& text) { send(MessageRoute::FileName, text); }

void signal_busy(BusyEvent event) {
  static const char* const kNames[] = {"start", "step", "stop"};
  send(MessageRoute::Busy, kNames[static_cast<int>(event)]);
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  }
  va_end(args);
  return out;
}

}  // namespace Tavrin
