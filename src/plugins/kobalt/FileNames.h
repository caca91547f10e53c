#pragma once

// Taking file names apart, for kobalt.fp alone: the plug-in shares nothing of
// the host but the contract header. Paths use "/"; the name part follows the
// last "/", and its extension runs from its last "." to its end.

#include <cstddef>
#include <string>

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

}  // namespace kobalt
