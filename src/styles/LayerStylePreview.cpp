#include "styles/LayerStylePreview.h"

namespace tvx {

TLayerStylePreview::TLayerStylePreview() {
  source_.SetSize(SourceSize, SourceSize);
  source_.Clear(SourceColor);
  source_.DrawMode = dmBlend;
  source_.CombineMode = cmBlend;
}

void TLayerStylePreview::Update(TBitmap32& output, int32_t size, const TFiltersParams& params) {
  params_ = params;
  Render();
  Draw(output, size);
}

void TLayerStylePreview::Render() {
  target_ = source_;  // pixels and drawing modes
  dx_ = dy_ = 0;
  ApplyStyles(source_, target_, dx_, dy_, params_);
}

void TLayerStylePreview::Draw(TBitmap32& output, int32_t size) const {
  output.SetSize(size, size);
  output.Clear(BackgroundColor);
  const int32_t origin = (size - SourceSize) / 2;
  // the target's own modes: the source's unless a filter changed them
  target_.DrawTo(output, origin - dx_, origin - dy_);
}

TStyledLayer RenderStyledLayer(const TBitmap32& source, const TFiltersParams& params, uint8_t masterAlpha) {
  TStyledLayer result;
  result.Bitmap = source;
  ApplyStyles(source, result.Bitmap, result.Dx, result.Dy, params);
  result.Bitmap.DrawMode = dmBlend;
  result.Bitmap.CombineMode = cmMerge;
  result.Bitmap.MasterAlpha = masterAlpha;
  return result;
}

}  // namespace tvx
