#pragma once

#include <cstdint>
#include <vector>

namespace tvx {

/// One intermediate colour stop. Positions outside 0..1 never take part in a lookup.
struct TGradColor {
  uint32_t Color = 0;  ///< system colour value 0x00BBGGRR
  float Position = 0;
  friend bool operator==(const TGradColor&, const TGradColor&) = default;
};

enum TGradientType : uint8_t { gtLinear = 0, gtReflected = 1, gtRadial = 2 };

/// A colour gradient: start and end colour, unsorted intermediate stops, a
/// type and an angle (radians) with the values derived from it. Value type.
class TGradient {
 public:
  TGradient() { SetAngle(0); }

  uint32_t StartColor = 0x000000;
  std::vector<TGradColor> Stops;  ///< in the order they were added
  uint32_t EndColor = 0xFFFFFF;
  uint8_t Type = gtLinear;  ///< TGradientType; other values colour everything with the start colour

  /// Stores the angle and recomputes the cached direction values.
  void SetAngle(float angle);
  float Angle() const { return angle_; }

  /// The colour (0x00BBGGRR) at position x along the gradient.
  uint32_t ColorAt(float x) const;
  /// The colour of a point in relative coordinates (column / width, row / height).
  uint32_t ColorAtPoint(float a, float b) const;
  /// The same gradient running the other way.
  TGradient Reversed() const;

  // Cached by SetAngle: the direction scaled so that its larger component is
  // +-1 (P, Q), the stretch L = 1 / max(|sin|, |cos|), K = 1 / L and K2 = K * K.
  float SinA() const { return sinA_; }
  float CosA() const { return cosA_; }
  float L() const { return l_; }
  float K() const { return k_; }
  float K2() const { return k2_; }
  float P() const { return p_; }
  float Q() const { return q_; }

  friend bool operator==(const TGradient&, const TGradient&) = default;

 private:
  float angle_ = 0;
  float sinA_ = 0, cosA_ = 1, l_ = 1, k_ = 1, k2_ = 1, p_ = 1, q_ = 0;
};

}  // namespace tvx
