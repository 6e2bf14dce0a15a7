// The generator shared by the clustering handlers and their cell tables: one
// process-wide instance, so that a run creating its tables in the same order
// draws the same hash functions.
#pragma once

#include "tables/random64.h"

namespace Tavrin {

Random64& handler_random();

}  // namespace Tavrin
