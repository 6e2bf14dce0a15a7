// The generator shared by the clustering handlers and their cell tables: one
// instance per calling thread, so that a run creating its tables in the same
// order draws the same hash functions and runs on two threads never take
// each other's draws. The tables draw from it inside their parallel loops
// through the reference they are given, never through this function.
#pragma once

#include "tables/random64.h"

namespace Tavrin {

Random64& handler_random();

}  // namespace Tavrin
