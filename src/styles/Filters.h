#pragma once

#include <cstdint>

#include "raster/Bitmap32.h"
#include "styles/FilterParams.h"

namespace tvx {

/// The apply operations of the registered kinds (see TFilterApply). Each
/// does nothing without a block; "Stroke" and the shadow also do nothing
/// with a block of the wrong size or signature, "Gradient" then applies its
/// default gradient.
void StrokeApply(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy, const TFilterParams* params);
/// "Drop Shadow" and "Glow": a blurred, tinted, displaced silhouette of
/// source laid under target; grows target to hold it.
void ShadowApply(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy, const TFilterParams* params);
/// "Gradient": recolours every pixel of target, keeping its alpha.
void GradientApply(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy,
                   const TFilterParams* params);

}  // namespace tvx
