#include "hashuc/handler_random.h"

namespace Tavrin {

Random64& handler_random() {
  static Random64 instance;
  return instance;
}

}  // namespace Tavrin
