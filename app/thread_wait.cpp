// How the idle threads of a run wait. Left alone, the OpenMP runtime lets a
// thread that reaches a barrier spin for a long time before it sleeps. On a
// machine whose cores are busy with other work, that spinning takes the core
// away from the partner thread that still has work, and every barrier of a
// run then waits for a scheduler slice. A short spin keeps the quick
// hand-over of a quiet machine and gives the core up soon on a busy one.
//
// The runtime reads its settings from the environment while the shared
// libraries are initialised; an executable's pre-initialisers run before
// that, so the default is set there, and only when the user has set neither
// variable himself. This file is linked into every program, not the library.
#include <cstdlib>

namespace {

void set_short_spin(int, char**, char**) {
  if (!std::getenv("OMP_WAIT_POLICY") && !std::getenv("GOMP_SPINCOUNT"))
    setenv("GOMP_SPINCOUNT", "10000", 0);
}

}  // namespace

__attribute__((section(".preinit_array"),
               used)) static void (*const tavrin_thread_wait)(int, char**, char**) = set_short_spin;
