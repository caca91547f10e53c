#include "raster/Rotate.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace tvx {
namespace {

// The x of [0, count) for which lo < a * x + b < hi, as [first, last).
void ClipLinear(double a, double b, double lo, double hi, int32_t count, int32_t& first, int32_t& last) {
  if (a == 0) {
    if (!(b > lo && b < hi)) first = last = 0;
    return;
  }
  double x0 = (lo - b) / a, x1 = (hi - b) / a;
  if (x0 > x1) std::swap(x0, x1);
  // One pixel of slack each way: the per-pixel test still decides.
  first = std::max(first, int32_t(std::clamp(std::floor(x0) - 1, 0.0, double(count))));
  last = std::min(last, int32_t(std::clamp(std::ceil(x1) + 1, 0.0, double(count))));
}

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
  result.Clear(0);
  for (int32_t y = 0; y < dh; ++y) {
    TColor32* out = result.ScanLine(y);
    const double ry = y + 0.5 - dcy;
    // Only the part of the row that the turned bitmap covers is sampled
    // (most of a turned text's bounds is empty).
    int32_t first = 0, last = dw;
    // Sample positions whose four neighbours all lie in the padded copy;
    // the others fall on its transparent border or beyond: transparent.
    ClipLinear(cs, cs * (0.5 - dcx) + sn * ry + scx + 0.5, 0, pw - 1, dw, first, last);
    ClipLinear(-sn, -sn * (0.5 - dcx) + cs * ry + scy + 0.5, 0, sh + 1, dw, first, last);
    for (int32_t x = first; x < last; ++x) {
      const double rx = x + 0.5 - dcx;
      // The inverse turn: where this pixel's centre came from (in the padded
      // copy, pixel centres at whole numbers).
      const double sx = cs * rx + sn * ry + scx - 0.5 + 1;
      const double sy = -sn * rx + cs * ry + scy - 0.5 + 1;
      if (!(sx >= 0 && sy >= 0 && sx < pw - 1 && sy < sh + 1)) continue;
      const auto x0 = int32_t(sx), y0 = int32_t(sy);
      const float fx = float(sx - x0), fy = float(sy - y0);
      const float w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
      const float* p00 = &pre[(size_t(y0) * pw + size_t(x0)) * 4];
      const float* p01 = p00 + size_t(pw) * 4;
      float acc[4];
      for (int ch = 0; ch < 4; ++ch)
        acc[ch] = p00[ch] * w00 + p00[ch + 4] * w10 + p01[ch] * w01 + p01[ch + 4] * w11;
      const float alpha = acc[0] * 255.0f;
      if (alpha < 0.5f) continue;
      const auto a = uint32_t(std::min(alpha + 0.5f, 255.0f));
      const float scale = 1.0f / acc[0];
      auto channel = [scale](float v) { return uint32_t(std::clamp(v * scale + 0.5f, 0.0f, 255.0f)); };
      out[x] = a << 24 | channel(acc[1]) << 16 | channel(acc[2]) << 8 | channel(acc[3]);
    }
  }
  bitmap = std::move(result);
}

}  // namespace tvx
