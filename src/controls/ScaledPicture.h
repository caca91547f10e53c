#pragma once

#include <cstdint>
#include <vector>

#include "raster/Bitmap32.h"

namespace tvx {

/// Draws a picture scaled into a view's paint buffer, quickly enough to
/// repaint on every mouse move and without the shimmer of picking single
/// pixels when shrinking.
///
/// Shrinking goes through a pyramid of halved copies of the picture (each
/// pixel the alpha-weighted mean of four) and a linear filter from the
/// smallest copy still at least as large as the target, so every picture
/// pixel contributes. The result at the current size is cached while it
/// stays below a size limit (otherwise only the visible part is resampled at
/// each paint). Enlarging picks the nearest pixel for the visible part only;
/// the picture's own size is a plain copy.
///
/// The cache belongs to one picture: another picture object or another size
/// drops it; changed pixels of the same picture need Invalidate(). The caller
/// keeps the picture alive while drawing. Not thread-safe.
class TScaledPicture {
 public:
  /// Scaled copies larger than this many pixels are not kept.
  static constexpr int64_t kCacheLimit = int64_t{16} << 20;

  /// Drops the cached copies (the picture's pixels changed).
  void Invalidate();
  /// Draws picture scaled into dstRect of buffer, clipped to the buffer's
  /// clip rectangle, with the picture's draw mode, combine mode and master
  /// alpha.
  void Draw(TBitmap32& buffer, const TBitmap32& picture, const TRect& dstRect);

  /// How many scaled copies were made since construction (for tests and
  /// measurements).
  int64_t Builds() const { return builds_; }

 private:
  const TBitmap32& Level(const TBitmap32& picture, int32_t width, int32_t height);

  const TBitmap32* picture_ = nullptr;
  int32_t pictureWidth_ = 0, pictureHeight_ = 0;
  std::vector<TBitmap32> levels_;  // levels_[i] is the picture halved i + 1 times
  TBitmap32 scaled_;
  bool scaledValid_ = false;
  int64_t builds_ = 0;
};

}  // namespace tvx
