#include "ExifTestSupport.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/TestSupport.h"

namespace kobalt::test {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path Photo(const std::string& name) {
  return tvx::test::TestDataDir() / "photos" / name;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

bool HaveExiftool() {
  static const bool have = !RunCommand("exiftool -ver 2>/dev/null").empty();
  return have;
}

std::set<std::string> ExiftoolListing(const std::string& path, const std::set<std::string>& ignoreTags) {
  std::set<std::string> lines;
  std::istringstream in(RunCommand("exiftool -a -G1 -s '" + path + "' 2>/dev/null"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("[System]", 0) == 0 || line.rfind("[File]", 0) == 0 ||
        line.rfind("[Composite]", 0) == 0 || line.rfind("[ExifTool]", 0) == 0)
      continue;
    size_t close = line.find(']');
    size_t colon = line.find(" : ");
    if (close == std::string::npos || colon == std::string::npos) continue;
    std::string tag = line.substr(close + 1, colon - close - 1);
    tag.erase(0, tag.find_first_not_of(' '));
    tag.erase(tag.find_last_not_of(' ') + 1);
    if (ignoreTags.count(tag)) continue;
    lines.insert(line);
  }
  return lines;
}

std::string ExiftoolValue(const std::string& path, const std::string& tag) {
  std::string out = RunCommand("exiftool -s3 -" + tag + " '" + path + "' 2>/dev/null");
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace kobalt::test
