#pragma once

#include <cstdint>

namespace tvx {

/// A point in whole pixels.
struct TDialPoint {
  int32_t X = 0, Y = 0;
  friend bool operator==(const TDialPoint&, const TDialPoint&) = default;
};

/// The angle pointed at by (x, y) on a dial of width x height pixels, in
/// radians clockwise from the positive x axis (y grows downward):
/// atan2(y - height div 2, x - width div 2), so within -pi..pi.
float AngleFromPoint(int32_t x, int32_t y, int32_t width, int32_t height);

/// The end of the dial's needle relative to the centre:
/// (trunc(cos(angle) * r), trunc(sin(angle) * r)) with r = height / 2, where
/// a product within 1e-4 of a whole number is taken as that number (float
/// angles such as pi/2 are not exact).
TDialPoint AngleLineEnd(float angle, int32_t height);

/// angle turned by the given number of degrees (positive clockwise) and
/// brought back into -pi..pi, the range that pointing gives.
float StepAngle(float angle, int32_t degrees);

}  // namespace tvx
