#include "simplify/grid_search.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace Tavrin {

namespace {

// A probe that remembers every grid it has measured.
template <class Value>
class Probes {
 public:
  explicit Probes(const std::function<std::optional<Value>(int32_t)>& probe) : probe_(probe) {}

  std::optional<Value> at(int32_t grid) {
    auto it = seen_.find(grid);
    if (it != seen_.end()) return it->second;
    std::optional<Value> v = probe_(grid);
    if (v) seen_.emplace(grid, *v);
    return v;
  }
  const std::map<int32_t, Value>& seen() const { return seen_; }

 private:
  const std::function<std::optional<Value>(int32_t)>& probe_;
  std::map<int32_t, Value> seen_;
};

// The next grid inside (lo, hi): where the power law through the two ends
// reaches `target`, or the middle when that guess would not halve the
// bracket after the previous one did not either.
int32_t next_grid(int32_t lo, double at_lo, int32_t hi, double at_hi, double target, bool bisect) {
  const int32_t middle = lo + (hi - lo) / 2;
  if (bisect || !(at_lo > 0.0) || !(at_hi > 0.0) || !(target > 0.0) || at_lo == at_hi)
    return middle;
  const double exponent = std::log(at_hi / at_lo) / std::log(static_cast<double>(hi) / lo);
  const double guess = lo * std::pow(target / at_lo, 1.0 / exponent);
  if (!std::isfinite(guess)) return middle;
  const double g = std::round(guess);
  return static_cast<int32_t>(std::clamp(g, lo + 1.0, hi - 1.0));
}

// How many grids on each side of the final bracket are probed as well.
constexpr int32_t kNeighbours = 1;

}  // namespace

std::optional<GridChoice> search_triangle_budget(const TriangleProbe& probe, int64_t budget,
                                                 int64_t input_triangles) {
  Probes<int64_t> probes(probe);
  const std::optional<int64_t> coarsest = probes.at(kCoarsestSearchGrid);
  if (!coarsest) return std::nullopt;
  if (budget >= input_triangles) {
    // Every grid fits: the finest comes nearest the input.
    if (!probes.at(kFinestSearchGrid)) return std::nullopt;
  } else if (*coarsest <= budget) {
    // lo fits; hi (0 while unknown) does not. Counts grow about as the
    // square of the grid: the first guess takes that power, later ones the
    // power through the two nearest probes.
    int32_t lo = kCoarsestSearchGrid, hi = 0, before = 0;
    bool bisect = false;
    while (hi == 0 || hi - lo > 1) {
      int32_t g;
      if (hi == 0) {
        double power = 2.0;
        if (before > 0) {
          const double at_before = static_cast<double>(*probes.at(before));
          const double at_lo = static_cast<double>(*probes.at(lo));
          if (at_before > 0.0 && at_lo > at_before)
            power = std::log(at_lo / at_before) / std::log(static_cast<double>(lo) / before);
        }
        const double at_lo = std::max(1.0, static_cast<double>(*probes.at(lo)));
        const double guess = lo * std::pow(static_cast<double>(budget) / at_lo, 1.0 / power);
        g = static_cast<int32_t>(std::clamp(std::isfinite(guess) ? std::round(guess) : 2.0 * lo,
                                            lo + 1.0, static_cast<double>(kFinestSearchGrid)));
      } else {
        g = next_grid(lo, static_cast<double>(*probes.at(lo)), hi,
                      static_cast<double>(*probes.at(hi)), static_cast<double>(budget), bisect);
      }
      const std::optional<int64_t> count = probes.at(g);
      if (!count) return std::nullopt;
      const int32_t width = hi == 0 ? 0 : hi - lo;
      if (*count <= budget) {
        before = lo;
        lo = g;
        if (g == kFinestSearchGrid) break;
      } else {
        hi = g;
      }
      bisect = width > 0 && 2 * (hi - lo) > width;
    }
    for (int32_t k = 1; k <= kNeighbours; ++k) {
      if (lo - k >= kCoarsestSearchGrid && !probes.at(lo - k)) return std::nullopt;
      if (hi > 0 && hi + k <= kFinestSearchGrid && !probes.at(hi + k)) return std::nullopt;
    }
  }
  GridChoice choice;
  choice.grid = -1;
  bool below = false;
  for (const auto& [grid, count] : probes.seen()) {
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
  Probes<double> probes(probe);
  const std::optional<double> coarsest = probes.at(kCoarsestSearchGrid);
  if (!coarsest) return std::nullopt;
  if (*coarsest > bound) {
    const std::optional<double> finest = probes.at(kFinestSearchGrid);
    if (!finest) return std::nullopt;
    if (*finest <= bound) {
      int32_t lo = kCoarsestSearchGrid, hi = kFinestSearchGrid;
      bool bisect = false;
      while (hi - lo > 1) {
        const int32_t g = next_grid(lo, *probes.at(lo), hi, *probes.at(hi), bound, bisect);
        const std::optional<double> error = probes.at(g);
        if (!error) return std::nullopt;
        const int32_t width = hi - lo;
        (*error <= bound ? hi : lo) = g;
        bisect = 2 * (hi - lo) > width;
      }
      for (int32_t k = 1; k <= kNeighbours; ++k)
        if (lo - k >= kCoarsestSearchGrid && !probes.at(lo - k)) return std::nullopt;
    }
  }
  GridChoice choice;
  choice.grid = -1;
  for (const auto& [grid, error] : probes.seen())
    if (error <= bound) {
      choice.grid = grid;  // the map runs from coarse to fine: the first is the coarsest
      choice.error = error;
      break;
    }
  if (choice.grid < 0) {
    choice.grid = kFinestSearchGrid;
    choice.error = probes.seen().at(kFinestSearchGrid);
    choice.outcome = SearchOutcome::NoneMeets;
  }
  choice.probes = static_cast<int>(probes.seen().size());
  return choice;
}

}  // namespace Tavrin
