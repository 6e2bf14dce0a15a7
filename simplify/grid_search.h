// Choosing the grid size from what the user wants instead of typing it: a
// triangle budget or an error bound. Both searches probe grids between
// kCoarsestSearchGrid and kFinestSearchGrid. The budget search starts at
// the coarsest grid and guesses the next grid from the power law through
// its probes (a count grows about as the square of the grid), then narrows
// the bracket the same way; the error search narrows the bracket between the
// two ends. A guess that does not halve the bracket is followed by a
// halving. The neighbours of the final bracket are probed as well, so that
// a count or error that is not monotone one grid away is still seen; the
// choice is made over every probe by the rule an exhaustive scan applies.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace Tavrin {

constexpr int32_t kCoarsestSearchGrid = 2;
constexpr int32_t kFinestSearchGrid = 2048;

enum class SearchOutcome {
  Met,          // the chosen grid meets the request
  NoneMeets,    // no grid meets it: the nearest grid (coarsest budget, finest bound)
  InputReached  // the budget is not below the input's triangles: the finest grid
};

struct GridChoice {
  int32_t grid = 0;
  int64_t triangles = 0;  // budget search: the chosen grid's count
  double error = 0.0;     // error search: the chosen grid's error
  SearchOutcome outcome = SearchOutcome::Met;
  int probes = 0;
};

// The triangles of the result at a grid; nullopt when the count failed.
using TriangleProbe = std::function<std::optional<int64_t>(int32_t grid)>;
// The error of the result at a grid; nullopt when the run failed.
using ErrorProbe = std::function<std::optional<double>(int32_t grid)>;

// The grid whose result has the most triangles not above `budget`, or the
// one with the fewest when every grid gives more; of equal counts the
// finest (the same triangles nearer the input). `input_triangles` only decides the InputReached
// outcome.
std::optional<GridChoice> search_triangle_budget(const TriangleProbe& probe, int64_t budget,
                                                 int64_t input_triangles);

// The coarsest grid whose error is at most `bound`, or the finest grid when
// none is.
std::optional<GridChoice> search_error_bound(const ErrorProbe& probe, double bound);

}  // namespace Tavrin
