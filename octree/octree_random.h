// The octree's own generator for its cell tables, separate from the
// clustering handlers' so that neither changes the other's draws; one per
// calling thread, like the handlers'.
#pragma once

#include "tables/random64.h"

namespace Tavrin {

Random64& octree_random();

}  // namespace Tavrin
