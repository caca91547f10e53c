#include "raster/Bitmap32.h"

#include <algorithm>
#include <cmath>

namespace tvx {

void TBitmap32::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width != width_ || height != height_) {
    pixels_.resize(static_cast<size_t>(width) * height);
    width_ = width;
    height_ = height;
  }
  ResetClipRect();
}

void TBitmap32::Clear(TColor32 color) { std::fill(pixels_.begin(), pixels_.end(), color); }

void TBitmap32::Assign(const TBitmap32& other) {
  if (this == &other) return;
  pixels_ = other.pixels_;
  width_ = other.width_;
  height_ = other.height_;
  ResetClipRect();
}

void TBitmap32::SetClipRect(const TRect& r) {
  if (!IntersectRect(clip_, r, BoundsRect())) clip_ = TRect{};
}

}  // namespace tvx

namespace tvx {

TColor32 Color32(uint32_t systemColor) {
  return ARGB(255, static_cast<uint8_t>(systemColor), static_cast<uint8_t>(systemColor >> 8),
              static_cast<uint8_t>(systemColor >> 16));
}

TRect MakeRect(const TFloatRect& r) {
  // nearbyint rounds halves to even in the default rounding mode
  return TRect{static_cast<int32_t>(std::nearbyint(r.Left)), static_cast<int32_t>(std::nearbyint(r.Top)),
               static_cast<int32_t>(std::nearbyint(r.Right)), static_cast<int32_t>(std::nearbyint(r.Bottom))};
}

void OffsetRect(TRect& r, int32_t dx, int32_t dy) {
  r.Left += dx;
  r.Right += dx;
  r.Top += dy;
  r.Bottom += dy;
}

void OffsetRectF(TFloatRect& r, float dx, float dy) {
  r.Left += dx;
  r.Right += dx;
  r.Top += dy;
  r.Bottom += dy;
}

bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) {
    dst = TRect{};
    return false;
  }
  dst = r;
  return true;
}

}  // namespace tvx
