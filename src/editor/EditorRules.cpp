#include "editor/EditorRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace tvx {
namespace {

bool Taken(const std::vector<std::string>& taken, const std::string& name) {
  return std::find(taken.begin(), taken.end(), name) != taken.end();
}

std::string FirstFree(const std::string& base, const std::vector<std::string>& taken) {
  if (!Taken(taken, base)) return base;
  for (size_t n = 1;; ++n) {
    std::string name = base + " " + std::to_string(n);
    if (!Taken(taken, name)) return name;
  }
}

// The first run of digits of text, capped at cap; nothing without a digit.
std::optional<int32_t> FirstNumber(const std::string& text, int32_t cap) {
  auto it = std::find_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (it == text.end()) return std::nullopt;
  int64_t value = 0;
  for (; it != text.end() && *it >= '0' && *it <= '9'; ++it)
    value = std::min<int64_t>(value * 10 + (*it - '0'), cap);
  return int32_t(value);
}

}  // namespace

std::string NewLayerName(const std::vector<std::string>& taken) { return FirstFree("New Layer", taken); }

std::string DuplicateLayerName(const std::string& source, const std::vector<std::string>& taken) {
  return FirstFree(source + " copy", taken);
}

const std::vector<std::string>& OpacityRows() {
  static const std::vector<std::string> rows = {"0%", "25%", "33%", "50%", "66%", "75%", "100%"};
  return rows;
}

int32_t OpacityToAlpha(int32_t percent) { return std::clamp(percent, 0, 100) * 255 / 100; }

int32_t AlphaToOpacity(int32_t alpha) { return (std::clamp(alpha, 0, 255) * 100 + 127) / 255; }

std::optional<int32_t> ParseOpacityText(const std::string& text) { return FirstNumber(text, 100); }

std::string OpacityText(int32_t percent) { return std::to_string(percent) + "%"; }

const std::vector<std::string>& FontSizeRows() {
  static const std::vector<std::string> rows = {"14", "16", "24", "36", "48", "72", "150", "200", "250"};
  return rows;
}

std::optional<int32_t> ParseFontSizeText(const std::string& text) {
  std::optional<int32_t> size = FirstNumber(text, kMaxFieldFontSize);
  if (size && *size < 1) return std::nullopt;
  return size;
}

const std::vector<TMacroMenuEntry>& MacroMenu() {
  static const std::vector<TMacroMenuEntry> menu = [] {
    const std::string exif = "JPEG Properties (EXIF)";
    std::vector<TMacroMenuEntry> m = {
        {{"Filename"}, "<FILENAME>"},
        {{"Folder"}, "<FOLDER>"},
        {{"Special chars", "Copyright \u00a9 Sign"}, "\u00a9"},
        {{"Special chars", "Trade Mark \u2122 Sign"}, "\u2122"},
        {{"Special chars", "Registered \u00ae Sign"}, "\u00ae"},
        {{"File Indexes", "File Index"}, "<FILE_INDEX>"},
        {{"File Indexes", "File Count"}, "<FILE_COUNT>"},
        {{exif, "Title"}, "<TITLE>"},
        {{exif, "Artist"}, "<ARTIST>"},
        {{exif, "Comment"}, "<COMMENT>"},
        {{exif, "Copyright"}, "<COPYRIGHT>"},
        {{exif, "Width"}, "<EXIF_WIDTH>"},
        {{exif, "Height"}, "<EXIF_HEIGHT>"},
        {{exif, "Date and Time"}, "<DATE_TIME>"},
        {{exif, "Date and Time Original"}, "<DATE_TIME_ORIGINAL>"},
        {{exif, "Date and Time Digitized"}, "<DATE_TIME_DIGITIZED>"},
        {{exif, "Year"}, "<YEAR>"},
        {{exif, "Camera", "Manufacturer"}, "<MAKE>"},
        {{exif, "Camera", "Model"}, "<MODEL>"},
        {{exif, "Camera", "Lens"}, "<LENS>"},
        {{exif, "Camera", "Software"}, "<SOFTWARE>"},
        {{exif, "Resolution", "X Resolution"}, "<X_RES>"},
        {{exif, "Resolution", "Y Resolution"}, "<Y_RES>"},
        {{exif, "Resolution", "Resolution Unit"}, "<RES_UNIT>"},
        {{exif, "Exposure", "Exposure Time"}, "<EXPOSURE_TIME>"},
        {{exif, "Exposure", "Exposure Program"}, "<EXPOSURE_PROGRAM>"},
        {{exif, "Exposure", "Exposure Bias"}, "<EXPOSURE_BIAS>"},
        {{exif, "Exposure", "Exposure Mode"}, "<EXPOSURE_MODE>"},
        {{exif, "Exposure", "Shutter Speed"}, "<SHUTTER_SPEED>"},
        {{exif, "Exposure", "Aperture"}, "<APERTURE>"},
        {{exif, "Exposure", "F-Number"}, "<FNUMBER>"},
        {{exif, "Exposure", "Focal Length"}, "<FOCAL_LENGTH>"},
        {{exif, "Exposure", "Focal Length In 35 mm Film"}, "<FOCAL_LENGTH_35>"},
        {{exif, "Exposure", "ISO Speed Ratings"}, "<ISO>"},
        {{exif, "Exposure", "Flash"}, "<FLASH>"},
        {{exif, "Exposure", "Scene Type"}, "<SCENE_TYPE>"},
        {{exif, "Unique ID"}, "<UID>"},
        {{"Image Properties", "Real Width"}, "<WIDTH>"},
        {{"Image Properties", "Real Height"}, "<HEIGHT>"},
    };
    return m;
  }();
  return menu;
}

std::string CoordText(double value) {
  if (!std::isfinite(value)) value = 0;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  // -0.00 is 0.00 on the panel
  std::string text = buffer;
  if (text == "-0.00") text = "0.00";
  return text;
}

double NormalizeAngle(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  double a = std::fmod(degrees, 360.0);
  if (a > 180) a -= 360;
  if (a <= -180) a += 360;
  return a == 0 ? 0 : a;  // no negative zero
}

double RadiansToDegrees(double radians) { return NormalizeAngle(radians * 180 / std::numbers::pi); }

double DegreesToRadians(double degrees) { return NormalizeAngle(degrees) * std::numbers::pi / 180; }

}  // namespace tvx
