#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc_acc.h"

namespace Tavrin {

std::unique_ptr<HandlerInterface> make_acc_handler() { return std::make_unique<HashUCAcc>(); }

}  // namespace Tavrin
