// The message routes of the program. In a batch run every message goes to
// standard output and is flushed at once; interactive builds replace the sink
// with the output window and the status bar. Tests install a sink of their
// own to capture every message in order.
#pragma once

#include <functional>
#include <string>

namespace Tavrin {

enum class MessageRoute { Log, Status, Box, Output };

// Receives every message with the route it was sent on.
using MessageSink = std::function<void(MessageRoute, const std::string&)>;

// Replaces the sink; an empty function restores the default (standard output
// for log and status messages, message boxes dropped). Returns the previous one.
MessageSink set_message_sink(MessageSink sink);

// Writes text as it is (the caller supplies the line end).
void log_message(const std::string& text);
// The interactive half of log_message (output window only).
void log_to_output(const std::string& text);
// Short state message: status bar interactively, a line of its own in batch.
void show_status(const std::string& text);
// Modal message dialog; only shown interactively.
void message_box(const std::string& text);

// A status line: in batch mode the text and a newline go to the log,
// otherwise it goes to the status bar.
void status_line(const std::string& text);

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Tavrin
