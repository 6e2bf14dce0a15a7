#include "simplify/key_triangle_count.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace Tavrin {

KeyTriangleCount::KeyTriangleCount(int32_t grid_size, const float* coords, int64_t node_count)
    : node_count_(node_count) {
  if (!coords || node_count <= 0) return;
  space_.setUpGrid(grid_size, coords, node_count, 3, 0);
  collectOccupiedCells(space_, coords, node_count, 3);
}

bool KeyTriangleCount::add(const int32_t* triangles, int64_t count, int32_t stride) {
  if (static_cast<int64_t>(space_.nodeCell.size()) != node_count_) return false;
  const uint32_t* cell = space_.nodeCell.data();
  const size_t first = triples_.size();
  triples_.resize(first + 3 * static_cast<size_t>(count));
  uint32_t* out = triples_.data() + first;
  bool ok = true;
#pragma omp parallel for schedule(static) reduction(&& : ok)
  for (int64_t t = 0; t < count; ++t) {
    const int32_t* c = triangles + t * stride;
    uint32_t* o = out + 3 * t;
    if (c[0] < 0 || c[1] < 0 || c[2] < 0 || c[0] >= node_count_ || c[1] >= node_count_ ||
        c[2] >= node_count_) {
      ok = false;
      o[0] = UINT32_MAX;
      continue;
    }
    uint32_t a = cell[c[0]], b = cell[c[1]], d = cell[c[2]];
    if (a > b) std::swap(a, b);
    if (b > d) std::swap(b, d);
    if (a > b) std::swap(a, b);
    o[0] = (a == b || b == d) ? UINT32_MAX : a;
    o[1] = b;
    o[2] = d;
  }
  // Keep the survivors only.
  size_t kept = first;
  for (int64_t t = 0; t < count; ++t) {
    const uint32_t* o = out + 3 * t;
    if (o[0] == UINT32_MAX) continue;
    triples_[kept] = o[0];
    triples_[kept + 1] = o[1];
    triples_[kept + 2] = o[2];
    kept += 3;
  }
  triples_.resize(kept);
  return ok;
}

int64_t KeyTriangleCount::triangles() const {
  // Group the survivors by their smallest cell, then count the distinct
  // (middle, largest) pairs of each group.
  const int64_t cells = space_.cellCount();
  const int64_t n = static_cast<int64_t>(triples_.size() / 3);
  if (n == 0) return 0;
  std::vector<uint32_t> start(static_cast<size_t>(cells) + 1, 0);
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < n; ++t)
    std::atomic_ref<uint32_t>(start[triples_[3 * t] + 1]).fetch_add(1, std::memory_order_relaxed);
  for (int64_t c = 0; c < cells; ++c) start[c + 1] += start[c];
  std::vector<uint32_t> cursor(start.begin(), start.end() - 1);
  std::vector<uint64_t> pairs(static_cast<size_t>(n));
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < n; ++t) {
    const uint32_t* o = triples_.data() + 3 * t;
    const uint32_t at = std::atomic_ref<uint32_t>(cursor[o[0]]).fetch_add(1);
    pairs[at] = (static_cast<uint64_t>(o[1]) << 32) | o[2];
  }
  int64_t distinct = 0;
#pragma omp parallel for schedule(dynamic, 4096) reduction(+ : distinct)
  for (int64_t c = 0; c < cells; ++c) {
    uint64_t* begin = pairs.data() + start[c];
    uint64_t* end = pairs.data() + start[c + 1];
    if (begin == end) continue;
    std::sort(begin, end);
    distinct += std::unique(begin, end) - begin;
  }
  return distinct;
}

}  // namespace Tavrin
