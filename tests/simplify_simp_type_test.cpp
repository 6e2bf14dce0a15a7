#include <gtest/gtest.h>

#include "hashuc/simp_type.h"

namespace Tavrin {
namespace {

TEST(SimpType, KeywordsParseCaseInsensitivelyAndUnknownIsHashUC) {
  for (int t = 0; t < kSimpTypeCount; ++t) {
    simp_type type = static_cast<simp_type>(t);
    EXPECT_EQ(parse_simp_type(simp_type_keyword(type)), type);
  }
  EXPECT_EQ(parse_simp_type("hash_uc_scalar3_vector"), HASH_UC_SCALAR3_VECTOR);
  EXPECT_EQ(parse_simp_type("foo"), HASH_UC);
  EXPECT_EQ(parse_simp_type("HASH_UC_"), HASH_UC);
  EXPECT_STREQ(simp_type_name(HASH_UC_SCALAR), "Hash UC with qefs+scalar");
  EXPECT_STREQ(simp_type_short_name(HASH_UC_COHERENT), "CPUC");
  EXPECT_STREQ(simp_type_name(static_cast<simp_type>(11)), "N/A");
  EXPECT_STREQ(simp_type_short_name(static_cast<simp_type>(-1)), "N/A");
}

}  // namespace
}  // namespace Tavrin
