#include <utility>

#include "util/Utils.h"

namespace tvx {

void ResampleBitmap(TBitmap32& bitmap, int32_t newWidth, int32_t newHeight) {
  if (bitmap.Empty() || newWidth < 0 || newHeight < 0 || newWidth > 10000 || newHeight > 10000) return;
  if (newWidth == bitmap.Width() && newHeight == bitmap.Height()) return;
  // The source moves out (no pixel copy); the bitmap keeps its drawing
  // properties and receives the new pixels. The filter streams rows, so the
  // only picture-sized buffers are the source and the result.
  TBitmap32 source = std::move(bitmap);
  bitmap.SetSize(newWidth, newHeight);
  if (bitmap.Empty()) return;
  const TRect all = bitmap.BoundsRect();
  StretchTransfer(bitmap, all, all, source, source.BoundsRect(), sfLanczos, dmOpaque, cmBlend, 255);
}

}  // namespace tvx
