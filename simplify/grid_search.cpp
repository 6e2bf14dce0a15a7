#include "simplify/grid_search.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

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

// How far, as a natural log, the values of one grid may stray from a
// monotone trend through the grids: counts rise with the grid and errors
// fall, but a cell boundary that moves across a feature makes a single grid
// jump either way. Two signs of the straying are measured on the probes
// within a factor of two of `centre`: a step against the trend between two
// probes, and how far a probe lies from the power law through the grids on
// either side of it (when both are probed: one grid apart the curve of the
// trend does not count). A grid that strays by s gives signs up to 2s.
// Infinite when no probe shows either sign.
double straying(const std::map<int32_t, double>& seen, int32_t centre, bool rising) {
  const int32_t from = centre / 2, to = 2 * centre;
  double largest = -1.0;
  double extreme = 0.0;  // the value furthest along the trend among the probes so far
  bool first = true;
  for (auto it = seen.begin(); it != seen.end(); ++it) {
    const int32_t g = it->first;
    if (g < from || g > to) continue;
    const double x = it->second;
    if (!first) largest = std::max(largest, rising ? extreme - x : x - extreme);
    extreme = first ? x : (rising ? std::max(extreme, x) : std::min(extreme, x));
    first = false;
    if (it == seen.begin() || std::next(it) == seen.end()) continue;
    const auto before = std::prev(it), after = std::next(it);
    if (before->first != g - 1 || after->first != g + 1) continue;
    const double w = std::log(static_cast<double>(g) / before->first) /
                     std::log(static_cast<double>(after->first) / before->first);
    largest =
        std::max(largest, std::fabs(x - (before->second + w * (after->second - before->second))));
  }
  return largest < 0.0 ? std::numeric_limits<double>::infinity() : largest;
}

// The straying the probes show is a sample; the grids between them may
// stray further. The margin is this many times the largest sign seen.
constexpr double kSafety = 3.0;

// Gaps this narrow are probed whole instead of halved.
constexpr int32_t kScanWidth = 4;

// The probes as logs of their values (zero kept finite by `floor`).
std::map<int32_t, double> logs_of(const std::map<int32_t, double>& seen, double floor) {
  std::map<int32_t, double> logs;
  for (const auto& [g, v] : seen) logs.emplace_hint(logs.end(), g, std::log(std::max(v, floor)));
  return logs;
}

// Probes the grids next to `grid` (the two on its one side at an end of the
// range), so that the straying near it can be measured.
bool probe_around(Probes& probes, int32_t grid) {
  const int32_t end_side = grid == kCoarsestSearchGrid ? grid + 2
                           : grid == kFinestSearchGrid ? grid - 2
                                                       : grid;
  for (int32_t g : {grid - 1, grid + 1, end_side})
    if (g >= kCoarsestSearchGrid && g <= kFinestSearchGrid && !probes.at(g)) return false;
  return true;
}

// Makes the choice over the probes equal the choice over every grid: a gap
// between two probes holds values within the range of its ends widened by
// the margin (the trend is monotone between them, each grid strays from it
// by up to half the largest sign), and a gap that could hold a grid
// `could_win(first, last, low, high)` accepts is halved, or probed whole
// when narrow, until no gap could. `best()` is the grid chosen over the
// probes so far (or below the coarsest grid for none). False when a probe
// failed.
template <class Best, class CouldWin>
bool refine(Probes& probes, bool rising, double floor, const Best& best,
            const CouldWin& could_win) {
  if (!probe_around(probes, best() < kCoarsestSearchGrid ? kFinestSearchGrid : best()))
    return false;
  for (;;) {
    const std::map<int32_t, double> logs = logs_of(probes.seen(), floor);
    const int32_t centre = best() < kCoarsestSearchGrid ? kFinestSearchGrid : best();
    const double margin = kSafety * straying(logs, centre, rising);
    std::vector<int32_t> next;
    for (auto it = logs.begin(); it != logs.end(); ++it) {
      const auto after = std::next(it);
      const int32_t a = it->first, b = after == logs.end() ? kFinestSearchGrid + 1 : after->first;
      if (b - a <= 1) continue;
      double low = it->second - margin, high = it->second + margin;
      if (after != logs.end()) {
        low = std::min(low, after->second - margin);
        high = std::max(high, after->second + margin);
      } else if (rising) {  // above the finest probe: unbounded along the trend
        high = std::numeric_limits<double>::infinity();
      } else {
        low = -std::numeric_limits<double>::infinity();
      }
      if (!could_win(a + 1, b - 1, std::exp(low), std::exp(high))) continue;
      if (b - a <= kScanWidth)
        for (int32_t g = a + 1; g < b; ++g) next.push_back(g);
      else
        next.push_back(a + (b - a) / 2);
    }
    if (next.empty()) return true;
    for (int32_t g : next)
      if (!probes.at(g)) return false;
  }
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
  bool below = false;
  // The rule of an exhaustive scan over the probes: the most triangles not
  // above the budget, else the fewest; of equal counts the finest grid (the
  // same triangles, nearer the input).
  const auto choose = [&] {
    choice.grid = -1;
    below = false;
    for (const auto& [grid, value] : probes.seen()) {
      const int64_t count = static_cast<int64_t>(value);
      const bool fits = count <= budget;
      if (choice.grid < 0 || (fits && !below) || (fits && count >= choice.triangles) ||
          (!fits && !below && count <= choice.triangles)) {
        choice.grid = grid;
        choice.triangles = count;
        below = below || fits;
      }
    }
    return choice.grid;
  };
  const auto could_win = [&](int32_t, int32_t last, double low, double high) {
    const double best = static_cast<double>(choice.triangles);
    if (below) return low <= limit && (high > best || (high >= best && last > choice.grid));
    return low < best || (low <= best && last > choice.grid);
  };
  if (!refine(probes, true, 0.5, choose, could_win)) return std::nullopt;
  choose();
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
  GridChoice choice;
  // The coarsest probe that meets the bound; the map runs from coarse to fine.
  const auto choose = [&] {
    choice.grid = -1;
    for (const auto& [grid, error] : probes.seen())
      if (error <= bound) {
        choice.grid = grid;
        choice.error = error;
        break;
      }
    return choice.grid;
  };
  if (*coarsest > bound) {
    // Errors fall about as the inverse of the grid.
    if (!find_crossing(probes, bound, -1.0, [&](double error) { return error > bound; }))
      return std::nullopt;
    const auto could_win = [&](int32_t first, int32_t, double low, double) {
      return (choice.grid < 0 || first < choice.grid) && low <= bound;
    };
    if (!refine(probes, false, std::numeric_limits<double>::min(), choose, could_win))
      return std::nullopt;
  }
  if (choose() < 0) {
    // No grid meets the bound: the finest, the nearest to it.
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
