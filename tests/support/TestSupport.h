#pragma once

#include <filesystem>
#include <string>

namespace tvx::test {

/// The shared sample pictures (photos/, formats/, bad/); empty when absent.
std::filesystem::path TestDataDir();
/// Skips the current test when the shared sample pictures are absent.
#define TVX_REQUIRE_TESTDATA()                                                   \
  do {                                                                           \
    if (::tvx::test::TestDataDir().empty()) GTEST_SKIP() << "no shared testdata"; \
  } while (0)

/// The folder of the built program and kobalt.fp.
std::filesystem::path BinDir();

/// A fresh folder under the system's temporary folder, removed with the object.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& path);
/// JSON progress lines with the number after every "ms": replaced by `with`
/// (the milliseconds vary from run to run).
std::string MaskMilliseconds(const std::string& json, const std::string& with);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace tvx::test
