#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc_table_variants.h"

namespace Tavrin {

std::unique_ptr<HandlerInterface> make_table_variant_handler(simp_type type, float load_factor) {
  if (type == HASH_UC_SINGLE) return std::make_unique<HashUCSingle>(load_factor);
  if (type == HASH_UC_COHERENT) return std::make_unique<HashUCCoherent>(load_factor);
  return nullptr;
}

}  // namespace Tavrin
