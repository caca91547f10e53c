#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"
#include "raster/Bitmap32.h"

namespace tvx {

/// One loaded plug-in module. Destroying the record does not unload it; Unload does.
struct TFilePluginInfo {
  TFilePlugin* Plugin = nullptr;
  void* Module = nullptr;
  std::string FileName;
  std::vector<TFileFormat> Formats;  ///< as the plug-in declared them, extensions lower-cased

  /// Loads the module at path (a full path or a name in the program folder).
  bool Load(const std::string& fileName);
  /// Finalize, FreeMemory(Plugin), dlclose; nothing when not loaded.
  void Unload();
};

/// The program's single door to picture files: loads every "*.fp" of a
/// folder, merges their formats and dispatches each operation by extension.
/// The tables are built in the constructor and only read afterwards, so the
/// dispatching operations may be called from several threads at once.
class TPluginManager {
 public:
  /// Loads the plug-ins of the program folder.
  TPluginManager();
  /// Loads the plug-ins of the given folder (tests, tools).
  explicit TPluginManager(const std::string& folder);
  ~TPluginManager();
  TPluginManager(const TPluginManager&) = delete;
  TPluginManager& operator=(const TPluginManager&) = delete;

  TPictureSize LoadBitmapInfo(const std::string& fileName) const;
  /// Fills target; raises "TPluginManager::LoadBitmapA::198 - Error while loading <name>!"
  /// when the picture cannot be decoded (target then unchanged).
  void LoadBitmap(const std::string& fileName, TBitmap32& target) const;
  std::unique_ptr<TBitmap32> LoadBitmap(const std::string& fileName) const;
  bool SaveBitmap(const std::string& fileName, const TBitmap32& bitmap) const;
  void SetQuality(const std::string& extension, int quality) const;
  bool WriteExif(const std::string& fileName, ExifTag tag, const std::string& text) const;
  bool CopyExif(const std::string& sourceFileName, const std::string& destFileName) const;
  TExifParameters GetExif(const std::string& fileName) const;
  bool IsSupported(const std::string& extension, bool forSave) const;

  /// Index into Plugins() serving the extension with the capability, or -1.
  int FindPlugin(const std::string& extension, bool forSave) const;

  const std::vector<TFilePluginInfo>& Plugins() const { return plugins_; }
  /// The merged format table, one entry per extension in order of first appearance.
  const std::vector<TFileFormat>& Formats() const { return formats_; }

 private:
  void LoadPlugins(const std::string& folder);
  void BuildFormatTable();

  std::vector<TFilePluginInfo> plugins_;
  std::vector<TFileFormat> formats_;
};

/// The extension of a file name: from the last "." of the name part, dot
/// included; empty when the name has no dot.
std::string ExtractFileExt(const std::string& fileName);

}  // namespace tvx
