#pragma once

#include <cmath>
#include <cstdint>

#include "raster/Bitmap32.h"

namespace tvx::bench {

/// A photo-like opaque picture: smooth shading, a few hard edges and fine
/// grain, so that no filter gets to skip flat areas.
inline TBitmap32 SyntheticPhoto(int32_t w, int32_t h) {
  TBitmap32 b(w, h);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < h; ++y) {
    TColor32* row = b.ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
      const double sky = 90 + 120 * v + 30 * std::sin(u * 9 + v * 4);
      const bool hill = v > 0.55 + 0.1 * std::sin(u * 13);
      int r = static_cast<int>(hill ? 60 + 40 * std::sin(x * 0.05) : sky * 0.6) + grain;
      int g = static_cast<int>(hill ? 110 + 50 * std::cos(y * 0.07) : sky * 0.8) + grain;
      int bl = static_cast<int>(hill ? 40 + 20 * u : sky) + grain;
      auto clamp = [](int c) { return static_cast<uint8_t>(c < 0 ? 0 : c > 255 ? 255 : c); };
      row[x] = ARGB(255, clamp(r), clamp(g), clamp(bl));
    }
  }
  return b;
}

/// A watermark-like layer: transparent background, opaque glyph-like blocks
/// with soft (partially transparent) edges.
inline TBitmap32 SyntheticLayer(int32_t w, int32_t h) {
  TBitmap32 b(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int cx = x % 80, cy = y % 100;
      const int d = std::min(std::min(cx, 60 - cx), std::min(cy, 80 - cy));  // distance into a block
      const uint8_t a = d < 0 ? 0 : d >= 4 ? 255 : static_cast<uint8_t>(d * 64);
      b.Pixel(x, y) = ARGB(a, 250, 250, static_cast<uint8_t>(x));
    }
  return b;
}

}  // namespace tvx::bench
