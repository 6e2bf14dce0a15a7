#include "hashuc/hash_uc.h"

namespace Tavrin {

// The template form used by the factory, compiled once here.
template class HashUC_T<QefAccInfo>;

}  // namespace Tavrin
