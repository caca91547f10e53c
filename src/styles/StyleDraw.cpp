#include <algorithm>
#include <cstring>

#include "styles/Filters.h"

namespace tvx {
namespace {

uint8_t Channel(TColor32 c, int shift) { return static_cast<uint8_t>(c >> shift); }

TColor32 BlendOver(TColor32 f, TColor32 b, uint8_t masterAlpha, TCombineMode mode) {
  const int w = ((masterAlpha + 1) * AlphaOf(f)) >> 8;
  if (w == 0) return b;
  if (mode == cmBlend) {
    TColor32 result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int bc = Channel(b, shift), fc = Channel(f, shift);
      const int v = bc + ((fc - bc) * w + (fc >= bc ? 128 : -128)) / 256;
      result |= TColor32(std::clamp(v, 0, 255)) << shift;
    }
    return result;
  }
  const int ab = AlphaOf(b);
  const int rest = ab * (255 - w);  // alpha(B) * (1 - W/255), scaled by 255
  const int a255 = w * 255 + rest;  // the result's alpha, scaled by 255
  if (a255 == 0) return 0;
  TColor32 result = TColor32((a255 + 127) / 255) << 24;
  for (int shift = 0; shift < 24; shift += 8) {
    const int v = (Channel(f, shift) * w * 255 + Channel(b, shift) * rest + a255 / 2) / a255;
    result |= TColor32(std::clamp(v, 0, 255)) << shift;
  }
  return result;
}

}  // namespace

// The raster module's DrawTo is the one to use once it is on every branch; this
// is the same transfer for the two modes the styles need (clipped, no stretch).
void DrawOnto(const TBitmap32& src, TBitmap32& dst, int32_t x, int32_t y) {
  TRect area;
  if (!IntersectRect(area, TRect{x, y, x + src.Width(), y + src.Height()}, dst.ClipRect())) return;
  for (int32_t dy = area.Top; dy < area.Bottom; ++dy) {
    const TColor32* s = src.ScanLine(dy - y) + (area.Left - x);
    TColor32* d = dst.ScanLine(dy) + area.Left;
    const int32_t count = area.Width();
    if (src.DrawMode == dmOpaque) {
      std::memcpy(d, s, sizeof(TColor32) * count);
      continue;
    }
    for (int32_t i = 0; i < count; ++i) d[i] = BlendOver(s[i], d[i], src.MasterAlpha, src.CombineMode);
  }
}

void GrowBitmap(TBitmap32& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::max(right, 0);
  bottom = std::max(bottom, 0);
  if (left == 0 && top == 0 && right == 0 && bottom == 0) return;
  TBitmap32 grown(bitmap.Width() + left + right, bitmap.Height() + top + bottom);
  grown.Clear(0);
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    std::memcpy(grown.ScanLine(y + top) + left, bitmap.ScanLine(y), sizeof(TColor32) * bitmap.Width());
  grown.DrawMode = bitmap.DrawMode;
  grown.CombineMode = bitmap.CombineMode;
  grown.MasterAlpha = bitmap.MasterAlpha;
  grown.StretchFilter = bitmap.StretchFilter;
  bitmap = std::move(grown);
}

}  // namespace tvx
