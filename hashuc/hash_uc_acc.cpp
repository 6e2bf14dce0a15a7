#include "hashuc/hash_uc_acc.h"

#include "hashuc/handler_memory.h"

namespace Tavrin {

uint64_t HashUCAcc::memoryBytes() const {
  return cuckooHandlerBytes(160, table_.get(), 14, space_.cellKeys.size());
}

void HashUCAcc::interpolateValues(const float* coords, int32_t node_count, int32_t components,
                                  const float* const* values, const int32_t* strides, int32_t count,
                                  std::vector<std::vector<float>>& out, int32_t& length) {
  if (!table_ || !values) return;
  const int32_t m = count < 0 ? 0 : (count > 6 ? 6 : count);
  std::vector<std::vector<float>> arrays(m);
  int32_t n = space_.cellCount();
  for (int32_t j = 0; j < m; ++j) {
    if (!values[j]) return;
    clearRecords(*table_);
    interpolateValue(coords, node_count, components, values[j], strides ? strides[j] : 1, arrays[j],
                     n);
    if (!table_) return;  // the pass failed and dropped the table
  }
  out = std::move(arrays);
  length = n;
}

}  // namespace Tavrin
