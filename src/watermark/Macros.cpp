#include "watermark/Macros.h"

#include "util/Utils.h"

namespace tvx {

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
