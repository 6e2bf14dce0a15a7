// Averages per-node values (scalar fields) per cell: up to six value arrays
// in one pass. A node whose value is the lowest finite float in any array of
// the pass has no value and adds nothing. Every slot belongs to one thread
// (SlotPartition), which walks the nodes in order and sums those of its
// slots without a lock, so the averages do not depend on the thread count.
// The sums land in the record fields the layout names:
//   static constexpr int kValueField;  // first of the summed values
//   count field: given per call (one-value and six-value forms differ)
// and every field from kValueField to the count field is then divided by
// the count, where the count is positive.
#pragma once

#include <cstdint>
#include <vector>

#include "hashuc/node_slots.h"
#include "hashuc/output_assembly.h"
#include "hashuc/slot_partition.h"

namespace Tavrin {

inline constexpr float kNoValue = -3.4028235e38f;

struct ValueArrays {
  const float* values[6] = {};
  int32_t strides[6] = {1, 1, 1, 1, 1, 1};
  int32_t count = 0;
};

// Adds the values of nodes first .. first+count-1 to their slots: fields
// first_field .. first_field+m-1 get the values, count_field the number of
// contributing nodes. va.values[j][k * stride] is the value of node first+k,
// so a caller may pass the nodes block after block, in order: each slot then
// sums its nodes in node order, as one pass over all nodes would. Every
// node of the range must have a slot.
template <class Table>
void sumValuesPerSlot(Table& table, const NodeSlots& map, int64_t first, int64_t count,
                      const ValueArrays& va, int first_field, int count_field) {
  const uint64_t slots = table.slotCount();
  const uint32_t* node_slot = map.slot.data() + first;
  const int m = va.count;
  const SlotPartition partition(slots);
  partition.forEachPart([&](int p) {
    for (int64_t node = 0; node < count; ++node) {
      const uint32_t s = node_slot[node];
      if (partition.part(s) != p) continue;
      float v[6];
      bool has_value = true;
      for (int j = 0; j < m; ++j) {
        v[j] = va.values[j][node * va.strides[j]];
        if (v[j] == kNoValue) has_value = false;
      }
      if (!has_value) continue;
      float* f = table.slot(s).rec.v;
      for (int j = 0; j < m; ++j) f[first_field + j] += v[j];
      f[count_field] += 1.0f;
    }
  });
}

// Divides fields first_field .. count_field of every slot by its count
// where the count is positive.
template <class Table>
void divideByValueCount(Table& table, int first_field, int count_field) {
  const uint64_t slots = table.slotCount();
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slots; ++s) {
    float* f = table.slot(s).rec.v;
    const float count = f[count_field];
    if (static_cast<int>(count) > 0)
      for (int j = first_field; j <= count_field; ++j) f[j] /= count;
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
  sumValuesPerSlot(table, map, 0, static_cast<int64_t>(map.slot.size()), va, first_field,
                   count_field);
  divideByValueCount(table, first_field, count_field);
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
