#include "output/Naming.h"

#include <cctype>

#include "util/Utils.h"

namespace tvx {
namespace {

std::string SourceExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string MakeOutputFileName(TNamingState& state, const TCanSaveFunc& canSave, const std::string& source,
                               bool keepOriginalFormat, const std::string& outputFormat,
                               const std::string& folder, bool addSuffix, const std::string& suffix) {
  std::string target = folder;
  if (!target.empty() && target.back() != '/') target += '/';

  std::string ext = SourceExtension(source);
  if (!(keepOriginalFormat && !ext.empty() && canSave && canSave(ext))) ext = Lower("." + outputFormat);

  std::string tail = addSuffix ? suffix : std::string();
  bool sameSource = source == state.PreviousSource;
  if (state.Counter > 0 && sameSource) {
    tail += '(';
    tail += std::to_string(state.Counter);
    tail += ')';
  }

  std::string result = (target.empty() ? FolderOf(source) : target) + ExtractFileNameWithoutExt(source) + tail + ext;

  if (sameSource) {
    ++state.Counter;
  } else {
    state.PreviousSource = source;
    state.Counter = 1;
  }
  return result;
}

}  // namespace tvx
