#include "tables/random_streams.h"

namespace Tavrin {

Random64& handler_random() {
  static thread_local Random64 instance;
  return instance;
}

Random64& octree_random() {
  static thread_local Random64 instance;
  return instance;
}

}  // namespace Tavrin
