#include "hashuc/handler_random.h"

namespace Tavrin {

Random64& handler_random() {
  static thread_local Random64 instance;
  return instance;
}

}  // namespace Tavrin
