// Maps every node to the table slot of its cell (or sub-cluster), once per
// run, with the table's lock-free lookup. Every later pass (accumulation,
// output, value averaging) reads the slot from here instead of hashing again.
// Every node's cell was collected before the table was built, so a node
// without a slot is a defect; the map then reports the first such node.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "hashuc/grid.h"
#include "tables/slot_groups.h"

namespace Tavrin {

struct NodeSlots {
  std::vector<uint32_t> slot;  // per node; kNoSlot never remains after a successful map
  const float* coords = nullptr;
  int32_t stride = 0;
  int64_t missing_node = -1;  // first node whose cell is not in the table
  // The slot of every key of the cell array the map was made from, when it
  // was made by mapNodesByCell (empty otherwise): the default output
  // numbering reads it instead of looking the keys up again.
  std::vector<uint32_t> cell_slot;

  // Whether the map was made from these coordinates.
  bool matches(const float* p, int64_t n, int32_t s) const {
    return coords == p && stride == s && static_cast<int64_t>(slot.size()) == n && n > 0;
  }
  void clear() {
    std::vector<uint32_t>().swap(slot);
    std::vector<uint32_t>().swap(cell_slot);
    coords = nullptr;
    stride = 0;
    missing_node = -1;
  }
};

// Ends a map of n nodes: a node without a slot (missing < n) fails it,
// otherwise it is marked as made from these coordinates.
inline bool finishNodeMap(NodeSlots& map, int64_t missing, int64_t n, const float* coords,
                          int32_t stride) {
  if (missing < n) {
    map.missing_node = missing;
    return false;
  }
  map.coords = coords;
  map.stride = stride;
  return true;
}

// Fills `map` for n nodes; key_of(normalised position, node) gives the
// node's key. Returns false (and sets missing_node) when a key is absent or
// the table has more slots than 32-bit slot numbers can name.
template <class Table, class KeyOf>
bool mapNodesToSlots(const Table& table, const NormalizationBox& nb, const KeyOf& key_of,
                     const float* coords, int64_t n, int32_t stride, NodeSlots& map) {
  map.clear();
  if (table.slotCount() >= kNoSlot) return false;
  map.slot.resize(n);
  int64_t missing = n;
#pragma omp parallel for schedule(static) reduction(min : missing)
  for (int64_t i = 0; i < n; ++i) {
    const Vec3 q = nb.normalise(coords + i * stride);
    const int64_t s = table.find_index(key_of(q, i));
    if (s < 0) {
      map.slot[i] = kNoSlot;
      if (i < missing) missing = i;
    } else {
      map.slot[i] = static_cast<uint32_t>(s);
    }
  }
  return finishNodeMap(map, missing, n, coords, stride);
}

// Fills `map` from a collection that already knows every node's cell
// (node_cell: position in cell_keys): each cell is looked up once, and every
// node takes its cell's slot. The same map as mapNodesToSlots with the key
// function of that collection; false (and missing_node) as there. `known`,
// when it holds one slot per cell (as the table's build placed them), is
// taken over instead of the lookups.
template <class Table>
bool mapNodesByCell(const Table& table, const std::vector<uint64_t>& cell_keys,
                    const std::vector<uint32_t>& node_cell, const float* coords, int32_t stride,
                    NodeSlots& map, std::vector<uint32_t>* known = nullptr) {
  map.clear();
  if (table.slotCount() >= kNoSlot) return false;
  const int64_t cells = static_cast<int64_t>(cell_keys.size());
  std::vector<uint32_t>& cell_slot = map.cell_slot;
  if (known && static_cast<int64_t>(known->size()) == cells && cells > 0) {
    cell_slot.swap(*known);
  } else {
    // The cells are looked up together, so that their cache misses overlap
    // (and, on a big table, in table order).
    std::vector<int64_t> found(cells);
    table.find_all(cell_keys.data(), static_cast<size_t>(cells), found.data());
    cell_slot.resize(cells);
#pragma omp parallel for schedule(static)
    for (int64_t j = 0; j < cells; ++j)
      cell_slot[j] = found[j] < 0 ? kNoSlot : static_cast<uint32_t>(found[j]);
  }
  const int64_t n = static_cast<int64_t>(node_cell.size());
  map.slot.resize(n);
  int64_t missing = n;
#pragma omp parallel for schedule(static) reduction(min : missing)
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t s = cell_slot[node_cell[i]];
    map.slot[i] = s;
    if (s == kNoSlot && i < missing) missing = i;
  }
  return finishNodeMap(map, missing, n, coords, stride);
}

}  // namespace Tavrin
