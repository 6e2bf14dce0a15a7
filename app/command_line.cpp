#include "app/command_line.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/messages.h"
#include "io/ply_checks.h"

namespace Tavrin {

namespace {
bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ',' ||
         c == ';';
}
}  // namespace

int split_command_line(char* buffer, char** argv) {
  int count = 0;
  auto store = [&](char* start) {
    if (count < kMaxArguments) argv[count] = start;
    ++count;
  };
  char* p = buffer;
  for (;;) {
    while (*p && is_separator(*p)) ++p;
    if (*p == '\0' || *p == '#') return count;
    if (*p == '"') {
      char* start = p + 1;
      char* end = std::strchr(start, '"');
      if (!end) return 0;
      *end = '\0';
      store(start);
      p = end + 1;
    } else if (*p == '{') {
      char* start = p + 1;
      int depth = 0;
      char* q = start;
      for (; *q; ++q) {
        if (*q == '{') {
          ++depth;
        } else if (*q == '}') {
          if (depth == 0) break;
          --depth;
        }
      }
      if (*q == '\0') return 0;
      *q = '\0';
      store(start);
      p = q + 1;
    } else {
      char* start = p;
      while (*p && !is_separator(*p)) ++p;
      store(start);
      if (*p) *p++ = '\0';
    }
  }
}

bool is_help_switch(const char* text) {
  static const char* const kSwitches[] = {"/h", "/help", "/?", "-h", "-help", "--h", "--help"};
  for (const char* s : kSwitches)
    if (strcasecmp(text, s) == 0) return true;
  return false;
}

std::optional<uint32_t> parse_grid_size(const char* text) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return std::nullopt;
  uint64_t value = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (*p != '\0') return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<float> parse_float(const char* text) {
  // The whole text must be the number (blanks around it aside): "1.1x" or
  // an empty text is no number rather than a number with something after it.
  char* end = nullptr;
  const float value = std::strtof(text, &end);
  if (end == text) return std::nullopt;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (*end != '\0') return std::nullopt;
  return value;
}

std::string display_name(const std::string& path) { return after_last_separator(path); }

std::string usage_text(const char* program) {
  return format("Usage: %s filename [ simp_type grid_size] [ load_factor]\n", program) +
         "\tsimp_type: one of: \n"
         "\t\tHASH_UC, HASH_UC_ACC, HASH_UC_NORMAL, HASH_UC_ADAPT_NORMAL,\n"
         "\t\tHASH_UC_TEMP, HASH_UC_TEMP_NORMAL, HASH_UC_SCALAR,\n"
         "\t\tHASH_UC_SCALAR3_NORMAL, HASH_UC_SCALAR3_VECTOR,\n"
         "\t\tHASH_UC_SINGLE, HASH_UC_COHERENT\n"
         "\tgrid_size may be replaced by --triangles N (the grid whose result has at most N\n"
         "\t\ttriangles) or --max-error E (the coarsest grid whose error is at most E times\n"
         "\t\tthe bounding-box diagonal).\n";
}

}  // namespace Tavrin
