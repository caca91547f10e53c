#include "raster/Rotate.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace tvx {
namespace {

// Whole turns (and what is not a number) are no rotation at all.
bool IsTurn(double degrees) { return !std::isfinite(degrees) || std::fmod(degrees, 360.0) == 0; }

}  // namespace

void RotatedMargins(int32_t width, int32_t height, double degrees, int32_t& marginX, int32_t& marginY) {
  marginX = marginY = 0;
  if (width <= 0 || height <= 0 || IsTurn(degrees)) return;
  const double t = degrees * std::numbers::pi / 180;
  const double c = std::abs(std::cos(t)), s = std::abs(std::sin(t));
  const double w = width * c + height * s, h = width * s + height * c;
  // One pixel more for the half pixel of edge that bilinear sampling spreads.
  // Negative when the turned content is narrower (a quarter turn of a wide bitmap).
  marginX = int32_t(std::ceil((w - width) / 2 - 1e-9)) + 1;
  marginY = int32_t(std::ceil((h - height) / 2 - 1e-9)) + 1;
}

void RotateBitmap(TBitmap32& bitmap, double degrees, int32_t& marginX, int32_t& marginY) {
  RotatedMargins(bitmap.Width(), bitmap.Height(), degrees, marginX, marginY);
  if (bitmap.Empty() || IsTurn(degrees)) return;
  const int32_t sw = bitmap.Width(), sh = bitmap.Height();
  const int64_t dw64 = int64_t(sw) + 2 * int64_t(marginX), dh64 = int64_t(sh) + 2 * int64_t(marginY);
  if (dw64 > 32767 * 2 || dh64 > 32767 * 2 || dw64 * dh64 > (int64_t(1) << 28)) {
    marginX = marginY = 0;  // beyond any layer the program draws: left as it is
    return;
  }
  const auto dw = int32_t(dw64), dh = int32_t(dh64);

  // Alpha-weighted (premultiplied) copy with a transparent border of one
  // pixel, so that sampling needs no bounds checks.
  const int32_t pw = sw + 2;
  std::vector<float> pre(size_t(pw) * size_t(sh + 2) * 4, 0.0f);
  for (int32_t y = 0; y < sh; ++y) {
    const TColor32* row = bitmap.ScanLine(y);
    float* out = &pre[(size_t(y + 1) * pw + 1) * 4];
    for (int32_t x = 0; x < sw; ++x, out += 4) {
      const TColor32 c = row[x];
      const float a = float(c >> 24) / 255.0f;
      out[0] = a;
      out[1] = float((c >> 16) & 0xFF) * a;
      out[2] = float((c >> 8) & 0xFF) * a;
      out[3] = float(c & 0xFF) * a;
    }
  }

  const double t = degrees * std::numbers::pi / 180;
  const double cs = std::cos(t), sn = std::sin(t);
  const double scx = sw / 2.0, scy = sh / 2.0, dcx = dw / 2.0, dcy = dh / 2.0;
  TBitmap32 result(dw, dh);
  result.DrawMode = bitmap.DrawMode;
  result.CombineMode = bitmap.CombineMode;
  result.MasterAlpha = bitmap.MasterAlpha;
  result.StretchFilter = bitmap.StretchFilter;
  for (int32_t y = 0; y < dh; ++y) {
    TColor32* out = result.ScanLine(y);
    const double ry = y + 0.5 - dcy;
    for (int32_t x = 0; x < dw; ++x) {
      const double rx = x + 0.5 - dcx;
      // The inverse turn: where this pixel's centre came from (in the padded
      // copy, pixel centres at whole numbers).
      const double sx = cs * rx + sn * ry + scx - 0.5 + 1;
      const double sy = -sn * rx + cs * ry + scy - 0.5 + 1;
      if (!(sx > -1 && sy > -1 && sx < pw && sy < sh + 2)) {
        out[x] = 0;
        continue;
      }
      const double fx0 = std::floor(sx), fy0 = std::floor(sy);
      const auto x0 = int32_t(fx0), y0 = int32_t(fy0);
      const float fx = float(sx - fx0), fy = float(sy - fy0);
      float acc[4] = {0, 0, 0, 0};
      const float weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
      const int32_t xs[4] = {x0, x0 + 1, x0, x0 + 1}, ys[4] = {y0, y0, y0 + 1, y0 + 1};
      for (int k = 0; k < 4; ++k) {
        if (xs[k] < 0 || ys[k] < 0 || xs[k] >= pw || ys[k] >= sh + 2 || weights[k] == 0) continue;
        const float* p = &pre[(size_t(ys[k]) * pw + size_t(xs[k])) * 4];
        for (int ch = 0; ch < 4; ++ch) acc[ch] += p[ch] * weights[k];
      }
      const float alpha = acc[0] * 255.0f;
      const auto a = uint32_t(std::clamp(std::lround(alpha), 0L, 255L));
      if (a == 0) {
        out[x] = 0;
        continue;
      }
      auto channel = [&](float v) { return uint32_t(std::clamp(std::lround(v / acc[0]), 0L, 255L)); };
      out[x] = a << 24 | channel(acc[1]) << 16 | channel(acc[2]) << 8 | channel(acc[3]);
    }
  }
  bitmap = std::move(result);
}

}  // namespace tvx
