// One slot of a cell table: the 64-bit cell key followed by the handler's
// per-cell record.
#pragma once

#include <cstdint>

namespace Tavrin {

template <class Record>
struct CellSlot {
  uint64_t key;
  Record rec;
};

// The key of an empty slot in every cell table. Cell keys are linear cell
// indices far below it, so it can never equal a real key (key 0 included).
inline constexpr uint64_t kEmptyCellKey = ~uint64_t{0};

// The pointer form of a table's lookup, written once for the three tables:
// Table provides find_index(key) (a slot index or -1) and slot(index).
template <class Table, class Slot>
struct SlotLookup {
  Slot* find(uint64_t key) {
    Table& t = static_cast<Table&>(*this);
    const int64_t i = t.find_index(key);
    return i < 0 ? nullptr : &t.slot(static_cast<uint64_t>(i));
  }
  const Slot* find(uint64_t key) const {
    const Table& t = static_cast<const Table&>(*this);
    const int64_t i = t.find_index(key);
    return i < 0 ? nullptr : &t.slot(static_cast<uint64_t>(i));
  }
};

}  // namespace Tavrin
