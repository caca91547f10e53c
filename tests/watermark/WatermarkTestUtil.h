#pragma once

#include <string>
#include <vector>

#include "util/Stream.h"
#include "watermark/BitmapLayer.h"

namespace tvx::test {

/// A picture layer of w x h pixels of one colour, rendered.
inline TBitmapLayer* AddPictureLayer(TLayerCollection& layers, int w, int h, TColor32 color) {
  auto* layer = &layers.Add<TBitmapLayer>();
  layer->BeginUpdate();
  layer->SourceBitmap().SetSize(w, h);
  layer->SourceBitmap().Clear(color);
  layer->EndUpdate();
  return layer;
}

inline std::string Bytes(const TMemoryStream& s) {
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

inline std::vector<TColor32> Pixels(const TBitmap32& b) {
  return std::vector<TColor32>(b.Bits(), b.Bits() + size_t(b.Width()) * b.Height());
}

/// Runs f and returns the error message it raised ("" when none).
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace tvx::test
