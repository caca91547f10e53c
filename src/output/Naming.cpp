#include "output/Naming.h"

#include <cctype>

#include "util/Paths.h"

namespace tvx {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string MakeOutputFileName(TNamingState& state, const TCanSaveFunc& canSave, const std::string& source,
                               bool keepOriginalFormat, const std::string& outputFormat,
                               const std::string& folder, bool addSuffix, const std::string& suffix) {
  const std::string target = IncludeTrailingPathDelimiter(folder);

  std::string ext = ExtractFileExt(source);
  if (!(keepOriginalFormat && !ext.empty() && canSave && canSave(ext))) ext = Lower("." + outputFormat);

  std::string tail = addSuffix ? suffix : std::string();
  bool sameSource = source == state.PreviousSource;
  if (state.Counter > 0 && sameSource) {
    tail += '(';
    tail += std::to_string(state.Counter);
    tail += ')';
  }

  std::string result =
      (target.empty() ? ExtractFilePath(source) : target) + ExtractFileNameWithoutExt(source) + tail + ext;

  if (sameSource) {
    ++state.Counter;
  } else {
    state.PreviousSource = source;
    state.Counter = 1;
  }
  return result;
}

}  // namespace tvx
