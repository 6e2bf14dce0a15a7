#include "octree/octree_random.h"

namespace Tavrin {

Random64& octree_random() {
  static thread_local Random64 instance;
  return instance;
}

}  // namespace Tavrin
