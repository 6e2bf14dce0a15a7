// The eleven hash uniform clustering methods, their keywords, long
// descriptions and short tags.
#pragma once

#include <cstdint>

namespace Tavrin {

enum simp_type : int32_t {
  HASH_UC = 0,
  HASH_UC_ACC = 1,
  HASH_UC_NORMAL = 2,
  HASH_UC_ADAPT_NORMAL = 3,
  HASH_UC_TEMP = 4,
  HASH_UC_TEMP_NORMAL = 5,
  HASH_UC_SCALAR = 6,
  HASH_UC_SCALAR3_NORMAL = 7,
  HASH_UC_SCALAR3_VECTOR = 8,
  HASH_UC_SINGLE = 9,
  HASH_UC_COHERENT = 10,
};

constexpr int kSimpTypeCount = 11;

// Keyword as typed on the command line ("HASH_UC"), or nullptr out of range.
const char* simp_type_keyword(simp_type type);
// Long description ("Hash UC with qefs"); "N/A" out of range.
const char* simp_type_name(simp_type type);
// Short tag ("HUC"); "N/A" out of range.
const char* simp_type_short_name(simp_type type);
// Case-insensitive keyword match; any other text is HASH_UC.
simp_type parse_simp_type(const char* text);
// Whether the text is one of the eleven keywords (any case).
bool is_simp_type_keyword(const char* text);

}  // namespace Tavrin
