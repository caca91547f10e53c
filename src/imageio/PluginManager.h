#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imageio/FileMetadata.h"
#include "imageio/FilePlugin.h"
#include "imageio/FileRegions.h"
#include "raster/Bitmap32.h"
#include "util/Paths.h"  // ExtractFileExt: the extension that picks the plug-in

namespace tvx {

/// One loaded plug-in module. The record is a plain value: copying or
/// destroying it does not unload the module; Unload does.
struct TFilePluginInfo {
  TFilePlugin* Plugin = nullptr;     ///< what InitFilePlugin returned; null while nothing is loaded
  void* Module = nullptr;            ///< loader handle (see imageio/Module.h)
  std::string FileName;              ///< the name Load was given
  std::vector<TFileFormat> Formats;  ///< as the plug-in declared them, extensions lower-cased
  /// The plug-in's metadata bridge (its optional GetFileMetadataAccess
  /// export); null when it has none. Owned by Plugin.
  TFileMetadataAccess* Metadata = nullptr;
  /// Its one-rewrite metadata step (optional GetFileMetadataEdit export);
  /// null when it has none. Owned by Plugin.
  TFileMetadataEdit* MetadataEdit = nullptr;
  /// The plug-in's region bridge (its optional GetFileRegionAccess export);
  /// null when it has none. Owned by Plugin.
  TFileRegionAccess* Regions = nullptr;

  /// Unloads what the record held, then loads the module (a name without "/"
  /// is taken from the program folder), binds InitFilePlugin and reads the
  /// formats. False, with nothing left loaded, when the module cannot be
  /// mapped, lacks InitFilePlugin or hands out no object.
  bool Load(const std::string& fileName);
  /// Finalize, FreeMemory(Plugin), then unmaps the module and clears Formats;
  /// nothing when not loaded.
  void Unload();
};

/// The program's single door to picture files: loads every "*.fp" of a
/// folder, merges their formats and dispatches each operation by extension.
///
/// Both tables are built in the constructor and only read afterwards, so the
/// dispatching operations take no lock and may be called from several threads
/// at once (the plug-ins themselves keep no per-call state). Every operation
/// raises "TPluginManager::<Operation>::<N> - Unsupported file plugin!" when
/// no plug-in serves the extension with the capability it needs; results of
/// the plug-ins are returned unchanged.
///
/// Saving, SetQuality and the EXIF operations need CanSave. A name whose
/// extension no plug-in saves but which has a well-known twin (SaveTwinOf:
/// "photo.jpeg" -> ".jpg") goes to the plug-in that saves the twin, with the
/// name unchanged, so such pictures can be written and keep their own
/// extension; the merged table and the output formats do not change.
class TPluginManager {
 public:
  /// Loads the plug-ins of the program folder (the folder of the executable).
  TPluginManager();
  /// Loads the plug-ins of the given folder (tests, tools).
  explicit TPluginManager(const std::string& folder);
  /// Unloads every plug-in in load order.
  ~TPluginManager();
  TPluginManager(const TPluginManager&) = delete;
  TPluginManager& operator=(const TPluginManager&) = delete;

