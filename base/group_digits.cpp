#include "base/group_digits.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace Tavrin {

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

char* group_digits(char* text, size_t capacity) {
  if (!text) return text;
  size_t len = std::strlen(text);
  size_t digits = 0;
  for (size_t i = 0; i < len; ++i)
    if (is_digit(text[i])) ++digits;
  if (len == 0 || digits == 0) return text;
  size_t grown = len + (digits - 1) / 3;
  if (grown >= capacity) return text;

  // Decimal points between digits become commas.
  for (size_t i = 1; i + 1 < len; ++i)
    if (text[i] == '.' && is_digit(text[i - 1]) && is_digit(text[i + 1])) text[i] = ',';

  // Right to left, insert '.' to the right of every fourth digit of an
  // integer run (runs preceded by ',' are fractions and stay as they are).
  std::vector<char> out;
  out.reserve(grown + 1);
  int count = 0;
  for (size_t k = len; k-- > 0;) {
    char c = text[k];
    if (!is_digit(c)) {
      count = 0;
      out.push_back(c);
      continue;
    }
    ++count;
    if (count == 4) {
      size_t start = k;
      while (start > 0 && is_digit(text[start - 1])) --start;
      bool fraction = start > 0 && text[start - 1] == ',';
      if (!fraction) {
        out.push_back('.');
        count = 1;
      }
    }
    out.push_back(c);
  }
  size_t n = out.size();
  for (size_t i = 0; i < n; ++i) text[i] = out[n - 1 - i];
  text[n] = '\0';
  return text;
}

std::string group_digits_text(const std::string& text, size_t capacity) {
  std::vector<char> buffer(std::max(capacity, text.size() + 1));
  std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
  group_digits(buffer.data(), capacity);
  return std::string(buffer.data());
}

}  // namespace Tavrin
