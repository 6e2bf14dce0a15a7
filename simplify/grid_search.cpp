#include "simplify/grid_search.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace Tavrin {

namespace {

// A probe that remembers every grid it has measured, as a double.
class Probes {
 public:
  explicit Probes(const std::function<std::optional<double>(int32_t)>& probe) : probe_(probe) {}

  std::optional<double> at(int32_t grid) {
    auto it = seen_.find(grid);
    if (it != seen_.end()) return it->second;
    std::optional<double> v = probe_(grid);
    if (v) seen_.emplace(grid, *v);
    return v;
  }
  const std::map<int32_t, double>& seen() const { return seen_; }

 private:
  const std::function<std::optional<double>(int32_t)>& probe_;
  std::map<int32_t, double> seen_;
};

// The power of g that the values at two grids follow; `fallback` when they
// do not give one.
double power_through(int32_t a, double at_a, int32_t b, double at_b, double fallback) {
  if (!(at_a > 0.0) || !(at_b > 0.0) || at_a == at_b || a == b) return fallback;
  const double p = std::log(at_b / at_a) / std::log(static_cast<double>(b) / a);
  return std::isfinite(p) && p != 0.0 ? p : fallback;
}

// How many grids on each side of the final bracket are probed as well.
constexpr int32_t kNeighbours = 1;

// Walks from the coarsest grid, which lies on the coarse side of `target`
// (coarse(value) true), towards the finest until two neighbouring grids lie
// on either side. Each guess is where the power law through the last two
// probes (at first `power`) reaches the target from the last probe, kept
// inside the bracket; after two guesses in a row that did not halve a
// bracket above the coarsest grid, the middle. Probes the neighbours of the final bracket too.
// False when a probe failed.
template <class Coarse>
bool find_crossing(Probes& probes, double target, double power, const Coarse& coarse) {
  int32_t lo = kCoarsestSearchGrid, hi = 0;  // hi 0: no fine-side grid yet
  int32_t last = lo, previous = 0;
  int slow = 0;  // guesses in a row that did not halve the bracket
  while (hi == 0 || hi - lo > 1) {
    int32_t g;
    if (hi != 0 && slow >= 2) {
      g = lo + (hi - lo) / 2;
    } else {
      const double at_last = *probes.at(last);
      const double p =
          previous ? power_through(previous, *probes.at(previous), last, at_last, power) : power;
      const double guess =
          at_last > 0.0 && target > 0.0 ? last * std::pow(target / at_last, 1.0 / p) : 2.0 * lo;
      const double top = hi != 0 ? hi - 1.0 : static_cast<double>(kFinestSearchGrid);
      g = static_cast<int32_t>(
          std::clamp(std::isfinite(guess) ? std::round(guess) : 2.0 * lo, lo + 1.0, top));
    }
    const std::optional<double> value = probes.at(g);
    if (!value) return false;
    const int32_t width = hi == 0 ? 0 : hi - lo;
    (coarse(*value) ? lo : hi) = g;
    previous = last;
    last = g;
    // Closing in from one side while the coarsest grid is still the other
    // end is no stall: the power law is far off only near grid 2.
    slow = width > 0 && lo > kCoarsestSearchGrid && 2 * (hi - lo) > width ? slow + 1 : 0;
    if (lo == kFinestSearchGrid) break;
  }
  for (int32_t k = 1; k <= kNeighbours; ++k) {
    if (lo - k >= kCoarsestSearchGrid && !probes.at(lo - k)) return false;
    if (hi > 0 && hi + k <= kFinestSearchGrid && !probes.at(hi + k)) return false;
  }
  return true;
}

}  // namespace

std::optional<GridChoice> search_triangle_budget(const TriangleProbe& probe, int64_t budget,
                                                 int64_t input_triangles) {
  const std::function<std::optional<double>(int32_t)> as_double =
      [&](int32_t g) -> std::optional<double> {
    const std::optional<int64_t> n = probe(g);
    if (!n) return std::nullopt;
    return static_cast<double>(*n);
  };
  Probes probes(as_double);
  const std::optional<double> coarsest = probes.at(kCoarsestSearchGrid);
  if (!coarsest) return std::nullopt;
  const double limit = static_cast<double>(budget);
  if (budget >= input_triangles) {
    // Every grid fits: the finest comes nearest the input.
    if (!probes.at(kFinestSearchGrid)) return std::nullopt;
  } else if (*coarsest <= limit) {
    // Counts grow about as the square of the grid.
    if (!find_crossing(probes, limit, 2.0, [&](double count) { return count <= limit; }))
      return std::nullopt;
  }
  GridChoice choice;
  choice.grid = -1;
  bool below = false;
  for (const auto& [grid, value] : probes.seen()) {
    const int64_t count = static_cast<int64_t>(value);
    const bool fits = count <= budget;
    // Of equal counts the finest grid is taken: the same triangles, nearer the input.
    if (choice.grid < 0 || (fits && !below) || (fits && count >= choice.triangles) ||
        (!fits && !below && count <= choice.triangles)) {
      choice.grid = grid;
      choice.triangles = count;
      below = below || fits;
    }
  }
  choice.probes = static_cast<int>(probes.seen().size());
  if (!below)
    choice.outcome = SearchOutcome::NoneMeets;
  else if (budget >= input_triangles && choice.grid == kFinestSearchGrid)
    choice.outcome = SearchOutcome::InputReached;
  return choice;
}

std::optional<GridChoice> search_error_bound(const ErrorProbe& probe, double bound) {
  Probes probes(probe);
  const std::optional<double> coarsest = probes.at(kCoarsestSearchGrid);
  if (!coarsest) return std::nullopt;
  // Errors fall about as the inverse of the grid.
  if (*coarsest > bound &&
      !find_crossing(probes, bound, -1.0, [&](double error) { return error > bound; }))
    return std::nullopt;
  GridChoice choice;
  choice.grid = -1;
  for (const auto& [grid, error] : probes.seen())
    if (error <= bound) {
      choice.grid = grid;  // the map runs from coarse to fine: the first is the coarsest
      choice.error = error;
      break;
    }
  if (choice.grid < 0) {
    // No probe met the bound: the finest grid, the nearest to it.
    const std::optional<double> finest = probes.at(kFinestSearchGrid);
    if (!finest) return std::nullopt;
    choice.grid = kFinestSearchGrid;
    choice.error = *finest;
    choice.outcome = SearchOutcome::NoneMeets;
  }
  choice.probes = static_cast<int>(probes.seen().size());
  return choice;
}

}  // namespace Tavrin
