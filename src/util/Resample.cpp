// Placeholder until resampling lands.
#include "util/Utils.h"

namespace tvx {

void ResampleBitmap(TBitmap32&, int32_t, int32_t) {}

}  // namespace tvx
