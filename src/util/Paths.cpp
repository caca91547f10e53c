#include "util/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tvx {

std::string ExtractFilePath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
  const size_t start = path.rfind('/') + 1;  // 0 when there is no "/"
  const size_t dot = path.rfind('.');
  return dot == std::string::npos || dot < start ? std::string() : path.substr(dot);
}

std::string LowerFileExt(const std::string& path) {
  std::string ext = ExtractFileExt(path);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

std::string ExtractFileNameWithoutExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  return name.substr(0, name.size() - ExtractFileExt(name).size());
}

std::string IncludeTrailingPathDelimiter(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder;
}

namespace {

// mkdir -p for an absolute folder; true when it exists afterwards.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

}  // namespace

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(n));
      return ExtractFilePath(path);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ChooseUserDataFolder(const std::string& programFolder) {
  if (!programFolder.empty() && access(programFolder.c_str(), W_OK) == 0 &&
      access((IncludeTrailingPathDelimiter(programFolder) + kInstalledMarker).c_str(), F_OK) != 0)
    return IncludeTrailingPathDelimiter(programFolder);
  // Relative values are invalid and to be ignored.
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') base = xdg;
  else if (std::string home = HomeFolder(); !home.empty())
    base = IncludeTrailingPathDelimiter(home) + ".config";
  if (base.empty()) return IncludeTrailingPathDelimiter(programFolder);
  std::string folder = IncludeTrailingPathDelimiter(base) + "tarvex/";
  MakeFolders(folder);  // a failure shows later as a file that cannot be written, which is not fatal
  return folder;
}

std::string UserDataFolder() { return ChooseUserDataFolder(ProgramFolder()); }

std::string ConfigFileName() { return UserDataFolder() + ".config"; }

}  // namespace tvx
