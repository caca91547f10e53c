#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/Bitmap32.h"

namespace tvx {

/// How much darker the odd rows of an image list are, per colour channel.
inline constexpr int32_t kDefaultStripesIntensity = 10;
/// The height of an image list row in pixels.
inline constexpr int32_t kFileListRowHeight = 18;

/// The background of an unselected row: even rows (0, 2, ...) in the
/// window colour, odd rows in that colour with red, green and blue each
/// lowered by intensity, kept within 0..255; alpha unchanged.
TColor32 StripeColor(TColor32 windowColor, int32_t row, int32_t intensity);

/// Whether a new stripes intensity is taken: only a value different from the
/// current one and below 254.
bool AcceptsStripesIntensity(int32_t current, int32_t value);

/// The key under which file icons are shared: the path's extension with its
/// dot, lower-cased; empty for a name without one.
std::string FileIconKey(const std::string& path);

/// Paths dropped onto an image list, as they are to be added: a file (or any
/// path that is not a folder) stays as it is; a folder is replaced by every
/// file inside it and its subfolders (folders themselves left out), sorted by
/// path, so dropping a folder adds its pictures once the masks have decided.
std::vector<std::string> ExpandDroppedPaths(const std::vector<std::string>& paths);

}  // namespace tvx
