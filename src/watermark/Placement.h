#pragma once

#include <cstdint>

#include "raster/Bitmap32.h"

namespace tvx {

/// Unit of a layer coordinate: pixels, percent of the axis's own extent, or
/// percent of the picture's shorter side (the same distance on both axes).
enum TCoordUnit : uint8_t { cuPixels = 0, cuPercent = 1, cuShorterPercent = 2 };
/// Edge a horizontal coordinate is measured from.
enum THorzAlign : uint8_t { haLeft = 0, haRight = 1, haCenter = 2 };
/// Edge a vertical coordinate is measured from.
enum TVertAlign : uint8_t { vaTop = 0, vaBottom = 1, vaMiddle = 2 };
/// What a layer's size follows. lsFixed keeps the content's own pixel size;
/// the others scale it (keeping its aspect ratio) so that its width, or for
/// lsHeight its height, is SizePercent of that extent of the picture.
/// lsShorterHeight sets the content's height from the shorter side; for a
/// text, its line height (the font's pixel size), which stays however long
/// its macros' values make it and whichever letters it holds.
enum TLayerSizeMode : uint8_t {
  lsFixed = 0,
  lsWidth = 1,
  lsHeight = 2,
  lsShorter = 3,
  lsLonger = 4,
  lsShorterHeight = 5
};
/// Which pictures a layer is drawn on; a square picture counts as landscape.
enum TLayerOrientation : uint8_t { loBoth = 0, loLandscape = 1, loPortrait = 2 };

/// Where the content's leading edge lies along one axis of a picture:
/// extent is the picture's width (or height), size the content's, and
/// otherExtent the picture's other side (for cuShorterPercent). Unknown
/// units and alignments count as pixels and left/top.
double PlaceOnAxis(uint8_t unit, uint8_t align, double coord, int32_t extent, int32_t size,
                   int32_t otherExtent);

/// The inverse of PlaceOnAxis: the coordinate that puts the content's leading
/// edge at position. A percent coordinate on a side of 0 is 0.
double CoordOnAxis(uint8_t unit, uint8_t align, double position, int32_t extent, int32_t size,
                   int32_t otherExtent);

/// MakeRect for rectangles computed from stored coordinates: edges are kept
/// within +-2^30 (so that rounding and the arithmetic that follows cannot
/// overflow, and a layer placed absurdly far away stays off the picture) and
/// an edge that is not a number counts as 0.
TRect SafeMakeRect(const TFloatRect& r);

/// Calls draw(tile) for every tile of a grid that covers (0, 0, width, height),
/// row by row from the top, each row from the left. The grid holds a tile of
/// first's size at first's position and repeats every stepX, stepY pixels
/// (both at least 1); tiles that would lie wholly outside are skipped.
template <typename F>
void ForEachTile(const TRect& first, int64_t stepX, int64_t stepY, int32_t width, int32_t height, F&& draw) {
  if (stepX < 1 || stepY < 1 || first.IsEmpty()) return;
  const int64_t tw = int64_t(first.Right) - first.Left, th = int64_t(first.Bottom) - first.Top;
  // The phase of the grid: the first column whose tile reaches into the picture.
  auto phase = [](int64_t start, int64_t size, int64_t step) {
    if (start > 0) return start - ((start + step - 1) / step) * step;
    if (start + size <= 0) return start + (-(start + size) / step + 1) * step;
    return start;
  };
  const int64_t left0 = phase(first.Left, tw, stepX);
  for (int64_t top = phase(first.Top, th, stepY); top < height; top += stepY)
    for (int64_t left = left0; left < width; left += stepX)
      draw(TRect{int32_t(left), int32_t(top), int32_t(left + tw), int32_t(top + th)});
}

}  // namespace tvx
