#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc_scalar.h"

namespace Tavrin {

// One scalar for HASH_UC_SCALAR; three (nodal normals or a vector of three
// scalars) for HASH_UC_SCALAR3_NORMAL and HASH_UC_SCALAR3_VECTOR.
std::unique_ptr<HandlerInterface> make_scalar_handler(simp_type type) {
  switch (type) {
    case HASH_UC_SCALAR:
      return std::make_unique<HashUCScalar>();
    case HASH_UC_SCALAR3_NORMAL:
    case HASH_UC_SCALAR3_VECTOR:
      return std::make_unique<HashUCScalar3>();
    default:
      return nullptr;
  }
}

}  // namespace Tavrin
