#include "controls/ScaledPicture.h"

#include <algorithm>

#include "raster/Resampler.h"

namespace tvx {
namespace {

TBitmap32 Halved(const TBitmap32& src) {
  TBitmap32 half((src.Width() + 1) / 2, (src.Height() + 1) / 2);
  // A box filter at exactly half the size averages each 2 x 2 block.
  ResampleRect(src, src.BoundsRect(), half.Width(), half.Height(), half.BoundsRect(), sfDraft,
               [&](int32_t y, const TColor32* row) { std::copy_n(row, half.Width(), half.ScanLine(y)); });
  return half;
}

}  // namespace

void TScaledPicture::Invalidate() {
  picture_ = nullptr;
  levels_.clear();
  scaled_.SetSize(0, 0);
  scaledValid_ = false;
}

const TBitmap32& TScaledPicture::Level(const TBitmap32& picture, int32_t width, int32_t height) {
  const TBitmap32* level = &picture;
  for (size_t i = 0;; ++i) {
    const int32_t w = (level->Width() + 1) / 2, h = (level->Height() + 1) / 2;
    if (w < width || h < height || w == level->Width()) return *level;
    if (i == levels_.size()) levels_.push_back(Halved(*level));
    level = &levels_[i];
  }
}

void TScaledPicture::Draw(TBitmap32& buffer, const TBitmap32& picture, const TRect& dstRect) {
  if (picture.Empty() || dstRect.IsEmpty()) return;
  if (&picture != picture_ || picture.Width() != pictureWidth_ || picture.Height() != pictureHeight_) {
    Invalidate();
    picture_ = &picture;
    pictureWidth_ = picture.Width();
    pictureHeight_ = picture.Height();
  }
  const int32_t w = dstRect.Width(), h = dstRect.Height();
  auto draw = [&](const TBitmap32& source, TStretchFilter filter) {
    StretchTransfer(buffer, dstRect, buffer.ClipRect(), source, source.BoundsRect(), filter, picture.DrawMode,
                    picture.CombineMode, picture.MasterAlpha);
  };
  if (w >= picture.Width() || h >= picture.Height()) {
    draw(picture, sfNearest);  // the same size copies; larger picks only the visible part
    return;
  }
  const TBitmap32& level = Level(picture, w, h);
  if (int64_t{w} * h > kCacheLimit) {
    draw(level, sfLinear);
    return;
  }
  if (!scaledValid_ || scaled_.Width() != w || scaled_.Height() != h) {
    scaled_.SetSize(w, h);
    ResampleRect(level, level.BoundsRect(), w, h, scaled_.BoundsRect(), sfLinear,
                 [&](int32_t y, const TColor32* row) { std::copy_n(row, w, scaled_.ScanLine(y)); });
    scaledValid_ = true;
    ++builds_;
  }
  draw(scaled_, sfNearest);
}

}  // namespace tvx
