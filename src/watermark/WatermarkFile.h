#pragma once

#include <string>

#include "util/Stream.h"
#include "raster/Layers.h"
#include "imageio/WatermarkExif.h"

namespace tvx {

/// Empties the collection (destroying its layers) and resets the EXIF
/// settings to their defaults: a new, empty watermark.
void ResetWatermark(TLayerCollection& layers, Watermark::TWatermarkExif& exif);

/// Resets, then reads the watermark file if it exists. A missing file, or one
/// that does not begin with "TVX1", leaves the watermark empty without an
/// error. Layers are appended in file order; they are not placed for any
/// picture. On an error the layers read so far stay in the collection.
void OpenWatermark(const std::string& fileName, TLayerCollection& layers, Watermark::TWatermarkExif& exif);

/// Resets, then reads a watermark from the stream's current position (the
/// file reader's body; also the entry point for tests and fuzzing).
void OpenWatermark(TStream& stream, TLayerCollection& layers, Watermark::TWatermarkExif& exif);

/// Writes "TVX1", version 1, every watermark layer of the collection in
/// index order (class name, then its block) and the EXIF chunk. Other layers
/// (selection handles) are skipped.
void SaveWatermark(TStream& stream, const TLayerCollection& layers, const Watermark::TWatermarkExif& exif);

/// Writes the file through a temporary file renamed over the target, so a
/// failure never leaves a truncated or missing watermark.
void SaveWatermark(const std::string& fileName, const TLayerCollection& layers,
                   const Watermark::TWatermarkExif& exif);

}  // namespace tvx
