#pragma once

#include <cstdint>
#include <vector>

#include "controls/ScaledPicture.h"
#include "controls/ViewGeometry.h"
#include "raster/Bitmap32.h"
#include "raster/Layers.h"

namespace tvx {

/// Paints an image view's buffer in its stages: a checkerboard background,
/// the picture scaled into its rectangle, the layer collection through the
/// view's transform, and a veil of black over the margins around the picture.
/// The buffer is the viewport in view pixels. Not thread-safe.
class TViewPainter {
 public:
  static constexpr TColor32 kCheckerLight = 0xFFFFFFFFu;
  static constexpr TColor32 kCheckerDark = 0xFFB0B0B0u;
  static constexpr int32_t kCheckerSquare = 8;
  static constexpr int32_t kDefaultFrameIntensity = 128;

  /// Covers the buffer with squares of the given side, grey in the top-left
  /// corner; the two row patterns are kept for the buffer's width.
  void PaintCheckerboard(TBitmap32& buffer, int32_t square = kCheckerSquare);

  /// Blends black with alpha intensity (0..255) over the four margins of the
  /// buffer outside pictureRect: above and below it across the whole width,
  /// left and right of it as high as the picture. Nothing for intensity 0.
  static void PaintVeil(TBitmap32& buffer, const TRect& pictureRect, int32_t intensity);

  /// All stages for the geometry's viewport (buffer is resized to it), then
  /// every pixel made opaque, as a screen shows it. picture and layers may be
  /// null; the layers are painted with the transform they carry.
  void Paint(TBitmap32& buffer, const TViewGeometry& geometry, const TBitmap32* picture,
             TLayerCollection* layers, int32_t frameIntensity, int32_t square = kCheckerSquare);

  /// The picture's scaled copies; Invalidate() them when its pixels change.
  TScaledPicture& ScaledPicture() { return scaled_; }

 private:
  std::vector<TColor32> patternA_, patternB_;
  int32_t patternWidth_ = -1, patternSquare_ = 0;
  TScaledPicture scaled_;
};

}  // namespace tvx
