#pragma once

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tvx::test {

/// Copies the built test plug-ins (by name: "first", "second", "empty",
/// "null_init", "no_init", "twins", "jpegsaver", "editor", "picture") into folder as
/// "<name>.fp".
void CopyTestPlugins(const TTempDir& folder, const std::vector<std::string>& names);

/// Points the recording plug-ins at a fresh log file for the lifetime of the
/// object, so each test reads only its own calls.
class TPluginLog {
 public:
  TPluginLog();
  ~TPluginLog();
  TPluginLog(const TPluginLog&) = delete;
  TPluginLog& operator=(const TPluginLog&) = delete;
  /// The recorded lines, oldest first.
  std::vector<std::string> Lines() const;
  /// The lines that do not belong to loading or unloading.
  std::vector<std::string> Calls() const;
  void Clear() const;

 private:
  TTempDir dir_;
  std::string path_;
};

}  // namespace tvx::test
