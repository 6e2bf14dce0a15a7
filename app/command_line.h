// Splitting a command line that arrives as one string, and the argument
// parsing of the batch run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Tavrin {

constexpr int kMaxArguments = 1024;

// Splits `buffer` in place (writing NULs into it) into at most kMaxArguments
// token starts in argv. Separators are C-locale white space, ',' and ';';
// '#' starts a comment; "..." and {...} (nesting) make one token each.
// Returns the number of tokens found, or 0 when a quote or brace was left open.
int split_command_line(char* buffer, char** argv);

// Whether the text is one of the help switches (/h, /help, /?, -h, -help,
// --h, --help; any case).
bool is_help_switch(const char* text);

// A grid size: an unsigned decimal number with nothing after it; nullopt when
// the text is not one.
std::optional<uint32_t> parse_grid_size(const char* text);

// A float that is the whole text (blanks around it allowed); nullopt when
// the text is empty or holds anything else.
std::optional<float> parse_float(const char* text);

// The file name the batch run's lines show: as the readers show it.
std::string display_name(const std::string& path);

// The usage text: the command line and the eleven simplification types.
std::string usage_text(const char* program);

}  // namespace Tavrin
