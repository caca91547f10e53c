#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tvx {

/// The naming state that both batch runs share for the whole program and
/// never reset: the previous source and how many names were built for it in
/// a row.
struct TNamingState {
  std::string PreviousSource;
  int32_t Counter = 0;
};

/// Tells whether some plug-in can save files of an extension (with its dot,
/// any letter case); the plug-in manager's IsSupported(ext, true).
using TCanSaveFunc = std::function<bool(const std::string& extension)>;

/// The output path for source: in folder (or the source's own folder when
/// folder is empty), named after the source with suffix when addSuffix, with
/// "(n)" appended on the n-th further call in a row for the same source, and
/// with the source's extension when keepOriginalFormat and it can be saved,
/// otherwise "." + the lower-cased outputFormat ("JPG" gives ".jpg").
std::string MakeOutputFileName(TNamingState& state, const TCanSaveFunc& canSave, const std::string& source,
                               bool keepOriginalFormat, const std::string& outputFormat,
                               const std::string& folder, bool addSuffix, const std::string& suffix);

}  // namespace tvx
