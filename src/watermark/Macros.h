#pragma once

#include <string>
#include <vector>

#include "imageio/FilePlugin.h"

namespace tvx {

/// One text macro and the EXIF tag it stands for (0 for the macros that come
/// from the picture itself rather than from its EXIF block).
struct TTextMacro {
  const char* Name;
  ExifTag Tag;
};

/// The macros in the order they are expanded.
const std::vector<TTextMacro>& TextMacros();

/// The value of a macro for a picture: file name, index, count, width,
/// height, or the EXIF text of its tag (empty when the picture lacks it).
std::string MacroValue(const TTextMacro& macro, const TExifParameters& picture);

/// Replaces every macro of text, one macro after the other in table order,
/// each on the result of the previous one. A value holding its own macro
/// leaves that macro in place.
std::string ExpandMacros(const std::string& text, const TExifParameters& picture);

/// Whether text holds a macro: its first "<" comes before its first ">".
bool TextHasMacros(const std::string& text);

}  // namespace tvx
