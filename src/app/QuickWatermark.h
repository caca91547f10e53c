#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "imageio/WatermarkExif.h"
#include "output/OutputSettings.h"
#include "raster/Layers.h"

namespace tvx {

class TPluginManager;

/// The shorter side of the picture a composed text is first rendered for: its
/// font size in pixels is the requested share of this. The relative size then
/// scales it to each picture.
inline constexpr int32_t kComposeReferenceSide = 1000;

/// Appends a layer to layers for every "--text" and "--logo" of the command
/// line, in order (the first at the bottom): placed by position and margin
/// (percent units), sized relative to the picture's shorter side, with
/// opacity, font, colour, the default drop shadow, tiling and rotation. The
/// layers are built on the side and appended only when all of them could be
/// made; a logo that cannot be read raises with the file's name.
void ComposeWatermark(const TCommandLine& commandLine, TLayerCollection& layers, const TPluginManager& plugins);

/// A watermark's layers and EXIF fields as one JSON object on one line (the
/// keys are described in docs/command-line-watermarks.md).
std::string DescribeWatermark(const TLayerCollection& layers, const Watermark::TWatermarkExif& exif);

/// Puts the command line's output overrides ("--output", "--in-place",
/// "--suffix", "--format", "--quality", "--overwrite", "--remove-originals")
/// over settings. formatRows are the output format rows (OutputFormatNames).
/// Returns an error message for a format no plug-in saves (settings then
/// unchanged), else an empty text.
std::string ApplyOutputOverrides(const TCommandLine& commandLine, TOutputSettings& settings,
                                 const std::vector<std::string>& formatRows);

/// Creates the folder of "--output" when the settings write there (not for a
/// dry run); returns an error message when it cannot be made, else an empty
/// text.
std::string CreateOutputFolder(const TCommandLine& commandLine, const TOutputSettings& settings);

/// Whether the command line overrides any output setting.
bool HasOutputOverrides(const TCommandLine& commandLine);

}  // namespace tvx
