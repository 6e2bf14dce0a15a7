#include "hashuc/hash_uc_adapt_normal.h"

namespace Tavrin {

// The template form used by the factory, compiled once here.
template class AdaptNormalHandler<QefAccNormalInfo>;
template class HashUCAdaptNormal_T<QefAccNormalInfo>;

}  // namespace Tavrin
