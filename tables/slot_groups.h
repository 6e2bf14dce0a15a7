// Groups the items of a pass (triangle corners, nodes) by the table slot they
// update, keeping input order within each slot: a parallel, stable counting
// sort. The sources of the items (triangles, nodes) are cut into contiguous
// blocks (one per thread); each block counts its items per slot, a prefix sum
// over (slot, block) gives every block its place inside every slot's segment,
// and each block then places its items in order. The result depends only on
// the items, never on the number of threads, so sums formed slot by slot over
// these segments are the sums one thread would form walking the items in order.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <vector>

#include "tables/large_array.h"

namespace Tavrin {

// Slot index meaning "none": a node whose cell is missing, a bad node number.
inline constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

// The prefix sums of a stable counting sort by slot, over items counted per
// block of sources: counts[b * slot_count + s] holds block b's items in slot
// s on entry. Sets start (slot_count + 1 entries; slot s owns positions
// start[s] .. start[s + 1]) and turns every count into the position of the
// block's first item inside the slot's segment, blocks in source order.
// Both passes run in parallel; the starts are summed per thread's range of
// slots and the ranges offset afterwards. Returns the item total.
inline uint64_t slotSegments(uint64_t slot_count, uint64_t blocks, std::vector<uint32_t>& counts,
                             std::vector<uint32_t>& start) {
  start.assign(slot_count + 1, 0);
  const int ranges = std::max(1, omp_get_max_threads());
  std::vector<uint64_t> range_total(static_cast<size_t>(ranges) + 1, 0);
  auto range_begin = [&](int r) { return slot_count * static_cast<uint64_t>(r) / ranges; };
#pragma omp parallel for schedule(static)
  for (int r = 0; r < ranges; ++r) {
    uint64_t sum = 0;
    for (uint64_t s = range_begin(r); s < range_begin(r + 1); ++s) {
      uint32_t n = 0;
      for (uint64_t b = 0; b < blocks; ++b) n += counts[b * slot_count + s];
      sum += n;
      start[s + 1] = static_cast<uint32_t>(sum);  // within the range, for now
    }
    range_total[r + 1] = sum;
  }
  for (int r = 0; r < ranges; ++r) range_total[r + 1] += range_total[r];
#pragma omp parallel for schedule(static)
  for (int r = 0; r < ranges; ++r) {
    const uint32_t offset = static_cast<uint32_t>(range_total[r]);
    for (uint64_t s = range_begin(r); s < range_begin(r + 1); ++s) {
      start[s + 1] += offset;
      // Each block's place inside the segment: blocks in source order.
      uint32_t at = s == range_begin(r) ? offset : start[s];
      for (uint64_t b = 0; b < blocks; ++b) {
        uint32_t& c = counts[b * slot_count + s];
        const uint32_t n = c;
        c = at;
        at += n;
      }
    }
  }
  return range_total[ranges];
}

class SlotGroups {
 public:
  // Groups items 0 .. item_count-1 by slot_of(item) < slot_count. Returns
  // false when an item has no slot (slot_of gives kNoSlot or a value out of
  // range); firstBadItem() then names the smallest such item. Memory that
  // runs short throws std::bad_alloc, as a std::vector of the items would.
  template <class SlotOf>
  bool build(uint64_t slot_count, uint64_t item_count, const SlotOf& slot_of) {
    assert(slot_count > 0 || item_count == 0);
    if (item_count > kMaxItems) {
      start_.assign(slot_count + 1, 0);
      first_bad_ = kMaxItems;
      return false;
    }
    return buildFromSources(slot_count, item_count, [&](uint64_t i, auto&& put) {
      put(slot_of(i), static_cast<uint32_t>(i));
    });
  }

  // The general form: source i (0 .. source_count-1) emits its items in
  // order by calling put(slot, item); items must grow with the source, so
  // that each slot's items come out in increasing order. A source that emits
  // a slot out of range fails the grouping; firstBadItem() then names the
  // smallest such source. `emit` runs twice per source and must give the
  // same items both times.
  template <class Emit>
  bool buildFromSources(uint64_t slot_count, uint64_t source_count, const Emit& emit);

  uint64_t slotCount() const { return start_.empty() ? 0 : start_.size() - 1; }
  uint32_t begin(uint64_t slot) const { return start_[slot]; }
  uint32_t end(uint64_t slot) const { return start_[slot + 1]; }
  uint32_t item(uint32_t position) const { return items_[position]; }
  uint64_t itemCount() const { return item_count_; }
  uint64_t firstBadItem() const { return first_bad_; }

  // Largest item count the 32-bit positions can hold.
  static constexpr uint64_t kMaxItems = 0xFFFFFFFEu;

 private:
  std::vector<uint32_t> start_;  // slot s owns items_[start_[s] .. start_[s+1])
  LargeArray<uint32_t> items_;
  uint64_t item_count_ = 0;
  uint64_t first_bad_ = 0;
};

template <class Emit>
bool SlotGroups::buildFromSources(uint64_t slot_count, uint64_t source_count, const Emit& emit) {
  start_.assign(slot_count + 1, 0);
  items_.reset();
  item_count_ = 0;
  first_bad_ = source_count;
  // One block per thread, fewer when the per-block counters would be large.
  const uint64_t budget = uint64_t{1} << 28;  // counters, 1 GiB
  uint64_t blocks = static_cast<uint64_t>(std::max(1, omp_get_max_threads()));
  if (slot_count > 0) blocks = std::max<uint64_t>(1, std::min(blocks, budget / slot_count));
  std::vector<uint32_t> counts(blocks * slot_count, 0);
  auto block_begin = [&](uint64_t b) { return source_count * b / blocks; };

  uint64_t first_bad = source_count;
  uint64_t total = 0;
#pragma omp parallel for schedule(static) reduction(min : first_bad) reduction(+ : total)
  for (uint64_t b = 0; b < blocks; ++b) {
    uint32_t* c = counts.data() + b * slot_count;
    const uint64_t e = block_begin(b + 1);
    uint64_t placed = 0;
    for (uint64_t i = block_begin(b); i < e; ++i) {
      bool bad = false;
      emit(i, [&](uint32_t s, uint32_t) {
        if (s >= slot_count) {
          bad = true;
          return;
        }
        ++c[s];
        ++placed;
      });
      if (bad && i < first_bad) first_bad = i;
    }
    total += placed;
  }
  if (first_bad < source_count) {
    first_bad_ = first_bad;
    return false;
  }
  if (total > kMaxItems) {
    first_bad_ = kMaxItems;
    return false;
  }

  slotSegments(slot_count, blocks, counts, start_);
  item_count_ = total;
  items_ = requireLargeArray<uint32_t>(total);
  uint32_t* items = items_.get();
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < blocks; ++b) {
    uint32_t* next = counts.data() + b * slot_count;
    const uint64_t e = block_begin(b + 1);
    for (uint64_t i = block_begin(b); i < e; ++i)
      emit(i, [&](uint32_t s, uint32_t item) { items[next[s]++] = item; });
  }
  return true;
}

}  // namespace Tavrin
