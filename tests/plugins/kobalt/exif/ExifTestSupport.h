#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kobalt::test {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::filesystem::path Photo(const std::string& name);

/// True when exiftool can be run.
bool HaveExiftool();
/// Output of a shell command (stdout only).
std::string RunCommand(const std::string& command);
/// "exiftool -a -G1 -s" lines of a file without the file-system, composite
/// and tool groups, and without the given tag names.
std::set<std::string> ExiftoolListing(const std::string& path,
                                      const std::set<std::string>& ignoreTags = {});
/// One value as exiftool prints it ("-s3"), or empty.
std::string ExiftoolValue(const std::string& path, const std::string& tag);

}  // namespace kobalt::test
