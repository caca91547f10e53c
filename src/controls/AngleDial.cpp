#include "controls/AngleDial.h"

#include <cmath>
#include <numbers>

namespace tvx {

float AngleFromPoint(int32_t x, int32_t y, int32_t width, int32_t height) {
  const int32_t cx = width / 2, cy = height / 2;
  return static_cast<float>(std::atan2(static_cast<double>(y) - cy, static_cast<double>(x) - cx));
}

namespace {

// Truncates toward zero, but a value a hair below a whole number (sin of
// the float nearest pi/2 is 0.99999999...) counts as that number, so the
// needle is as long pointing down as pointing right.
int32_t Truncate(double v) {
  const double whole = std::nearbyint(v);
  return static_cast<int32_t>(std::fabs(v - whole) < 1e-4 ? whole : std::trunc(v));
}

}  // namespace

TDialPoint AngleLineEnd(float angle, int32_t height) {
  const double r = height / 2.0;
  return TDialPoint{Truncate(std::cos(double{angle}) * r), Truncate(std::sin(double{angle}) * r)};
}

float StepAngle(float angle, int32_t degrees) {
  if (!std::isfinite(angle)) angle = 0;
  double a = std::remainder(double{angle} + degrees * std::numbers::pi / 180, 2 * std::numbers::pi);
  // remainder gives -pi..pi; pointing straight left gives +pi, so prefer it
  if (a <= -std::numbers::pi) a = std::numbers::pi;
  return static_cast<float>(a);
}

}  // namespace tvx
