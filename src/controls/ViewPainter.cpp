#include "controls/ViewPainter.h"

#include <algorithm>

namespace tvx {
namespace {

void BlendOver(TBitmap32& buffer, const TRect& area, const std::vector<TColor32>& veil) {
  TRect r;
  if (!IntersectRect(r, area, buffer.ClipRect())) return;
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    BlendRow(veil.data(), buffer.ScanLine(y) + r.Left, r.Width(), dmBlend, cmBlend, 255);
}

}  // namespace

void TViewPainter::PaintCheckerboard(TBitmap32& buffer, int32_t square) {
  square = std::max(square, 1);
  const int32_t w = buffer.Width();
  if (w != patternWidth_ || square != patternSquare_) {
    patternA_.resize(w);
    patternB_.resize(w);
    for (int32_t x = 0; x < w; ++x) {
      const bool even = (x / square) % 2 == 0;
      patternA_[x] = even ? kCheckerLight : kCheckerDark;
      patternB_[x] = even ? kCheckerDark : kCheckerLight;
    }
    patternWidth_ = w;
    patternSquare_ = square;
  }
  for (int32_t y = 0; y < buffer.Height(); ++y) {
    const std::vector<TColor32>& pattern = (y / square) % 2 == 0 ? patternB_ : patternA_;
    std::copy(pattern.begin(), pattern.end(), buffer.ScanLine(y));
  }
}

void TViewPainter::PaintVeil(TBitmap32& buffer, const TRect& pictureRect, int32_t intensity) {
  intensity = std::clamp(intensity, 0, 255);
  if (intensity == 0 || buffer.Empty()) return;
  const std::vector<TColor32> veil(buffer.Width(), SetAlpha(0, static_cast<uint8_t>(intensity)));
  const TRect& p = pictureRect;
  const int32_t w = buffer.Width(), h = buffer.Height();
  // Picture rectangles reaching beyond the buffer leave those margins empty.
  const int32_t top = std::clamp(p.Top, 0, h), bottom = std::clamp(p.Bottom, top, h);
  BlendOver(buffer, TRect{0, 0, w, top}, veil);
  BlendOver(buffer, TRect{0, bottom, w, h}, veil);
  BlendOver(buffer, TRect{0, top, std::clamp(p.Left, 0, w), bottom}, veil);
  BlendOver(buffer, TRect{std::clamp(p.Right, 0, w), top, w, bottom}, veil);
}

void TViewPainter::Paint(TBitmap32& buffer, const TViewGeometry& geometry, const TBitmap32* picture,
                         TLayerCollection* layers, int32_t frameIntensity, int32_t square) {
  if (buffer.Width() != geometry.ViewportWidth() || buffer.Height() != geometry.ViewportHeight())
    buffer.SetSize(geometry.ViewportWidth(), geometry.ViewportHeight());
  buffer.ResetClipRect();
  if (buffer.Empty()) return;
  PaintCheckerboard(buffer, square);
  const TRect pictureRect = geometry.GetBitmapRect();
  if (picture && !picture->Empty()) scaled_.Draw(buffer, *picture, pictureRect);
  if (layers) layers->Paint(buffer);
  buffer.ResetClipRect();  // a layer may have narrowed it
  if (picture && !picture->Empty()) PaintVeil(buffer, pictureRect, frameIntensity);
  // The veil and translucent pictures blend alpha too; the screen shows colour only.
  const size_t n = static_cast<size_t>(buffer.Width()) * buffer.Height();
  TColor32* bits = buffer.Bits();
  for (size_t i = 0; i < n; ++i) bits[i] |= 0xFF000000u;
}

}  // namespace tvx
