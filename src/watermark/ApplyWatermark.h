#pragma once

#include "imageio/FilePlugin.h"
#include "raster/Bitmap32.h"
#include "raster/Layers.h"

namespace tvx {

/// Points every text layer of the collection at the picture parameters its
/// macros expand from (not owned; null for none).
void SetPictureParameters(TLayerCollection& layers, const TExifParameters* picture);

/// Lets every layer whose content depends on the picture render again.
void RefreshMacroLayers(TLayerCollection& layers);

/// Draws every visible watermark layer onto the picture, index 0 first, so
/// later layers cover earlier ones. Hidden layers are left out, as the
/// preview leaves them out. scale is 1.0 for output pictures.
void DrawWatermark(const TLayerCollection& layers, TBitmap32& target, double scale = 1.0);

}  // namespace tvx
