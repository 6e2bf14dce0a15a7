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

}  // namespace Tavrin
