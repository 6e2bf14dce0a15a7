#include "base/memory_check.h"

#include "base/group_digits.h"
#include "base/messages.h"

namespace Tavrin {

namespace {
thread_local size_t failed_bytes = 0;
}  // namespace

void note_failed_allocation(size_t bytes) { failed_bytes = bytes; }
size_t last_failed_allocation() { return failed_bytes; }
void forget_failed_allocation() { failed_bytes = 0; }

void report_no_memory(const std::string& what, size_t bytes) {
  const std::string text = bytes == 0
                               ? format("Not enough memory to %s.", what.c_str())
                               : format("Not enough memory to %s (%s bytes needed).", what.c_str(),
                                        group_digits_text(format("%zu", bytes), 64).c_str());
  log_message(text + "\n");
  message_box(text);
}

}  // namespace Tavrin
