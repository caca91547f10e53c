#include <algorithm>
#include <vector>

#include "styles/Filters.h"
#include "styles/StyleRecords.h"
#include "util/Utils.h"

namespace tvx {
namespace {

// A brush is an s x s square of one opaque colour copied with dmOpaque, so
// copying it is filling its rectangle, clipped to the layer.
void FillSquare(TBitmap32& layer, int32_t left, int32_t top, int32_t size, TColor32 color) {
  const int32_t x0 = std::max(left, 0), x1 = std::min(left + size, layer.Width());
  const int32_t y0 = std::max(top, 0), y1 = std::min(top + size, layer.Height());
  for (int32_t y = y0; y < y1; ++y) std::fill(layer.ScanLine(y) + x0, layer.ScanLine(y) + x1, color);
}

}  // namespace

void StrokeApply(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy, const TFilterParams* params) {
  const std::optional<TStrokeRecord> record = TStrokeRecord::FromParams(params);
  if (!record) return;
  const TColor32 c = Color32(record->Color);
  const int32_t s = record->Size, h = s / 2;
  const bool outside = record->Position == spOutside;
  const int32_t ws = source.Width(), hs = source.Height();

  // Grow target so that a brush around any source pixel fits.
  const int32_t g = outside ? s : h;
  const int32_t left = dx, top = dy;
  const int32_t right = target.Width() - ws - dx, bottom = target.Height() - hs - dy;
  const int32_t growLeft = std::max(0, g - left), growTop = std::max(0, g - top);
  AddMargins(target, growLeft, growTop, std::max(0, g - right), std::max(0, g - bottom));
  dx += growLeft;
  dy += growTop;

  TBitmap32 layer(target.Width(), target.Height());
  layer.Clear(0);
  layer.DrawMode = dmBlend;
  layer.CombineMode = cmBlend;
  // formed in double precision: 100 % gives 254
  layer.MasterAlpha = static_cast<uint8_t>(record->Opacity * 2.55);

  // The source's alpha with a margin of one, so every pixel has eight neighbours.
  const std::vector<int32_t> grid = AlphaToFlatMatrix(source, 1, 1, 1, 1);
  const int32_t stride = ws + 2;
  static constexpr int32_t offsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
  constexpr int32_t openLimit = 255 - 10;

  for (int32_t y = 0; y < hs; ++y) {
    for (int32_t x = 0; x < ws; ++x) {
      const int32_t* cell = grid.data() + static_cast<size_t>(y + 1) * stride + (x + 1);
      if (*cell != 255) continue;
      if (!outside) {
        int32_t open = 0;
        for (const auto& o : offsets) open += cell[o[1] * stride + o[0]] <= openLimit;
        if (open < 2) continue;
        if (s == 1) {
          layer.Pixel(x + dx, y + dy) = c;
        } else {
          FillSquare(layer, x + dx - h, y + dy - h, s, c);
          ++x;  // the brush covers the next pixel of the row
        }
      } else {
        for (const auto& o : offsets) {
          if (cell[o[1] * stride + o[0]] > openLimit) continue;
          if (s == 1)
            layer.Pixel(x + o[0] + dx, y + o[1] + dy) = c;
          else
            FillSquare(layer, x + o[0] + dx - h, y + o[1] + dy - h, s, c);
        }
      }
    }
  }
  layer.DrawTo(target, 0, 0);
}

}  // namespace tvx
