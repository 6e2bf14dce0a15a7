// What one hash simplification is asked to do. The batch run fills it from
// the command line and the viewer from its prompts; everything below takes it
// as an argument, so no layer reads a process-wide setting.
#pragma once

#include <cstdint>

#include "hashuc/simp_type.h"

namespace Tavrin {

struct SimplifyOptions {
  int32_t grid_size = 0;  // cells per axis
  simp_type type = HASH_UC;
  // Space factor of the single-level cuckoo and coherent tables; 0 (or any
  // value that is not positive) selects their default.
  float load_factor = 0.0f;
};

}  // namespace Tavrin
