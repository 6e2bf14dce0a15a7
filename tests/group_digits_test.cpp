#include "base/group_digits.h"

#include <gtest/gtest.h>

namespace Tavrin {
namespace {

TEST(GroupDigits, RewritesIntegersAndDecimalMarks) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"num nodes = 1234567, num triangles = 12.5", "num nodes = 1.234.567, num triangles = 12,5"},
      {"0.123456", "0,123456"},
      {"file.ply", "file.ply"},
      {"v1", "v1"},
      {"1000", "1.000"},
      {"999", "999"},
      {"", ""},
      {"1234.5678", "1.234,5678"},
      {"in 0.5 s. ( 0.25 + 0)", "in 0,5 s. ( 0,25 + 0)"},
      {"Mem = 35856.1 KB", "Mem = 35.856,1 KB"},
  };
  for (const Case& c : cases) EXPECT_EQ(group_digits_text(c.in, 1024), c.out) << c.in;
}

TEST(GroupDigits, LeavesTextThatWouldReachTheCapacity) {
  // "1234567" grows by two characters to 9; a buffer of 9 cannot hold it with its NUL.
  EXPECT_EQ(group_digits_text("1234567", 9), "1234567");
  EXPECT_EQ(group_digits_text("1234567", 10), "1.234.567");
}

}  // namespace
}  // namespace Tavrin
