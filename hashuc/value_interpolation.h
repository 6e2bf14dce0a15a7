// Averages per-node values (scalar fields) per cell: up to six value arrays
// in one pass. A node whose value in an array is the lowest finite float (or
// not finite) has no value there: it adds nothing to that field and still
// counts for the others. Every slot belongs to one thread (SlotPartition),
// which walks the nodes in order and sums those of its slots without a lock,
// so the averages do not depend on the thread count.
// The sums land in the record fields the layout names:
//   static constexpr int kValueField;  // first of the summed values
//   count field: given per call (one-value and six-value forms differ)
// and every field from kValueField to the count field is then divided by
// the count, where the count is positive. What the float fields cannot hold
// is kept beside the table, in ValueSumExtras, for the few slots that need
// it: the number of nodes without a value per field, and a sum that left
// the float range, carried on in double from the step that overflowed (the
// float steps before it are the ones a float sum makes, so sums that stay
// in range are unchanged). A field none of whose nodes has a value gets 0,
// as it did when such nodes were left out of every field.
#pragma once

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "hashuc/node_slots.h"
#include "hashuc/output_assembly.h"
#include "tables/slot_partition.h"

namespace Tavrin {

inline constexpr float kNoValue = -3.4028235e38f;

struct ValueArrays {
  const float* values[6] = {};
  int32_t strides[6] = {1, 1, 1, 1, 1, 1};
  int32_t count = 0;
};

// The slots whose values do not fit their float fields, per part of the
// SlotPartition (each part is written by its own thread only).
struct ValueSumExtras {
  struct Slot {
    uint32_t missing[6] = {};  // nodes without a value, per field
    double big[6] = {};        // the sum of a field whose float sum overflowed
  };
  std::unordered_map<uint64_t, Slot> parts[SlotPartition::kMaxParts];

  bool empty() const {
    for (const auto& part : parts)
      if (!part.empty()) return false;
    return true;
  }
  void clear() {
    for (auto& part : parts) part.clear();
  }
};

// Adds the values of nodes first .. first+count-1 to their slots: fields
// first_field .. first_field+m-1 get the values, count_field the number of
// nodes. va.values[j][k * stride] is the value of node first+k, so a caller
// may pass the nodes block after block, in order, with the same extras: each
// slot then sums its nodes in node order, as one pass over all nodes would.
// Every node of the range must have a slot.
template <class Table>
void sumValuesPerSlot(Table& table, const NodeSlots& map, int64_t first, int64_t count,
                      const ValueArrays& va, int first_field, int count_field,
                      ValueSumExtras& extras) {
  const uint64_t slots = table.slotCount();
  const uint32_t* node_slot = map.slot.data() + first;
  const int m = va.count;
  const SlotPartition partition(slots);
  partition.forEachPart([&](int p) {
    std::unordered_map<uint64_t, ValueSumExtras::Slot>& extra = extras.parts[p];
    for (int64_t node = 0; node < count; ++node) {
      const uint32_t s = node_slot[node];
      if (partition.part(s) != p) continue;
      float* f = table.slot(s).rec.v;
      for (int j = 0; j < m; ++j) {
        const float v = va.values[j][node * va.strides[j]];
        float& sum = f[first_field + j];
        if (v == kNoValue || !std::isfinite(v)) {
          ++extra[s].missing[j];
        } else if (std::isinf(sum)) {
          extra[s].big[j] += v;  // already beyond the float range
        } else {
          const float next = sum + v;
          // An infinite float sum of finite values marks the slot's double.
          if (std::isinf(next)) extra[s].big[j] = static_cast<double>(sum) + v;
          sum = next;
        }
      }
      f[count_field] += 1.0f;
    }
  });
}

// Divides fields first_field .. count_field of every slot by its count
// where the count is positive, each value field by the count of the nodes
// that have a value in it.
template <class Table>
void divideByValueCount(Table& table, int first_field, int count_field,
                        const ValueSumExtras& extras) {
  const uint64_t slots = table.slotCount();
  const bool plain = extras.empty();
  const SlotPartition partition(slots);
  const int fields = count_field - first_field < 6 ? count_field - first_field : 6;
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slots; ++s) {
    float* f = table.slot(s).rec.v;
    const float count = f[count_field];
    const ValueSumExtras::Slot* extra = nullptr;
    if (!plain) {
      const auto& part = extras.parts[partition.part(s)];
      const auto it = part.find(s);
      if (it != part.end()) extra = &it->second;
    }
    if (!extra) {
      if (static_cast<int>(count) > 0)
        for (int j = first_field; j <= count_field; ++j) f[j] /= count;
      continue;
    }
    for (int j = 0; j < fields; ++j) {
      const float with_value = count - static_cast<float>(extra->missing[j]);
      float& v = f[first_field + j];
      if (!(with_value > 0.0f))
        v = 0.0f;  // as a cell none of whose nodes has any value
      else if (std::isinf(v))
        v = static_cast<float>(extra->big[j] / static_cast<double>(with_value));
      else
        v /= with_value;
    }
    if (count > 0.0f) f[count_field] = 1.0f;
  }
}

// Whether every node of the map has a slot of the table.
template <class Table>
bool everyNodeMapped(const Table& table, const NodeSlots& map) {
  const uint64_t slots = table.slotCount();
  const uint32_t* node_slot = map.slot.data();
  const int64_t n = static_cast<int64_t>(map.slot.size());
  bool unmapped = false;
#pragma omp parallel for schedule(static) reduction(|| : unmapped)
  for (int64_t i = 0; i < n; ++i) unmapped = unmapped || node_slot[i] >= slots;
  return !unmapped;
}

// Sums the values of the nodes of each slot into fields first .. first+m-1
// and the number of contributing nodes into count_field, then divides
// fields first .. count_field by that count where it is positive.
template <class Table>
bool averageValuesPerSlot(Table& table, const NodeSlots& map, const ValueArrays& va,
                          int first_field, int count_field) {
  if (!everyNodeMapped(table, map)) return false;
  ValueSumExtras extras;
  sumValuesPerSlot(table, map, 0, static_cast<int64_t>(map.slot.size()), va, first_field,
                   count_field, extras);
  divideByValueCount(table, first_field, count_field, extras);
  return true;
}

// One array of output-node values per averaged field.
template <class Table>
void writeAveragedValues(Table& table, const OutputNumbering& numbering, int first_field, int m,
                         std::vector<std::vector<float>>& out) {
  out.assign(m, {});
  for (int j = 0; j < m; ++j)
    writePerOutputNode(table, numbering, 1, out[j],
                       [&](const auto& rec, float* dst) { *dst = rec.v[first_field + j]; });
}

}  // namespace Tavrin
