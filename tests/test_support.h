// Helpers shared by the tests: data paths, message capture, running the
// program, small meshes.
#pragma once

#include <string>
#include <vector>

#include "base/messages.h"

namespace Tavrin::test {

// Path of a file in tests/data.
std::string data_path(const std::string& name);
// Path of a program built beside the tests (e.g. "tavrin").
std::string binary_path(const std::string& name);
// A fresh empty directory under the system's temporary directory.
std::string temp_dir(const std::string& tag);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// Captures every message sent while it lives, in order.
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  const std::vector<std::string>& messages() const { return messages_; }
  std::vector<MessageRoute>& routes() { return routes_; }
  // All messages joined, status lines followed by a newline as in batch mode.
  std::string text() const;

 private:
  std::vector<std::string> messages_;
  std::vector<MessageRoute> routes_;
  MessageSink previous_;
};

struct RunResult {
  int status = -1;     // exit status
  std::string output;  // standard output and standard error
};
// Runs a command line through the shell with extra environment assignments
// (e.g. "OMP_NUM_THREADS=2") in front.
RunResult run_command(const std::string& command_line, const std::string& env = "");

}  // namespace Tavrin::test
