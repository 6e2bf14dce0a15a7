// The triangle budget of a loaded mesh and its oversize message.
#include "ui/graphics_budget.h"

#include "base/group_digits.h"
#include "base/messages.h"

namespace Tavrin {

namespace {
int64_t test_budget = 0;
}

int64_t drawing_budget(const DriverFacts& facts) {
  return test_budget > 0 ? test_budget : triangle_budget_for(facts);
}

int64_t drawing_budget() { return test_budget > 0 ? test_budget : triangle_budget(); }

void set_test_triangle_budget(int64_t triangles) { test_budget = triangles > 0 ? triangles : 0; }

std::string oversize_message(const char* reason, int64_t triangles, int64_t budget, int grid) {
  std::string text = format("%s graphics: Object too big %lld > %lld\n", reason,
                            static_cast<long long>(triangles), static_cast<long long>(budget));
  text += format("Object drawn is a simplified version: grid %d^3\n", grid);
  return group_digits_text(text, 1024);
}

}  // namespace Tavrin
