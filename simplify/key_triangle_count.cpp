#include "simplify/key_triangle_count.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <utility>

namespace Tavrin {

namespace {

using Triple = unsigned __int128;

// A bucket of a packed triple: equal triples share it.
uint64_t bucket_hash(Triple v) {
  uint64_t z = static_cast<uint64_t>(v) ^ (static_cast<uint64_t>(v >> 64) * 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

KeyTriangleCount::KeyTriangleCount(const float* coords, int64_t node_count)
    : coords_(coords), node_count_(coords ? node_count : 0) {
  if (node_count_ <= 0) return;
  // The same steps as ClusterSpace::setUpGrid, once.
  normalisation_.compute(boundingBox(coords_, node_count_, 3));
  bounds_ = normalisedBounds(normalisation_, coords_, node_count_, 3);
}

bool KeyTriangleCount::setGrid(int32_t grid_size) {
  triples_.clear();
  if (node_count_ <= 0 || grid_size < 1 || grid_size > kMaxKeyCountGrid) return false;
  grid_.setUp(bounds_, grid_size, grid_size, grid_size, 0);
  const uint64_t cells = static_cast<uint64_t>(grid_size) * grid_size * grid_size;
  key_bits_ = std::max(1, static_cast<int>(std::bit_width(cells - 1)));
  key_.resize(static_cast<size_t>(node_count_));
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < node_count_; ++i)
    key_[i] = grid_.key(normalisation_.normalise(coords_ + 3 * i));
  return true;
}

bool KeyTriangleCount::add(const int32_t* triangles, int64_t count, int32_t stride) {
  if (key_.size() != static_cast<size_t>(node_count_) || count <= 0) return count == 0;
  const uint64_t* key = key_.data();
  const size_t first = triples_.size();
  triples_.resize(first + static_cast<size_t>(count));
  Triple* out = triples_.data() + first;
  const int bits = key_bits_;
  bool ok = true;
#pragma omp parallel for schedule(static) reduction(&& : ok)
  for (int64_t t = 0; t < count; ++t) {
    const int32_t* c = triangles + t * stride;
    out[t] = 0;  // no survivor (a survivor has two keys above 0)
    if (c[0] < 0 || c[1] < 0 || c[2] < 0 || c[0] >= node_count_ || c[1] >= node_count_ ||
        c[2] >= node_count_) {
      ok = false;
      continue;
    }
    uint64_t a = key[c[0]], b = key[c[1]], d = key[c[2]];
    if (a > b) std::swap(a, b);
    if (b > d) std::swap(b, d);
    if (a > b) std::swap(a, b);
    if (a == b || b == d) continue;
    out[t] = (static_cast<Triple>(a) << (2 * bits)) | (static_cast<Triple>(b) << bits) | d;
  }
  const auto end =
      std::remove(triples_.begin() + static_cast<std::ptrdiff_t>(first), triples_.end(), Triple{0});
  triples_.erase(end, triples_.end());
  return ok;
}

int64_t KeyTriangleCount::triangles() {
  // Scatter the survivors into buckets by a hash of their triple, then
  // count the distinct triples of every bucket.
  const int64_t n = static_cast<int64_t>(triples_.size());
  if (n == 0) return 0;
  const int shift =
      64 - std::max(1, static_cast<int>(std::bit_width(static_cast<uint64_t>(n))) - 2);
  const size_t buckets = size_t{1} << (64 - shift);
  std::vector<uint32_t> start(buckets + 1, 0);
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < n; ++t)
    std::atomic_ref<uint32_t>(start[(bucket_hash(triples_[t]) >> shift) + 1])
        .fetch_add(1, std::memory_order_relaxed);
  for (size_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
  std::vector<uint32_t> cursor(start.begin(), start.end() - 1);
  std::vector<Triple> grouped(static_cast<size_t>(n));
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < n; ++t) {
    const uint32_t at = std::atomic_ref<uint32_t>(cursor[bucket_hash(triples_[t]) >> shift])
                            .fetch_add(1, std::memory_order_relaxed);
    grouped[at] = triples_[t];
  }
  int64_t distinct = 0;
#pragma omp parallel for schedule(dynamic, 1024) reduction(+ : distinct)
  for (int64_t b = 0; b < static_cast<int64_t>(buckets); ++b) {
    Triple* begin = grouped.data() + start[b];
    Triple* end = grouped.data() + start[b + 1];
    if (begin == end) continue;
    std::sort(begin, end);
    distinct += std::unique(begin, end) - begin;
  }
  return distinct;
}

}  // namespace Tavrin
