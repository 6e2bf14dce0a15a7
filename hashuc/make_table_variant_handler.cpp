#include "hashuc/handler_makers.h"

namespace Tavrin {

// Not built yet: no handler.
std::unique_ptr<HandlerInterface> make_table_variant_handler(simp_type ) { return nullptr; }

}  // namespace Tavrin
