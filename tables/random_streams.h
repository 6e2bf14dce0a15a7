// The generators the program draws from, one instance of each per calling
// thread, so that a run creating its tables in the same order draws the
// same hash functions and runs on two threads never take each other's
// draws. Tables draw inside their parallel loops through the reference they
// are given, never through these functions.
//   handler_random(): the clustering handlers and their cell tables;
//   octree_random():  the octree's cell tables and the ambient-occlusion
//                     noise of the viewer, apart from the handlers' so that
//                     neither changes the other's draws.
#pragma once

#include "tables/random64.h"

namespace Tavrin {

Random64& handler_random();
Random64& octree_random();

}  // namespace Tavrin
