#include "PluginTestSupport.h"

#include <stdlib.h>

#include <filesystem>
#include <sstream>

namespace tvx::test {

void CopyTestPlugins(const TTempDir& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    std::filesystem::path built = std::filesystem::path(TARVEX_TEST_PLUGIN_DIR) / name / (name + ".fp");
    std::filesystem::copy_file(built, folder.Path() / (name + ".fp"),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

TPluginLog::TPluginLog() : path_(dir_ / "calls.log") { setenv("TARVEX_TEST_PLUGIN_LOG", path_.c_str(), 1); }

TPluginLog::~TPluginLog() { unsetenv("TARVEX_TEST_PLUGIN_LOG"); }

std::vector<std::string> TPluginLog::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(path_));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> TPluginLog::Calls() const {
  std::vector<std::string> calls;
  for (const std::string& line : Lines())
    if (line.find(" Finalize") == std::string::npos && line.find(" FreeMemory self") == std::string::npos)
      calls.push_back(line);
  return calls;
}

void TPluginLog::Clear() const { std::filesystem::remove(path_); }

}  // namespace tvx::test
