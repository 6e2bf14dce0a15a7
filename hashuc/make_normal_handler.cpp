#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc_adapt_normal.h"
#include "hashuc/hash_uc_normal.h"

namespace Tavrin {

std::unique_ptr<HandlerInterface> make_normal_handler(simp_type type) {
  switch (type) {
    case HASH_UC_NORMAL:
      return std::make_unique<HashUCNormal>();
    case HASH_UC_ADAPT_NORMAL:
      return std::make_unique<HashUCNormal2>();
    case HASH_UC_TEMP_NORMAL:
      return std::make_unique<HashUCAdaptNormal_T<QefAccNormalInfo>>();
    default:
      return nullptr;
  }
}

}  // namespace Tavrin
