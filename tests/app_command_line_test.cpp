#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace Tavrin {
namespace {

std::vector<std::string> split(const std::string& line, int* count_out = nullptr) {
  std::vector<char> buffer(65536, '\0');
  std::memcpy(buffer.data(), line.c_str(), line.size() + 1);
  std::vector<char*> argv(kMaxArguments, nullptr);
  int n = split_command_line(buffer.data(), argv.data());
  if (count_out) *count_out = n;
  std::vector<std::string> out;
  for (int i = 0; i < n && i < kMaxArguments; ++i) out.emplace_back(argv[i]);
  return out;
}

TEST(SplitCommandLine, TokenRules) {
  using V = std::vector<std::string>;
  struct Case {
    std::string line;
    V tokens;
  } cases[] = {
      {"prog \"C:\\My Models\\a.ply\"", V{"prog", "C:\\My Models\\a.ply"}},
      {"prog {a {b} c}", V{"prog", "a {b} c"}},
      {"prog a,b;c", V{"prog", "a", "b", "c"}},
      {"prog a # b", V{"prog", "a"}},
      {"\"a\"b", V{"a", "b"}},
      {"  prog\t\r\n x  ", V{"prog", "x"}},
      {"prog \"\" x", V{"prog", "", "x"}},
      {"prog \"a # {b}\"", V{"prog", "a # {b}"}},
      {"prog a\"b{c", V{"prog", "a\"b{c"}},
      {"", V{}},
      {"# only a comment", V{}},
  };
  for (const Case& c : cases) EXPECT_EQ(split(c.line), c.tokens) << c.line;
}

TEST(SplitCommandLine, OpenQuoteOrBraceGivesZeroButKeepsEarlierStarts) {
  std::vector<char> buffer(256, '\0');
  std::strcpy(buffer.data(), "prog \"open");
  std::vector<char*> argv(kMaxArguments, nullptr);
  EXPECT_EQ(split_command_line(buffer.data(), argv.data()), 0);
  ASSERT_NE(argv[0], nullptr);
  EXPECT_STREQ(argv[0], "prog");
  std::strcpy(buffer.data(), "prog {a {b}");
  EXPECT_EQ(split_command_line(buffer.data(), argv.data()), 0);
}

TEST(SplitCommandLine, CountsTokensBeyondTheSlots) {
  std::string line;
  for (int i = 0; i < 1100; ++i) line += "x ";
  int count = 0;
  std::vector<std::string> stored = split(line, &count);
  EXPECT_EQ(count, 1100);
  EXPECT_EQ(stored.size(), static_cast<size_t>(kMaxArguments));
}

TEST(CommandLine, HelpSwitchesIgnoreCase) {
  for (const char* s : {"/h", "/HELP", "/?", "-h", "-Help", "--h", "--HELP"})
    EXPECT_TRUE(is_help_switch(s)) << s;
  for (const char* s : {"h", "help", "-?", "--helpme", ""}) EXPECT_FALSE(is_help_switch(s)) << s;
}

TEST(CommandLine, GridSizeParsing) {
  EXPECT_EQ(parse_grid_size("64"), 64u);
  EXPECT_EQ(parse_grid_size("12345"), 12345u);
  EXPECT_EQ(parse_grid_size("0"), 0u);
  for (const char* bad : {"", "abc", "-5", "64x", "1.5", "99999999999"})
    EXPECT_FALSE(parse_grid_size(bad).has_value()) << bad;
}

TEST(CommandLine, DisplayNameAndUsage) {
  EXPECT_EQ(display_name("meshes/bunny.ply"), "bunny.ply");
  EXPECT_EQ(display_name("C:\\m\\bunny.ply"), "bunny.ply");
  EXPECT_EQ(display_name("bunny.ply"), "bunny.ply");
  EXPECT_EQ(usage_text("tavrin"),
            "Usage: tavrin filename [ simp_type grid_size] [ load_factor]\n"
            "\tsimp_type: one of: \n"
            "\t\tHASH_UC, HASH_UC_ACC, HASH_UC_NORMAL, HASH_UC_ADAPT_NORMAL,\n"
            "\t\tHASH_UC_TEMP, HASH_UC_TEMP_NORMAL, HASH_UC_SCALAR,\n"
            "\t\tHASH_UC_SCALAR3_NORMAL, HASH_UC_SCALAR3_VECTOR,\n"
            "\t\tHASH_UC_SINGLE, HASH_UC_COHERENT\n"
            "\tgrid_size may be replaced by --triangles N (the grid whose result has at most N\n"
            "\t\ttriangles) or --max-error E (the coarsest grid whose error is at most E times\n"
            "\t\tthe bounding-box diagonal).\n");
}

}  // namespace
}  // namespace Tavrin
