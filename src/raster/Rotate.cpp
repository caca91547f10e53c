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

  // A copy with a transparent border of one pixel, so that sampling needs
  // no bounds checks; colours are weighted by alpha as they are sampled.
  const int32_t pw = sw + 2;
  std::vector<TColor32> padded(size_t(pw) * size_t(sh + 2), 0);
  for (int32_t y = 0; y < sh; ++y)
    std::copy(bitmap.ScanLine(y), bitmap.ScanLine(y) + sw, &padded[size_t(y + 1) * pw + 1]);

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
    // Where pixel x's centre came from in the padded copy (pixel centres at
    // whole numbers), by the inverse turn: sx = ax * x + bx, sy = ay * x + by.
    const double ax = cs, bx = cs * (0.5 - dcx) + sn * ry + scx + 0.5;
    const double ay = -sn, by = -sn * (0.5 - dcx) + cs * ry + scy + 0.5;
    // Only the part of the row that the turned bitmap covers is sampled
    // (most of a turned text's bounds is empty): the positions whose four
    // neighbours all lie in the padded copy; the others fall on its
    // transparent border or beyond.
    int32_t first = 0, last = dw;
    ClipLinear(ax, bx, 0, pw - 1, dw, first, last);
    ClipLinear(ay, by, 0, sh + 1, dw, first, last);
    for (int32_t x = first; x < last; ++x) {
      const double sx = ax * x + bx, sy = ay * x + by;
      if (!(sx >= 0 && sy >= 0 && sx < pw - 1 && sy < sh + 1)) continue;
      const auto x0 = int32_t(sx), y0 = int32_t(sy);
      const float fx = float(sx - x0), fy = float(sy - y0);
      const TColor32* p0 = &padded[size_t(y0) * pw + size_t(x0)];
      const TColor32* p1 = p0 + pw;
      const TColor32 taps[4] = {p0[0], p0[1], p1[0], p1[1]};
      if ((taps[0] | taps[1] | taps[2] | taps[3]) >> 24 == 0) continue;  // nothing to weigh
      const float weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
      float a = 0, r = 0, g = 0, b = 0;
      for (int k = 0; k < 4; ++k) {
        const float w = weights[k] * float(taps[k] >> 24);
        a += w;
        r += w * float((taps[k] >> 16) & 0xFF);
        g += w * float((taps[k] >> 8) & 0xFF);
        b += w * float(taps[k] & 0xFF);
      }
      if (a < 0.5f) continue;
      const float scale = 1.0f / a;
      auto channel = [scale](float v) { return uint32_t(std::min(v * scale + 0.5f, 255.0f)); };
      out[x] = uint32_t(std::min(a + 0.5f, 255.0f)) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
    }
  }
  bitmap = std::move(result);
}

}  // namespace tvx
