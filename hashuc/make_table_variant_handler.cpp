#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc_table_variants.h"

namespace Tavrin {

std::unique_ptr<HandlerInterface> make_table_variant_handler(simp_type type) {
  if (type == HASH_UC_SINGLE) return std::make_unique<HashUCSingle>();
  if (type == HASH_UC_COHERENT) return std::make_unique<HashUCCoherent>();
  return nullptr;
}

}  // namespace Tavrin
