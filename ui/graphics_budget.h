// How many triangles the viewer draws as loaded, with a seam that lets tests
// lower the budget so that a small mesh counts as too big, and the message
// shown when a loaded mesh is over it.
#pragma once

#include <cstdint>
#include <string>

#include "render/gl_driver.h"

namespace Tavrin {

// The drawing budget for these driver facts: the test budget when one is
// set, else 10,000,000 triangles on small graphics and 30,000,000 otherwise.
int64_t drawing_budget(const DriverFacts& facts);
// The same for the current context (needs it only when no test budget is set).
int64_t drawing_budget();

// Replaces the budget for tests; 0 restores the real one.
void set_test_triangle_budget(int64_t triangles);

// The grid of the drawing copy of a mesh over budget.
constexpr int kOversizeGrid = 256;

// The two lines shown when a loaded mesh exceeds the budget, with the
// numbers grouped: "%s graphics: Object too big %d > %d\n" and
// "Object drawn is a simplified version: grid %d^3\n".
std::string oversize_message(const char* reason, int64_t triangles, int64_t budget, int grid);

}  // namespace Tavrin
