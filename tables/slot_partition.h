// Splits the slots of a cell table into contiguous parts, one per thread, so
// that a pass can give every slot to exactly one thread: each thread walks
// the items (triangles, nodes) in input order and handles only those that
// touch its own slots. Every slot then receives its items in input order
// without a lock and without grouping them first, so sums formed that way are
// the sums one thread walking the items in order would form, whatever the
// number of threads. Cell keys are spread over the table by hashing, so equal
// slot ranges carry about equal work.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstdint>

namespace Tavrin {

class SlotPartition {
 public:
  // At most this many parts.
  static constexpr int kMaxParts = 16;

  explicit SlotPartition(uint64_t slot_count, int threads = omp_get_max_threads())
      : parts_(std::clamp(threads, 1, kMaxParts)) {
    // part(s) = (s * scale) >> 32 with scale = floor(parts * 2^32 / slots)
    // is monotone in s and below parts for every s < slots.
    scale_ = slot_count == 0 ? 0 : (static_cast<uint64_t>(parts_) << 32) / slot_count;
  }

  int parts() const { return parts_; }
  int part(uint64_t slot) const { return static_cast<int>((slot * scale_) >> 32); }
  uint16_t bit(uint64_t slot) const { return static_cast<uint16_t>(1u << part(slot)); }

  // Runs body(p) for every part p, each on its own thread.
  template <class Body>
  void forEachPart(const Body& body) const {
#pragma omp parallel for schedule(static, 1) num_threads(parts_)
    for (int p = 0; p < parts_; ++p) body(p);
  }

 private:
  int parts_;
  uint64_t scale_ = 0;
};

}  // namespace Tavrin
