// Rewrites the numbers inside a message with '.' between groups of three
// integer digits and ',' as the decimal mark: "1234567.5" -> "1.234.567,5".
#pragma once

#include <cstddef>
#include <string>

namespace Tavrin {

// Rewrites text in place in a buffer of `capacity` bytes; a text whose grown
// length would not be smaller than the capacity is left unchanged.
char* group_digits(char* text, size_t capacity);

// Convenience form on a std::string with the same capacity rule.
std::string group_digits_text(const std::string& text, size_t capacity);

}  // namespace Tavrin
