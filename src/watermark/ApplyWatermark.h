#pragma once

#include <cstdint>
#include <vector>

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

/// DrawWatermark at scale 1.0 onto a window of a picture of width x height:
/// `window` shows the picture from (left, top) on, and its pixels come out
/// exactly as the same pixels of the whole picture would. Lets a plug-in
/// redraw only the part of a picture that the watermark covers.
void DrawWatermarkWindow(const TLayerCollection& layers, TBitmap32& window, int32_t left, int32_t top, int32_t width,
                         int32_t height);

/// The rectangles outside which DrawWatermark at scale 1.0 changes no pixel
/// of a picture of width x height (each within the picture; they may overlap).
std::vector<TRect> WatermarkChangedRects(const TLayerCollection& layers, int32_t width, int32_t height);

}  // namespace tvx
