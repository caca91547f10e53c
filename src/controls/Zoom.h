#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvx {

/// The zoom list's first row: the scale that shows the whole picture.
inline constexpr const char* kFitToView = "Fit to view";

/// The zoom list's rows in order: "Fit to view", then the percentages.
const std::vector<std::string>& ZoomRows();

/// The scale for a zoom text other than "Fit to view": the digits of the text
/// read as one decimal number (other characters ignored, none gives 0),
/// clamped to 3..1600 percent. "150%" gives 1.5, "5000" 16, "x" 0.03; a
/// number too long for an integer is taken as the largest zoom.
double ZoomTextScale(const std::string& text);

/// The "Fit to view" scale: viewport width / picture width, or viewport
/// height / picture height when the picture would be too high at the first.
/// Nothing for an empty picture or an empty viewport.
std::optional<double> FitToViewScale(int32_t viewportWidth, int32_t viewportHeight, int32_t pictureWidth,
                                     int32_t pictureHeight);

}  // namespace tvx
