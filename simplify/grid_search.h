// Choosing the grid size from what the user wants instead of typing it: a
// triangle budget or an error bound. Both searches probe grids between
// kCoarsestSearchGrid and kFinestSearchGrid, narrowing a bracket with a
// guess from the power law the probes follow (falling back to halving when
// a guess does not halve the bracket), then probe the neighbours of the
// bracket so that a count or error that is not monotone one grid away is
// still seen. Every probe is remembered; the choice is made over all of
// them by the same rule an exhaustive scan applies.
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
