#pragma once

#include <cstdint>
#include <functional>

#include "raster/Bitmap32.h"

namespace tvx {

/// Receives one finished row of a resampled picture: y is the row within the
/// whole output, row holds the pixels of the requested columns. The row buffer
/// is reused for the next call.
using TResampleRowSink = std::function<void(int32_t y, const TColor32* row)>;

/// Resamples srcRect of src (kept within src) to an image of dstWidth x
/// dstHeight and delivers the rows part.Top..part.Bottom-1, columns
/// part.Left..part.Right-1 (part must lie within that image), top to bottom.
///
/// Separable filtering, horizontal pass first into a ring of dstWidth-wide
/// rows, so memory stays a few rows whatever the sizes. Colour is weighted by
/// alpha (premultiplied while filtering): fully transparent pixels carry no
/// colour into their neighbours, so scaled pictures with transparent
/// surroundings get no dark fringes. Weights of every output pixel are
/// normalised; taps beyond the source rectangle fold onto its edge pixels.
/// sfNearest picks the source pixel under each output pixel centre; sfDraft is
/// a box filter (an area average when shrinking).
void ResampleRect(const TBitmap32& src, const TRect& srcRect, int32_t dstWidth, int32_t dstHeight,
                  const TRect& part, TStretchFilter filter, const TResampleRowSink& sink);

/// The continuous kernel of a filter and its radius at scale 1 (for tests).
double FilterKernel(TStretchFilter filter, double x);
double FilterRadius(TStretchFilter filter);

}  // namespace tvx
