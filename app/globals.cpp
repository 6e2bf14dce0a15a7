#include "app/globals.h"

namespace Tavrin {

bool batch_mode = false;
float load_factor = 0.0f;

}  // namespace Tavrin
