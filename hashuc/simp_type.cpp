#include "hashuc/simp_type.h"

#include <strings.h>

namespace Tavrin {

namespace {
struct TypeInfo {
  const char* keyword;
  const char* name;
  const char* short_name;
};
constexpr TypeInfo kTypes[kSimpTypeCount] = {
    {"HASH_UC", "Hash UC with qefs", "HUC"},
    {"HASH_UC_ACC", "Hash UC only average", "HUCAcc"},
    {"HASH_UC_NORMAL", "Hash UC with Normals", "HUCN"},
    {"HASH_UC_ADAPT_NORMAL", "Hash UC with adaptive normals", "HUCAN"},
    {"HASH_UC_TEMP", "Hash UC with qefs < TEMPLATE>", "HUCT"},
    {"HASH_UC_TEMP_NORMAL", "Hash UC with normals < TEMPLATE>", "HUCTN"},
    {"HASH_UC_SCALAR", "Hash UC with qefs+scalar", "HUCS"},
    {"HASH_UC_SCALAR3_NORMAL", "Hash UC with qefs+scalar3(normal)", "HUCS3N"},
    {"HASH_UC_SCALAR3_VECTOR", "Hash UC with qefs+scalar3(vector)", "HUCS3V"},
    {"HASH_UC_SINGLE", "Hash UC qef single level cuckoo", "SUC"},
    {"HASH_UC_COHERENT", "Hash UC qef coherent parallel hash", "CPUC"},
};
bool in_range(simp_type t) { return t >= 0 && t < kSimpTypeCount; }
}  // namespace

const char* simp_type_keyword(simp_type t) { return in_range(t) ? kTypes[t].keyword : nullptr; }
const char* simp_type_name(simp_type t) { return in_range(t) ? kTypes[t].name : "N/A"; }
const char* simp_type_short_name(simp_type t) { return in_range(t) ? kTypes[t].short_name : "N/A"; }

simp_type parse_simp_type(const char* text) {
  if (text)
    for (int i = 0; i < kSimpTypeCount; ++i)
      if (strcasecmp(text, kTypes[i].keyword) == 0) return static_cast<simp_type>(i);
  return HASH_UC;
}

bool is_simp_type_keyword(const char* text) {
  if (text)
    for (int i = 0; i < kSimpTypeCount; ++i)
      if (strcasecmp(text, kTypes[i].keyword) == 0) return true;
  return false;
}

}  // namespace Tavrin
