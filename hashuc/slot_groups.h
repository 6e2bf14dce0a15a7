// Groups the items of a pass (triangle corners, nodes) by the table slot they
// update, keeping input order within each slot: a parallel, stable counting
// sort. The items are cut into contiguous blocks (one per thread); each block
// counts its items per slot, a prefix sum over (slot, block) gives every
// block its place inside every slot's segment, and each block then places
// its items in order. The result depends only on the items, never on the
// number of threads, so sums formed slot by slot over these segments are the
// sums one thread would form walking the items in order.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace Tavrin {

// Slot index meaning "none": a node whose cell is missing, a bad node number.
inline constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

class SlotGroups {
 public:
  // Groups items 0 .. item_count-1 by slot_of(item) < slot_count. Returns
  // false when an item has no slot (slot_of gives kNoSlot or a value out of
  // range); firstBadItem() then names the smallest such item.
  template <class SlotOf>
  bool build(uint64_t slot_count, uint64_t item_count, const SlotOf& slot_of);

  uint64_t slotCount() const { return start_.empty() ? 0 : start_.size() - 1; }
  uint32_t begin(uint64_t slot) const { return start_[slot]; }
  uint32_t end(uint64_t slot) const { return start_[slot + 1]; }
  uint32_t item(uint32_t position) const { return items_[position]; }
  uint64_t firstBadItem() const { return first_bad_; }

  // Largest item count the 32-bit positions can hold.
  static constexpr uint64_t kMaxItems = 0xFFFFFFFEu;

 private:
  std::vector<uint32_t> start_;  // slot s owns items_[start_[s] .. start_[s+1])
  std::vector<uint32_t> items_;
  uint64_t first_bad_ = 0;
};

template <class SlotOf>
bool SlotGroups::build(uint64_t slot_count, uint64_t item_count, const SlotOf& slot_of) {
  start_.assign(slot_count + 1, 0);
  items_.clear();
  first_bad_ = item_count;
  if (item_count > kMaxItems) {
    first_bad_ = kMaxItems;
    return false;
  }
  // One block per thread, fewer when the per-block counters would be large.
  const uint64_t budget = uint64_t{1} << 28;  // counters, 1 GiB
  uint64_t blocks = static_cast<uint64_t>(std::max(1, omp_get_max_threads()));
  if (slot_count > 0) blocks = std::max<uint64_t>(1, std::min(blocks, budget / slot_count));
  std::vector<uint32_t> counts(blocks * slot_count, 0);
  auto block_begin = [&](uint64_t b) { return item_count * b / blocks; };

  uint64_t first_bad = item_count;
#pragma omp parallel for schedule(static) reduction(min : first_bad)
  for (uint64_t b = 0; b < blocks; ++b) {
    uint32_t* c = counts.data() + b * slot_count;
    const uint64_t e = block_begin(b + 1);
    for (uint64_t i = block_begin(b); i < e; ++i) {
      const uint32_t s = slot_of(i);
      if (s >= slot_count) {
        if (i < first_bad) first_bad = i;
        continue;
      }
      ++c[s];
    }
  }
  if (first_bad < item_count) {
    first_bad_ = first_bad;
    return false;
  }

  // Segment sizes, then their starts (serial prefix: a few ms per million slots).
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slot_count; ++s) {
    uint32_t total = 0;
    for (uint64_t b = 0; b < blocks; ++b) total += counts[b * slot_count + s];
    start_[s + 1] = total;
  }
  for (uint64_t s = 0; s < slot_count; ++s) start_[s + 1] += start_[s];
  // Each block's place inside each segment: blocks in item order.
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slot_count; ++s) {
    uint32_t at = start_[s];
    for (uint64_t b = 0; b < blocks; ++b) {
      uint32_t& c = counts[b * slot_count + s];
      const uint32_t n = c;
      c = at;
      at += n;
    }
  }
  items_.resize(item_count);
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < blocks; ++b) {
    uint32_t* next = counts.data() + b * slot_count;
    const uint64_t e = block_begin(b + 1);
    for (uint64_t i = block_begin(b); i < e; ++i) items_[next[slot_of(i)]++] = static_cast<uint32_t>(i);
  }
  return true;
}

}  // namespace Tavrin
