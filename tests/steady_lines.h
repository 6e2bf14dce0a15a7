// The lines of a batch run's messages that must not differ between runs or
// roads: those that carry times, and the note that the mesh was streamed,
// are left out. Shared by the road tests and the roads fuzz target.
#pragma once

#include <string>

namespace Tavrin::test {

inline std::string steady_lines(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    const std::string line = text.substr(at, nl - at);
    if (line.find("STATS") == std::string::npos && line.find("] v: ") == std::string::npos &&
        line.find("was streamed") == std::string::npos)
      out += line + "\n";
    at = nl + 1;
  }
  return out;
}

}  // namespace Tavrin::test
