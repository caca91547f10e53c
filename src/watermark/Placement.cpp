#include "watermark/Placement.h"

#include <algorithm>
#include <cmath>

namespace tvx {

double PlaceOnAxis(uint8_t unit, uint8_t align, double coord, int32_t extent, int32_t size) {
  const double e = extent;
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

double CoordOnAxis(uint8_t unit, uint8_t align, double position, int32_t extent, int32_t size) {
  double pixels;
  switch (align) {
    case haRight: pixels = double(extent) - position - size; break;
    case haCenter: pixels = size / 2 + (position - extent / 2); break;
    default: pixels = position; break;
  }
  if (unit != cuPercent) return pixels;
  return extent == 0 ? 0.0 : pixels * 100 / extent;
}

TRect SafeMakeRect(const TFloatRect& r) {
  static constexpr float kLimit = 1073741824.0f;  // 2^30
  auto clamp = [](float v) { return std::isfinite(v) ? std::clamp(v, -kLimit, kLimit) : 0.0f; };
  return MakeRect(TFloatRect{clamp(r.Left), clamp(r.Top), clamp(r.Right), clamp(r.Bottom)});
}

}  // namespace tvx
