#pragma once

#include <cstdint>

#include "raster/Bitmap32.h"

namespace tvx {

/// The margins RotateBitmap adds on each side of a width x height bitmap
/// turned by degrees: enough for the turned content and its anti-aliased
/// edge, the same on the left and right (and top and bottom), so the centre
/// stays on the same pixel grid. Negative where the turned content needs
/// less room than the bitmap had (a quarter turn of a wide bitmap).
void RotatedMargins(int32_t width, int32_t height, double degrees, int32_t& marginX, int32_t& marginY);

/// Turns the bitmap by degrees around its centre, clockwise on screen
/// (positive angles turn the top edge toward the right). The result is the
/// bitmap grown by RotatedMargins on every side; the corners it uncovers are
/// transparent. Sampling is bilinear on alpha-weighted colour, so the edges
/// are anti-aliased and transparent pixels lend no colour to their
/// neighbours. Angles that are whole turns, non-finite angles and empty
/// bitmaps leave the bitmap as it is (margins 0). Drawing properties stay.
void RotateBitmap(TBitmap32& bitmap, double degrees, int32_t& marginX, int32_t& marginY);

}  // namespace tvx