  /// Served by the extension with CanLoad.
  TPictureSize LoadBitmapInfo(const std::string& fileName) const;
  /// Fills target with the decoded picture (served with CanLoad). Raises
  /// "TPluginManager::LoadBitmapA::198 - Error while loading <fileName>!" when
  /// the plug-in decodes nothing; target is then unchanged.
  void LoadBitmap(const std::string& fileName, TBitmap32& target) const;
  /// As above, into a new bitmap owned by the caller.
  std::unique_ptr<TBitmap32> LoadBitmap(const std::string& fileName) const;
  /// As LoadBitmap, but the bitmap adopts the plug-in's block instead of a
  /// copy of it: half the memory while it is made, and no copying. The
  /// bitmap must give the block back (be destroyed, resized or assigned to)
  /// before the plug-ins are unloaded; a batch run's pictures do.
  std::unique_ptr<TBitmap32> LoadBitmapAdopted(const std::string& fileName) const;
  /// Served by the extension with CanSave (or its twin's), as are SetQuality
  /// and the EXIF operations.
  bool SaveBitmap(const std::string& fileName, const TBitmap32& bitmap) const;
  /// extension with its dot, e.g. ".jpg".
  void SetQuality(const std::string& extension, int quality) const;
  bool WriteExif(const std::string& fileName, ExifTag tag, const std::string& text) const;
  /// Routed by the source's extension, not the destination's. When another
  /// plug-in saves the destination's format and both have the metadata
  /// bridge, the source's plug-in reads the blocks and the destination's
  /// writes them; otherwise the source's plug-in copies alone.
  bool CopyExif(const std::string& sourceFileName, const std::string& destFileName) const;
  /// CopyExif(source, dest) and then WriteExif(dest, ...) for each field, in
  /// one rewrite of dest: true when the plug-in that serves both (as those
  /// calls route them) offers GetFileMetadataEdit and did the work. False,
  /// with nothing done and nothing raised, otherwise: the caller then makes
  /// the separate calls.
  bool ApplyExif(const std::string& sourceFileName, const std::string& destFileName,
                 const std::vector<TExifFieldText>& fields) const;
  TExifParameters GetExif(const std::string& fileName) const;
  /// Writes destFileName as sourceFileName's picture with only the
  /// painter's regions redrawn (see FileRegions.h), when one plug-in both
  /// loads the source's extension and saves the destination's, and has the
  /// region bridge. Never raises: report says NotHandled (nothing written;
  /// draw the whole picture as usual), Written or Failed.
  void EditRegions(const std::string& sourceFileName, const std::string& destFileName, TRegionPainter& painter,
                   TRegionEditReport& report) const;
  /// Whether the merged table serves the extension ("jpg" and ".JPG" work
  /// too); false for an empty one. For saving, an extension whose twin is
  /// saved counts, as the operations route it there.
  bool IsSupported(const std::string& extension, bool forSave) const;

  /// Index into Plugins() of the first plug-in, in load order, declaring the
  /// extension (lower-cased, no dot added) with the capability; -1 when none.
  /// Exactly as declared: no twin is consulted.
  int FindPlugin(const std::string& extension, bool forSave) const;
  /// The plug-in that serves saving (and the EXIF operations) for the
  /// extension: FindPlugin(extension, true), else that of its twin; -1 when none.
  int FindSaver(const std::string& extension) const;

  /// In load order (module names sorted byte-wise, so the order is stable).
  const std::vector<TFilePluginInfo>& Plugins() const { return plugins_; }
  /// The merged format table: one entry per extension in order of first
  /// appearance, its flags the union over all plug-ins.
  const std::vector<TFileFormat>& Formats() const { return formats_; }

 private:
  void LoadPlugins(const std::string& folder);
  void BuildFormatTable();
  const TFilePluginInfo& Require(const std::string& extension, bool forSave, const char* qualifier,
                                 int number) const;

  std::vector<TFilePluginInfo> plugins_;
  std::vector<TFileFormat> formats_;
};

/// The extension whose saving plug-in also serves ext (lower case, with its
/// dot) when no plug-in saves ext itself: ".jpeg" and ".jpe" -> ".jpg",
/// ".tiff" -> ".tif". Empty for every other extension.
std::string SaveTwinOf(const std::string& ext);

/// The open-dialog filter of the formats with CanLoad, in table order:
/// "All files|*.bmp;*.jpg;|BMP files|*.bmp|JPG files|*.jpg|". masks receives
/// the image list's file masks ("*.bmp", "*.jpg"); it is cleared first.
std::string BuildOpenFilter(const std::vector<TFileFormat>& formats, std::vector<std::string>& masks);

/// The output formats offered by the destination settings: the entries with
/// CanSave, in table order, as the extension without its dot in upper case ("JPG").
std::vector<std::string> OutputFormatNames(const std::vector<TFileFormat>& formats);

}  // namespace tvx
