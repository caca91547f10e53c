#include "styles/Gradient.h"

#include <cmath>

namespace tvx {

void TGradient::SetAngle(float angle) {
  angle_ = angle;
  const double theta = angle;
  sinA_ = static_cast<float>(std::sin(theta));
  cosA_ = static_cast<float>(std::cos(theta));
  constexpr double quarter = 0.785398163397448, threeQuarters = 2.356194490192345;
  const bool steep = (quarter < theta && theta < threeQuarters) || (quarter < -theta && -theta < threeQuarters);
  float l = steep ? 1.0f / sinA_ : 1.0f / cosA_;
  if (l < 0) l = -l;
  l_ = l;
  k_ = 1.0f / l_;
  k2_ = k_ * k_;
  p_ = cosA_ * l_;
  q_ = sinA_ * l_;
}

uint32_t TGradient::ColorAt(float x) const {
  if (!(x >= 0)) return StartColor;  // also NaN
  if (x > 1) return Type == gtLinear ? EndColor : StartColor;
  if (Type == gtReflected || Type == gtRadial) x = x <= 0.5f ? static_cast<float>(2.0 * x) : static_cast<float>(2.0 - 2.0 * x);

  float lowerPos = 0, upperPos = 1;
  uint32_t lower = StartColor, upper = EndColor;
  for (const TGradColor& stop : Stops) {
    if (stop.Position == x) return stop.Color;
    if (lowerPos < stop.Position && stop.Position < x) {
      lowerPos = stop.Position;
      lower = stop.Color;
    } else if (x < stop.Position && stop.Position < upperPos) {
      upperPos = stop.Position;
      upper = stop.Color;
    }
  }
  const auto e = static_cast<double>(static_cast<float>((double(x) - lowerPos) / (double(upperPos) - lowerPos)));
  uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int lo = (lower >> shift) & 0xFF, hi = (upper >> shift) & 0xFF;
    result |= static_cast<uint32_t>(static_cast<int>(lo + (hi - lo) * e)) << shift;
  }
  return result;
}

uint32_t TGradient::ColorAtPoint(float a, float b) const {
  switch (Type) {
    case gtLinear:
    case gtReflected: {
      const auto u = static_cast<float>(a - (0.5 - 0.5 * double(p_)));
      const auto v = static_cast<float>(b - (0.5 - 0.5 * double(q_)));
      return ColorAt(static_cast<float>((double(u) * p_ + double(v) * q_) * k2_));
    }
    case gtRadial: {
      const auto u = static_cast<float>(a - 0.5), v = static_cast<float>(b - 0.5);
      return ColorAt(static_cast<float>(0.5 - double(u) * u - double(v) * v));
    }
    default:
      return StartColor;
  }
}

TGradient TGradient::Reversed() const {
  TGradient result;
  result.Type = Type;
  result.SetAngle(angle_);
  result.StartColor = EndColor;
  result.EndColor = StartColor;
  result.Stops.reserve(Stops.size());
  for (const TGradColor& stop : Stops)
    result.Stops.push_back(TGradColor{stop.Color, static_cast<float>(1.0 - stop.Position)});
  return result;
}

}  // namespace tvx
