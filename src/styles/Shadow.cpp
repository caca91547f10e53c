#include <algorithm>
#include <cmath>
#include <vector>

#include "styles/Blur.h"
#include "styles/Filters.h"
#include "styles/StyleRecords.h"
#include "util/Utils.h"

namespace tvx {

void ShadowApply(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy, const TFilterParams* params) {
  const std::optional<TShadowRecord> record = TShadowRecord::FromParams(params);
  if (!record) return;
  const int32_t ws = source.Width(), hs = source.Height();
  const int32_t wt = target.Width(), ht = target.Height();

  const TColor32 c0 = SetAlpha(Color32(record->Color), 0);
  const double distance = record->Distance, angle = record->Angle;
  const auto ox = static_cast<int32_t>(std::cos(angle) * distance);
  const auto oy = static_cast<int32_t>(std::sin(angle) * distance);
  const int32_t w = record->Size;
  const auto q = static_cast<float>(record->Opacity * 0.01);

  TBitmap32 shadow(ws + 2 * w, hs + 2 * w);
  shadow.Clear(c0);
  shadow.DrawMode = target.DrawMode;
  shadow.CombineMode = target.CombineMode;
  shadow.MasterAlpha = target.MasterAlpha;
  target.DrawMode = dmBlend;
  target.CombineMode = cmMerge;
  target.MasterAlpha = 255;

  // The silhouette, with room for the blur to spread and for the kernel's
  // half width that the blur leaves untouched at the edges.
  const int32_t gridWidth = ws + 4 * w, gridHeight = hs + 4 * w;
  std::vector<int32_t> grid = AlphaToFlatMatrix(source, 2 * w, 2 * w, 2 * w, 2 * w);
  std::vector<int32_t> blurred = BlurGrid(grid, gridWidth, gridHeight, TGKernel(w));
  if (q < 1) {
    const double factor = q;
    for (int32_t& v : blurred) v = static_cast<int32_t>(v * factor);
  }
  SetAlphaFromMatrix(shadow, blurred, gridWidth, w, w);

  // In source coordinates, right and bottom exclusive.
  const TRect t{-dx, -dy, wt - dx, ht - dy};
  const TRect s{ox - w, oy - w, ox - w + ws + 2 * w, oy - w + hs + 2 * w};
  AddMargins(shadow, std::max(0, s.Left - t.Left), std::max(0, s.Top - t.Top), std::max(0, t.Right - s.Right),
             std::max(0, t.Bottom - s.Bottom));
  target.DrawTo(shadow, std::max(0, t.Left - s.Left), std::max(0, t.Top - s.Top));
  target = std::move(shadow);
  if (s.Left < t.Left) dx += t.Left - s.Left;
  if (s.Top < t.Top) dy += t.Top - s.Top;
}

}  // namespace tvx
