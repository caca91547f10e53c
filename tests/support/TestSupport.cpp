#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tvx::test {

std::filesystem::path TestDataDir() {
  std::filesystem::path dir = TARVEX_TESTDATA_DIR;
  std::error_code ec;
  return std::filesystem::is_directory(dir / "photos", ec) ? dir : std::filesystem::path();
}

std::filesystem::path BinDir() { return TARVEX_BIN_DIR; }

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarvex-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string MaskMilliseconds(const std::string& json, const std::string& with) {
  static const std::string key = "\"ms\":";
  std::string out;
  size_t from = 0;
  for (size_t at; (at = json.find(key, from)) != std::string::npos;) {
    size_t end = at + key.size();
    while (end < json.size() && json[end] >= '0' && json[end] <= '9') ++end;
    out.append(json, from, at + key.size() - from);
    if (end > at + key.size()) out += with;
    from = end;
  }
  out.append(json, from, std::string::npos);
  return out;
}

}  // namespace tvx::test
