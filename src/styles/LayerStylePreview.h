#pragma once

#include <cstdint>

#include "raster/Bitmap32.h"
#include "styles/FilterParams.h"

namespace tvx {

/// The layer style dialog's preview: a style run on a grey square, drawn
/// centred on a light grey output square so that effects reaching beyond
/// it are clipped. Not thread-safe.
class TLayerStylePreview {
 public:
  static constexpr int32_t SourceSize = 40;
  static constexpr TColor32 SourceColor = 0xFF7F7F7Fu;
  static constexpr TColor32 BackgroundColor = 0xFFBFBFBFu;
  /// The side of the dialog's preview square.
  static constexpr int32_t OutputSize = 79;

  TLayerStylePreview();

  /// Copies params, renders them on the grey square and draws the result
  /// onto output, which becomes size x size.
  void Update(TBitmap32& output, int32_t size, const TFiltersParams& params);

  const TFiltersParams& Params() const { return params_; }
  const TBitmap32& Source() const { return source_; }
  /// The square with the style, and where the square lies inside it.
  const TBitmap32& Target() const { return target_; }
  int32_t Dx() const { return dx_; }
  int32_t Dy() const { return dy_; }

 private:
  void Render();
  void Draw(TBitmap32& output, int32_t size) const;

  TBitmap32 source_;
  TBitmap32 target_;
  int32_t dx_ = 0, dy_ = 0;
  TFiltersParams params_;
};

/// A layer's content with a style, as the layer draws it but without its
/// noise: the style run over a copy of source, drawn with dmBlend, cmMerge
/// and the given master alpha (the layer's opacity). Dx, Dy: where source's
/// top-left pixel lies inside Bitmap.
struct TStyledLayer {
  TBitmap32 Bitmap;
  int32_t Dx = 0, Dy = 0;
};
TStyledLayer RenderStyledLayer(const TBitmap32& source, const TFiltersParams& params,
                               uint8_t masterAlpha = 255);

}  // namespace tvx
