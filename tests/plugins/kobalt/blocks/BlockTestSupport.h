#pragma once

// Pictures and painters for the tests of the block-keeping path: JPEGs made
// by libjpeg with chosen sampling, restart markers, table optimisation and
// progression; their coefficients read back by libjpeg; a painter that draws
// a pattern into upright rectangles.

#include <cstdint>
#include <string>
#include <vector>

#include "Codecs.h"
#include "imageio/FileRegions.h"

namespace kobalt::test {

using TBytes = std::vector<uint8_t>;

/// A photo-like picture (gradients, edges, grain), deterministic.
TImage PhotoPicture(int width, int height, int seed);

struct TJpegOptions {
  int Quality = 90;
  int LumaH = 2, LumaV = 2;  ///< sampling of the first component (the others 1 x 1)
  bool Grey = false;
  int RestartMcus = 0;
  bool Optimize = false;
  bool Progressive = false;
};
/// Encodes straight with libjpeg (not through the code under test).
TBytes EncodeJpeg(const TImage& picture, const TJpegOptions& options);
/// The JPEG with an EXIF block holding only the orientation, after SOI.
TBytes WithOrientation(const TBytes& jpeg, int orientation);

/// A picture's coefficients as libjpeg reads them.
struct TCoefficients {
  int Components = 0;
  std::vector<int> H, V, BlocksWide, BlocksHigh;  ///< blocks as libjpeg stores them
  std::vector<std::vector<int16_t>> Blocks;       ///< per component, 64 per block, natural order
  int Warnings = 0;                               ///< libjpeg's warnings (corrupt data) while reading
  bool Ok = false;
};
TCoefficients ReadCoefficients(const TBytes& jpeg);

/// Where an upright pixel lies in the stored picture (width x height stored).
void StoredPoint(int orientation, int width, int height, int u, int v, int& x, int& y);

/// Paints a blended pattern (two colours, or two greys) into upright
/// rectangles; counts its calls.
class TRectPainter final : public tvx::TRegionPainter {
 public:
  explicit TRectPainter(std::vector<tvx::TPictureRect> rects, bool grey = false)
      : rects_(std::move(rects)), grey_(grey) {}
  void ChangedRegions(int32_t width, int32_t height, std::vector<tvx::TPictureRect>& regions) override;
  bool PaintWindow(tvx::TColor32* pixels, int32_t left, int32_t top, int32_t windowWidth,
                   int32_t windowHeight, int32_t width, int32_t height) override;
  /// Paints a whole upright picture as the windows are painted.
  void PaintAll(TImage& upright);

  int Windows = 0;
  bool Fail = false;  ///< PaintWindow reports failure

 private:
  std::vector<tvx::TPictureRect> rects_;
  bool grey_;
};

}  // namespace kobalt::test
