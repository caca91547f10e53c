#include <algorithm>
#include <vector>

#include "styles/Filters.h"
#include "styles/StyleRecords.h"
#include "util/Utils.h"

namespace tvx {
namespace {

// Every brush copy writes the same opaque colour with dmOpaque, so the stroke
// layer ends up as that colour on the union of the brush squares. The union
// is found from the squares' top-left corners with two running passes,
// O(pixels) whatever the brush size, instead of filling s x s pixels per copy.
class TBrushMarks {
 public:
  TBrushMarks(int32_t width, int32_t height, int32_t size)
      : width_(width), height_(height), size_(size), stride_(width + size),
        marks_(static_cast<size_t>(width + size) * (height + size), 0) {}

  // Corners are kept shifted by the size, so squares that start left of or
  // above the layer and reach into it still count.
  void Mark(int32_t left, int32_t top) {
    if (left <= -size_ || top <= -size_ || left >= width_ || top >= height_) return;
    marks_[static_cast<size_t>(top + size_) * stride_ + left + size_] = 1;
  }

  void Paint(TBitmap32& layer, TColor32 color) const {
    // across: does a corner lie in (x - size, x] on this row?
    std::vector<uint8_t> across(static_cast<size_t>(height_ + size_) * width_, 0);
    for (int32_t row = 0; row < height_ + size_; ++row) {
      const uint8_t* marks = marks_.data() + static_cast<size_t>(row) * stride_;
      uint8_t* out = across.data() + static_cast<size_t>(row) * width_;
      int64_t last = INT32_MIN;
      for (int32_t column = 0; column < stride_; ++column) {
        if (marks[column]) last = column;
        if (column >= size_) out[column - size_] = column - last < size_;
      }
    }
    // down: does such a row lie in (y - size, y]?
    std::vector<int64_t> last(static_cast<size_t>(width_), INT32_MIN);
    for (int32_t row = 0; row < height_ + size_; ++row) {
      const uint8_t* in = across.data() + static_cast<size_t>(row) * width_;
      TColor32* out = row >= size_ ? layer.ScanLine(row - size_) : nullptr;
      for (int32_t x = 0; x < width_; ++x) {
        if (in[x]) last[x] = row;
        if (out && row - last[x] < size_) out[x] = color;
      }
    }
  }

 private:
  int32_t width_, height_, size_, stride_;
  std::vector<uint8_t> marks_;
};

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
  TBrushMarks brushes(layer.Width(), layer.Height(), s);

  for (int32_t y = 0; y < hs; ++y) {
    for (int32_t x = 0; x < ws; ++x) {
      const int32_t* cell = grid.data() + static_cast<size_t>(y + 1) * stride + (x + 1);
      if (*cell != 255) continue;
      if (!outside) {
        int32_t open = 0;
        for (const auto& o : offsets) open += cell[o[1] * stride + o[0]] <= openLimit;
        if (open < 2) continue;
        brushes.Mark(x + dx - h, y + dy - h);
        if (s > 1) ++x;  // the brush covers the next pixel of the row
      } else {
        for (const auto& o : offsets) {
          if (cell[o[1] * stride + o[0]] > openLimit) continue;
          brushes.Mark(x + o[0] + dx - h, y + o[1] + dy - h);
        }
      }
    }
  }
  brushes.Paint(layer, c);
  layer.DrawTo(target, 0, 0);
}

}  // namespace tvx
