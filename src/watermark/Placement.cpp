#include "watermark/Placement.h"

#include <algorithm>
#include <cmath>

namespace tvx {

namespace {

// The pixels a cuShorterPercent coordinate stands for; a picture with a side
// of no length (or less) gives none.
double ShorterSide(int32_t extent, int32_t otherExtent) { return std::max(0, std::min(extent, otherExtent)); }

}  // namespace

double PlaceOnAxis(uint8_t unit, uint8_t align, double coord, int32_t extent, int32_t size,
                   int32_t otherExtent) {
  const double e = extent;
  if (unit == cuShorterPercent) coord = coord * 0.01 * ShorterSide(extent, otherExtent);
  if (unit == cuPercent) {
    switch (align) {
      case haRight: return e * (1 - coord * 0.01) - size;
      case haCenter: return coord * 0.01 * e + extent / 2 - size / 2;
      default: return e * coord * 0.01;
    }
  }
  switch (align) {
    case haRight: return e - coord - size;
    case haCenter: return coord + extent / 2 - size / 2;
    default: return coord;
  }
}

double CoordOnAxis(uint8_t unit, uint8_t align, double position, int32_t extent, int32_t size,
                   int32_t otherExtent) {
  double pixels;
  switch (align) {
    case haRight: pixels = double(extent) - position - size; break;
    case haCenter: pixels = size / 2 + (position - extent / 2); break;
    default: pixels = position; break;
  }
  if (unit == cuShorterPercent) {
    const double shorter = ShorterSide(extent, otherExtent);
    return shorter == 0 ? 0.0 : pixels * 100 / shorter;
  }
  if (unit != cuPercent) return pixels;
  return extent == 0 ? 0.0 : pixels * 100 / extent;
}

TRect SafeMakeRect(const TFloatRect& r) {
  static constexpr float kLimit = 1073741824.0f;  // 2^30
  auto clamp = [](float v) { return std::isnan(v) ? 0.0f : std::clamp(v, -kLimit, kLimit); };
  return MakeRect(TFloatRect{clamp(r.Left), clamp(r.Top), clamp(r.Right), clamp(r.Bottom)});
}

}  // namespace tvx
