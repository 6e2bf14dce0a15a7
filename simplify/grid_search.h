// Choosing the grid size from what the user wants instead of typing it: a
// triangle budget or an error bound. Both searches probe grids between
// kCoarsestSearchGrid and kFinestSearchGrid and choose over their probes by
// the rule an exhaustive scan of every grid applies, and both see every grid
// that could change that choice.
//
// First a bracket: from the coarsest grid, guesses from the power law
// through the last probes (a count grows about as the square of the grid, an
// error falls about as its inverse), halving when a guess does not halve the
// bracket, until two neighbouring grids lie on either side of the request.
// Then the gaps: counts and errors follow a monotone trend, but a single
// grid strays from it when a cell boundary moves across a feature. How far
// they stray is measured on the probes near the choice (steps against the
// trend, distance from the power law through the neighbours); a gap between
// two probes holds values within its ends' range widened by a multiple of
// that, and a gap that could hold a better grid is halved, or probed whole
// when narrow, until none could. On a big mesh the straying is far below a
// grid's step and no gap is opened; on a small one many grids are probed.
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
