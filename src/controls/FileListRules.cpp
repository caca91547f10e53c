#include "controls/FileListRules.h"

#include <sys/stat.h>

#include <algorithm>

#include "imageio/PluginManager.h"
#include "util/Utils.h"

namespace tvx {

TColor32 StripeColor(TColor32 windowColor, int32_t row, int32_t intensity) {
  if (row % 2 == 0) return windowColor;
  auto lower = [&](uint8_t channel) { return static_cast<uint8_t>(std::clamp(channel - intensity, 0, 255)); };
  return ARGB(AlphaOf(windowColor), lower(RedOf(windowColor)), lower(GreenOf(windowColor)),
              lower(BlueOf(windowColor)));
}

bool AcceptsStripesIntensity(int32_t current, int32_t value) { return value != current && value < 254; }

std::string FileIconKey(const std::string& path) { return LowerCaseUtf8(ExtractFileExt(path)); }

std::vector<std::string> ExpandDroppedPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> result;
  result.reserve(paths.size());
  for (const std::string& path : paths) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      result.push_back(path);
      continue;
    }
    std::vector<std::string> files;
    FindFilesRecursive(path, std::string(), 0, faDirectory, &files, false);
    std::sort(files.begin(), files.end());
    result.insert(result.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
  }
  return result;
}

}  // namespace tvx
