// What the batch run is asked for in place of a grid size: a triangle budget
// (--triangles N) or an error bound relative to the bounding-box diagonal
// (--max-error E); simplify/search_sources.h turns it into a grid.
#pragma once

#include <optional>

#include "simplify/search_sources.h"

namespace Tavrin {

// Whether the text names one of the two options.
bool is_grid_request_option(const char* text);

// The request of `option` and its value; nullopt after a line saying why
// the value is refused (a budget is a whole number from 1 to 2147483647, a
// bound a finite number above 0).
std::optional<GridRequest> parse_grid_request(const char* option, const char* value);

}  // namespace Tavrin
