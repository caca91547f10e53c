#include "controls/Zoom.h"

#include <algorithm>

#include "util/Utils.h"

namespace tvx {

const std::vector<std::string>& ZoomRows() {
  static const std::vector<std::string> rows{kFitToView, "10%",  "25%",  "50%", "75%",
                                             "100%",     "200%", "400%", "800%"};
  return rows;
}

double ZoomTextScale(const std::string& text) {
  constexpr int32_t kMinPercent = 3, kMaxPercent = 1600;
  int32_t percent = ExtractNumber(text);
  // ExtractNumber gives 0 for a number beyond its integer as well; a row of
  // digits that is not all zeros asks for more than any zoom, not the least.
  if (percent == 0 && std::any_of(text.begin(), text.end(), [](char c) { return c >= '1' && c <= '9'; }))
    percent = kMaxPercent;
  return std::clamp(percent, kMinPercent, kMaxPercent) / 100.0;
}

std::optional<double> FitToViewScale(int32_t viewportWidth, int32_t viewportHeight, int32_t pictureWidth,
                                     int32_t pictureHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || viewportWidth <= 0 || viewportHeight <= 0)
    return std::nullopt;
  double scale = static_cast<double>(viewportWidth) / pictureWidth;
  if (pictureHeight * scale > viewportHeight) scale = static_cast<double>(viewportHeight) / pictureHeight;
  return scale;
}

}  // namespace tvx
