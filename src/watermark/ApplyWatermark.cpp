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

}  // namespace tvx
