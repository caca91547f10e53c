#pragma once

// Taking file names apart, for kobalt.fp alone: the plug-in shares nothing of
// the host but the contract header. Paths use "/"; the name part follows the
// last "/", and its extension runs from its last "." to its end.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace kobalt {

/// Where the name part of path begins: just after its last "/", or 0.
inline size_t NameStart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

/// The extension of the name part, dot included, in lower case (ASCII);
/// empty when the name part has no ".".
inline std::string LowerExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path)) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

/// The format the plug-in writes for a file name, by its extension in any
/// letter case: ".bmp", ".jpg", ".tif", ".png" or ".gif", with the other
/// names of a format taken as its own (".jpeg" and ".jpe" are ".jpg", ".tiff"
/// is ".tif"); empty for any other name.
inline std::string_view EncodedFormat(const std::string& path) {
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {".bmp", ".bmp"}, {".jpg", ".jpg"},  {".jpeg", ".jpg"}, {".jpe", ".jpg"},
      {".tif", ".tif"}, {".tiff", ".tif"}, {".png", ".png"},  {".gif", ".gif"},
  };
  const std::string ext = LowerExtension(path);
  for (const auto& [name, format] : kNames)
    if (ext == name) return format;
  return {};
}

}  // namespace kobalt
