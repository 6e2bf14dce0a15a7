// The memory a handler on a two-level cuckoo table reports: the handler
// itself; with a table 40 bytes more and, per bucket, its 573 slots plus the
// bucket's own data and lock; plus 8 bytes per occupied-cell key.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Tavrin {

template <class Table>
uint64_t cuckooHandlerBytes(uint64_t handler_bytes, const Table* table, uint64_t bucket_data,
                            size_t key_count) {
  uint64_t bytes = handler_bytes;
  if (table)
    bytes += 40 + static_cast<uint64_t>(table->bucketCount()) *
                      (Table::kSlotsPerBucket * sizeof(typename Table::Slot) + bucket_data);
  return bytes + 8 * static_cast<uint64_t>(key_count);
}

}  // namespace Tavrin
