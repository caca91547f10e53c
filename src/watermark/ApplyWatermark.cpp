#include "watermark/ApplyWatermark.h"

#include "watermark/BaseLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {

void SetPictureParameters(TLayerCollection& layers, const TExifParameters* picture) {
  for (int i = 0; i < layers.Count(); ++i)
    if (auto* text = dynamic_cast<TTextLayer*>(&layers.Items(i))) text->PictureParameters = picture;
}

void RefreshMacroLayers(TLayerCollection& layers) {
  for (int i = 0; i < layers.Count(); ++i)
    if (auto* layer = dynamic_cast<TBaseLayer*>(&layers.Items(i)); layer && layer->HasMacros())
      layer->RefreshContent();
}

void DrawWatermark(const TLayerCollection& layers, TBitmap32& target, double scale) {
  for (int i = 0; i < layers.Count(); ++i) {
    const auto* layer = dynamic_cast<const TBaseLayer*>(&layers.Items(i));
    if (layer && layer->Visible()) layer->DrawOnto(target, scale);
  }
}

void DrawWatermarkWindow(const TLayerCollection& layers, TBitmap32& window, int32_t left, int32_t top, int32_t width,
                         int32_t height) {
  for (int i = 0; i < layers.Count(); ++i) {
    const auto* layer = dynamic_cast<const TBaseLayer*>(&layers.Items(i));
    if (layer && layer->Visible()) layer->DrawOntoWindow(window, left, top, width, height);
  }
}

std::vector<TRect> WatermarkChangedRects(const TLayerCollection& layers, int32_t width, int32_t height) {
  std::vector<TRect> rects;
  for (int i = 0; i < layers.Count(); ++i) {
    const auto* layer = dynamic_cast<const TBaseLayer*>(&layers.Items(i));
    if (layer && layer->Visible()) layer->ChangedRects(width, height, rects);
  }
  return rects;
}

}  // namespace tvx
