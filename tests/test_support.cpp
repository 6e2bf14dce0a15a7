#include "tests/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace Tavrin::test {

std::string data_path(const std::string& name) {
  return std::string(TAVRIN_TEST_DATA) + "/" + name;
}
std::string binary_path(const std::string& name) {
  return std::string(TAVRIN_BINARY_DIR) + "/" + name;
}

std::string temp_dir(const std::string& tag) {
  static std::atomic<int> counter{0};
  std::filesystem::path p =
      std::filesystem::temp_directory_path() /
      ("tavrin_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p.string();
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

MessageCapture::MessageCapture() {
  previous_ = set_message_sink([this](MessageRoute route, const std::string& text) {
    // What the batch sink drops is not recorded.
    if (route == MessageRoute::Progress || route == MessageRoute::Busy ||
        route == MessageRoute::FileName)
      return;
    routes_.push_back(route);
    messages_.push_back(text);
  });
}

MessageCapture::~MessageCapture() { set_message_sink(previous_); }

std::string MessageCapture::text() const {
  std::string out;
  for (size_t i = 0; i < messages_.size(); ++i) {
    if (routes_[i] == MessageRoute::Box) continue;
    out += messages_[i];
    if (routes_[i] == MessageRoute::Status || routes_[i] == MessageRoute::StatusLine) out += "\n";
  }
  return out;
}

RunResult run_command(const std::string& command_line, const std::string& env) {
  RunResult r;
  std::string cmd = (env.empty() ? "" : "env " + env + " ") + command_line + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

}  // namespace Tavrin::test
