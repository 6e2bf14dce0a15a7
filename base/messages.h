// The message routes of the program. By default every message goes to
// standard output and is flushed at once (the batch run); the viewer replaces
// the sink with the output window and the status bar. Tests install a sink of
// their own to capture every message in order. Code below the shell never
// asks which mode it runs in: what differs between batch and viewer is the
// route a message takes, and each sink handles each route its own way.
#pragma once

#include <functional>
#include <string>

namespace Tavrin {

enum class MessageRoute {
  Log,         // text as it is
  Status,      // short state message
  Box,         // modal message; dropped by the default sink
  Output,      // output window only; dropped by the default sink
  StatusLine,  // a phase line: its own line in batch, the status bar in the viewer
  Progress,    // interactive-only progress (phase names while loading); dropped by default
  Busy,        // busy indicator: "start", "step" or "stop"; dropped by default
  FileName,    // the name of the file shown; dropped by default
};

// Receives every message with the route it was sent on.
using MessageSink = std::function<void(MessageRoute, const std::string&)>;

// Replaces the sink; an empty function restores the default (standard output
// for log and status messages, message boxes dropped). Returns the previous one.
MessageSink set_message_sink(MessageSink sink);

// Gives the calling thread a sink of its own for as long as the object
// lives: messages that thread sends reach `sink` instead of the process-wide
// one, so that two calls on two threads never see each other's messages.
// The worker threads of a parallel region have no sink of their own unless
// they install one too. An empty function drops every message. Scopes nest;
// each restores the one before it. The sink is called without a lock: one
// shared by several threads must serialise itself.
// Sets the calling thread's own sink (null: none) and returns the one before.
const MessageSink* swap_thread_sink(const MessageSink* sink);

class ThreadMessageSink {
 public:
  explicit ThreadMessageSink(const MessageSink* sink);
  ~ThreadMessageSink();
  ThreadMessageSink(const ThreadMessageSink&) = delete;
  ThreadMessageSink& operator=(const ThreadMessageSink&) = delete;

 private:
  const MessageSink* previous_;
};

// Writes text as it is (the caller supplies the line end).
void log_message(const std::string& text);
// The interactive half of log_message (output window only).
void log_to_output(const std::string& text);
// Short state message: status bar interactively, a line of its own in batch.
void show_status(const std::string& text);
// Modal message dialog; only shown interactively.
void message_box(const std::string& text);

// A status line: by default the text and a newline go to standard output;
// the viewer shows it in the status bar.
void status_line(const std::string& text);

// Progress of a long operation that only an interactive sink shows.
void show_progress(const std::string& text);

// The name of the file being shown; only an interactive sink shows it.
void show_file_name(const std::string& text);

// The busy indicator of a long operation; only an interactive sink shows it.
enum class BusyEvent { Start, Step, Stop };
void signal_busy(BusyEvent event);

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Tavrin
