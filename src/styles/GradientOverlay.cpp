#include "styles/Filters.h"
#include "styles/StyleRecords.h"

namespace tvx {

void GradientApply(const TBitmap32&, TBitmap32& target, int32_t&, int32_t&, const TFilterParams* params) {
  if (!params) return;
  const TGradient gradient = TGradRecord::FromParams(params);
  const int32_t width = target.Width(), height = target.Height();
  for (int32_t y = 0; y < height; ++y) {
    const auto b = static_cast<float>(static_cast<double>(y) / height);
    TColor32* row = target.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      const TColor32 c = Color32(gradient.ColorAtPoint(static_cast<float>(static_cast<double>(x) / width), b));
      row[x] = SetAlpha(c, AlphaOf(row[x]));
    }
  }
}

}  // namespace tvx
