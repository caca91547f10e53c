#include "watermark/Macros.h"

#include <sys/stat.h>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "util/Utils.h"

namespace tvx {
namespace {

constexpr ExifTag kTagFNumber = 33437;
constexpr ExifTag kTagApertureValue = 37378;
constexpr ExifTag kTagDateTimeOriginal = 36867;

const std::string* Value(const TExifParameters& picture, ExifTag tag) {
  auto it = picture.Values.find(tag);
  return it == picture.Values.end() || it->second.empty() ? nullptr : &it->second;
}

// The number a text gives after "f/" when it has one, else its first number.
bool ParseNumber(const std::string& text, bool& afterF, double& number) {
  const size_t f = text.find("f/");
  afterF = f != std::string::npos;
  const char* start = text.c_str() + (afterF ? f + 2 : 0);
  while (*start && !(std::isdigit(static_cast<unsigned char>(*start)) || *start == '.' || *start == '-')) {
    if (afterF) return false;  // "f/" followed by something else
    ++start;
  }
  char* end = nullptr;
  number = std::strtod(start, &end);
  return end != start && std::isfinite(number);
}

// "f/5.6", "f/8", "f/11": one decimal, none for whole numbers.
std::string FormatFNumber(double f) {
  if (!(f > 0 && f < 10000)) return {};
  char text[32];
  const double tenths = std::round(f * 10) / 10;
  if (tenths == std::round(tenths))
    std::snprintf(text, sizeof text, "f/%.0f", tenths);
  else
    std::snprintf(text, sizeof text, "f/%.1f", tenths);
  return text;
}

// An aperture value (APEX) is 2 log2(f) of a lens's marked f-number, so
// its f-number comes out a hair off the marking (5.66 for f/5.6); within 3 %
// of a marking of the third-stop scale it is that marking.
double NearestMarking(double f) {
  static constexpr std::array<double, 31> kMarkings = {1.0, 1.1, 1.2, 1.4, 1.6, 1.8, 2.0, 2.2, 2.5, 2.8, 3.2,
                                                       3.5, 4.0, 4.5, 5.0, 5.6, 6.3, 7.1, 8.0, 9.0, 10,  11,
                                                       13,  14,  16,  18,  20,  22,  25,  29,  32};
  for (double m : kMarkings)
    if (std::abs(f - m) <= m * 0.03) return m;
  return f;
}

std::string FNumberValue(const TExifParameters& picture) {
  bool afterF;
  double number;
  if (const std::string* text = Value(picture, kTagFNumber); text && ParseNumber(*text, afterF, number))
    if (std::string value = FormatFNumber(number); !value.empty()) return value;
  if (const std::string* text = Value(picture, kTagApertureValue);
      text && ParseNumber(*text, afterF, number)) {
    // "5.00 EV (f/5.6)" carries the f-number; a bare number is the APEX value.
    const double f = afterF ? number : std::pow(2.0, number / 2);
    return FormatFNumber(afterF ? f : NearestMarking(f));
  }
  return {};
}

std::string YearValue(const TExifParameters& picture) {
  // "YYYY:MM:DD HH:MM:SS"; cameras without a clock write zeros or spaces.
  if (const std::string* text = Value(picture, kTagDateTimeOriginal); text && text->size() >= 4) {
    const std::string year = text->substr(0, 4);
    if (year.find_first_not_of("0123456789") == std::string::npos && year != "0000") return year;
  }
  if (picture.FileName.empty()) return {};
  struct stat info {};
  if (stat(picture.FileName.c_str(), &info) != 0) return {};
  const std::time_t seconds = info.st_mtime;
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return {};
  return std::to_string(local.tm_year + 1900);
}

std::string FolderValue(const TExifParameters& picture) {
  return std::filesystem::path(picture.FileName).parent_path().filename().string();
}

}  // namespace

const std::vector<TTextMacro>& TextMacros() {
  static const std::vector<TTextMacro> macros = {
      {"<FILENAME>", 0},
      {"<FILE_INDEX>", 0},
      {"<FILE_COUNT>", 0},
      {"<WIDTH>", 0},
      {"<HEIGHT>", 0},
      {"<ARTIST>", 315},
      {"<COPYRIGHT>", 33432},
      {"<COMMENT>", 37510},
      {"<DATE_TIME>", 306},
      {"<SOFTWARE>", 305},
      {"<TITLE>", 270},
      {"<EXIF_WIDTH>", 256},
      {"<EXIF_HEIGHT>", 257},
      {"<DATE_TIME_ORIGINAL>", 36867},
      {"<DATE_TIME_DIGITIZED>", 36868},
      {"<MAKE>", 271},
      {"<MODEL>", 272},
      {"<X_RES>", 282},
      {"<Y_RES>", 283},
      {"<RES_UNIT>", 296},
      {"<EXPOSURE_TIME>", 33434},
      {"<EXPOSURE_PROGRAM>", 34850},
      {"<EXPOSURE_BIAS>", 37380},
      {"<EXPOSURE_MODE>", 41986},
      {"<SHUTTER_SPEED>", 37377},
      {"<APERTURE>", 37378},
      {"<FOCAL_LENGTH>", 37386},
      {"<FOCAL_LENGTH_35>", 41989},
      {"<ISO>", 34855},
      {"<FLASH>", 37385},
      {"<SCENE_TYPE>", 41729},
      {"<UID>", 42016},
      {"<FNUMBER>", 33437},
      {"<LENS>", 42036},
      {"<YEAR>", 0},
      {"<FOLDER>", 0},
  };
  return macros;
}

std::string MacroValue(const TTextMacro& macro, const TExifParameters& picture) {
  const std::string name = macro.Name;
  if (name == "<FILENAME>") return picture.FileName;
  if (name == "<FILE_INDEX>") return std::to_string(picture.Index);
  if (name == "<FILE_COUNT>") return std::to_string(picture.Count);
  if (name == "<WIDTH>") return std::to_string(picture.Width);
  if (name == "<HEIGHT>") return std::to_string(picture.Height);
  if (name == "<FNUMBER>") return FNumberValue(picture);
  if (name == "<YEAR>") return YearValue(picture);
  if (name == "<FOLDER>") return FolderValue(picture);
  auto it = picture.Values.find(macro.Tag);
  return it == picture.Values.end() ? std::string() : it->second;
}

std::string ExpandMacros(const std::string& text, const TExifParameters& picture) {
  std::string result = text;
  for (const TTextMacro& macro : TextMacros()) {
    // ReplaceText rescans the whole text; skip the work for absent macros.
    if (result.find(macro.Name) == std::string::npos) continue;
    result = ReplaceText(macro.Name, MacroValue(macro, picture), result);
  }
  return result;
}

bool TextHasMacros(const std::string& text) {
  const size_t open = text.find('<');
  const size_t close = text.find('>');
  return open != std::string::npos && close != std::string::npos && open < close;
}

}  // namespace tvx
