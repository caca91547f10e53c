#include "controls/ScaledPicture.h"

#include <algorithm>

#include "raster/Resampler.h"

namespace tvx {
namespace {

// The mean of four pixels, colour weighted by alpha so that transparent
// pixels lend no colour; opaque blocks (photos) and empty ones (a picture
// still loading) take the short way.
inline TColor32 Mean4(TColor32 a, TColor32 b, TColor32 c, TColor32 d) {
  if ((a | b | c | d) >> 24 == 0) return 0;
  if ((a & b & c & d) >> 24 == 0xFF) {
    const uint32_t rb = ((a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF) + 0x20002) >> 2;
    const uint32_t g = (((a >> 8) & 0xFF) + ((b >> 8) & 0xFF) + ((c >> 8) & 0xFF) + ((d >> 8) & 0xFF) + 2) >> 2;
    return 0xFF000000u | (rb & 0xFF00FF) | (g << 8);
  }
  uint32_t sa = 0, sr = 0, sg = 0, sb = 0;
  for (TColor32 p : {a, b, c, d}) {
    const uint32_t w = p >> 24;
    sa += w;
    sr += ((p >> 16) & 0xFF) * w;
    sg += ((p >> 8) & 0xFF) * w;
    sb += (p & 0xFF) * w;
  }
  if (sa == 0) return 0;
  const uint32_t half = sa / 2;
  return (((sa + 2) >> 2) << 24) | (((sr + half) / sa) << 16) | (((sg + half) / sa) << 8) | ((sb + half) / sa);
}

// Half the size (rounded up); an odd last row or column is averaged with itself.
TBitmap32 Halved(const TBitmap32& src) {
  TBitmap32 half((src.Width() + 1) / 2, (src.Height() + 1) / 2);
  const int32_t lastX = src.Width() - 1, lastY = src.Height() - 1;
  for (int32_t y = 0; y < half.Height(); ++y) {
    const TColor32* r0 = src.ScanLine(2 * y);
    const TColor32* r1 = src.ScanLine(std::min(2 * y + 1, lastY));
    TColor32* out = half.ScanLine(y);
    for (int32_t x = 0; x < half.Width(); ++x) {
      const int32_t x0 = 2 * x, x1 = std::min(x0 + 1, lastX);
      out[x] = Mean4(r0[x0], r0[x1], r1[x0], r1[x1]);
    }
  }
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
