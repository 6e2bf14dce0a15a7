// Temporary output files and the signals that end a run (SIGINT, SIGTERM,
// SIGHUP). While a temporary file is registered, such a signal removes it
// before the run ends the way the signal would have ended it; inside a
// SignalDeferral the signal waits until the deferral ends, so that a group
// of renames is done completely or not at all.
#pragma once

#include <signal.h>

#include <string>

namespace Tavrin {

// Registers a temporary file to be removed when a signal ends the run; the
// first call installs the handler for each of the signals that has its
// default action (an ignored signal stays ignored, a program's own handler
// stays in place). Returns a token for unregister_temp_file, or -1 when the
// registry is full (the file then simply is not removed by a signal).
int register_temp_file(const std::string& path);
// Forgets a registration; a token of -1 is ignored.
void unregister_temp_file(int token);

// Holds the ending signals back for the lifetime of the object: they are
// blocked in this thread, and one that reaches another thread is noted and
// raised again when the last deferral ends.
class SignalDeferral {
 public:
  SignalDeferral();
  ~SignalDeferral();
  SignalDeferral(const SignalDeferral&) = delete;
  SignalDeferral& operator=(const SignalDeferral&) = delete;

 private:
  bool blocked_ = false;
  sigset_t old_mask_;  // the thread's earlier signal mask
};

}  // namespace Tavrin
