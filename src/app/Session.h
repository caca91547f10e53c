#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/BatchRun.h"
#include "app/CommandLine.h"
#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "output/OutputSettings.h"
#include "raster/Layers.h"
#include "util/Config.h"
#include "watermark/WatermarkDocument.h"

namespace tvx {

/// The ordered list of pictures to watermark, with the file masks that
/// decide which added paths it accepts.
class TImageList {
 public:
  std::vector<std::string> Paths;
  /// "*.ext" for every loadable format; matched against the whole path,
  /// ignoring letter case. No masks: every path is accepted.
  std::vector<std::string> Masks;

  /// Appends each path that matches a mask; returns how many were added.
  /// The same path may be added twice.
  size_t Add(const std::vector<std::string>& paths);
  /// "-a": every entry matching the pattern, prefixed with its folder.
  size_t AddPattern(const std::string& pattern);
  /// "-ar": every file below folder whose lower-cased name contains namePart.
  size_t AddFolder(const std::string& folder, const std::string& namePart);
  /// "--files-from": the paths listed in a file ("-": standard input), one
  /// per line (empty lines and a line's closing carriage return ignored) or,
  /// with nulSeparated, each ended by a NUL byte as `find -print0` writes
  /// them. Raises when the list cannot be read.
  size_t AddManifest(const std::string& file, bool nulSeparated);
};

/// The paths of a manifest's text (see TImageList::AddManifest).
std::vector<std::string> SplitManifest(const std::string& text, bool nulSeparated);

/// The rows of shard `index` of `count` (0 <= index < count): those whose
/// position in the list sorted by full path (byte-wise; relative paths taken
/// from the current folder) is index modulo count, in list order. Every row
/// belongs to exactly one shard, whatever order the list was built in.
std::vector<size_t> ShardRows(const std::vector<std::string>& paths, int32_t index, int32_t count);

/// Messages of the commands, shown with the command's title.
inline constexpr const char* kNothingToWatermark = "There is nothing to watermark. Please add files to the Image List.";
inline constexpr const char* kNothingToResize = "There is nothing to resize. Please add files to the Image List.";
inline constexpr const char* kWatermarkIsEmpty = "Watermark is empty. Please open or edit Watermark.";

/// The program's working state without any window, created in the start-up
/// order: the configuration store, the plug-in manager, the layer styles and
/// the saved styles. The windows and the command line drive it.
class TSession {
 public:
  struct TOptions {
    std::string ConfigFileName;  ///< empty: the default location
    std::string PluginFolder;    ///< empty: the program folder
    std::string StylesFolder;    ///< empty: the default location
  };
  explicit TSession(const TOptions& options);
  /// Saves the styles; the configuration store writes its file when destroyed.
  ~TSession();

  TConfig& Config() { return *config_; }
  const TPluginManager& Plugins() const { return *plugins_; }
  /// The current watermark; the layers of text macros always expand from
  /// PictureParameters(), also after the document was opened or restored.
  TWatermarkDocument& Document() { return document_; }
  TLayerCollection& Layers() { return document_.Layers(); }
  Watermark::TWatermarkExif& Exif() { return document_.Exif(); }
  TExifParameters& PictureParameters() { return pictureParameters_; }
  TImageList& Images() { return images_; }
  TBatchRunner& Runner() { return runner_; }
  TExtYesNoCancel& Question() { return question_; }
  /// Where the saved styles file (".styles") is read and written.
  const std::string& StylesFolder() const { return stylesFolder_; }
  /// Messages of a damaged styles file at start-up (the program still starts).
  const std::string& StartupWarning() const { return startupWarning_; }

  /// What opening files did: rows added, whether a watermark was opened, and
  /// one line for every file that could not be used, saying why.
  struct TOpenReport {
    size_t PicturesAdded = 0;
    bool WatermarkOpened = false;
    std::vector<std::string> Notices;
  };
  /// "-w", "-a" and "-ar" in their order, then the files, then the layers of
  /// "--text" and "--logo" on top of the watermark. A "-w" file with
  /// another extension or that does not exist is ignored; a damaged one
  /// raises and keeps the watermark that was open.
  TOpenReport ApplyCommandLine(const TCommandLine& commandLine);
  /// Files as a file manager hands them over: a ".tvx" file opens as the
  /// watermark (a damaged one raises and keeps the watermark that was open),
  /// a folder adds its pictures (not those of its subfolders, in name
  /// order), any other file is added when the image list accepts it.
  TOpenReport OpenFiles(const std::vector<std::string>& files);
  /// Opens a watermark file into the document (see TWatermarkDocument::Open).
  void OpenWatermarkFile(const std::string& fileName);

  bool WatermarkIsEmpty();

  enum class TStart { NothingToDo, EmptyWatermark, Completed, Cancelled };
  /// The "Protect" command with the given output settings (the dialog, or
  /// the stored ones): checks, then the watermarking run (on options.Jobs
  /// workers, each with its own copy of the watermark). Errors propagate.
  TStart Watermark(const TOutputSettings& settings, TRunProgress& progress, TRunStats* stats = nullptr,
                   const TRunOptions& options = {});
  /// The resize command with the given settings.
  TStart Resize(const TDestinationSettings& destination, const TResizeSettings& resize,
                TRunProgress& progress, TRunStats* stats = nullptr, const TRunOptions& options = {});

 private:
  std::unique_ptr<TConfig> config_;
  std::unique_ptr<TPluginManager> plugins_;
  std::string stylesFolder_;
  std::string startupWarning_;
  TExifParameters pictureParameters_;
  TWatermarkDocument document_;
  TImageList images_;
  TExtYesNoCancel question_{nullptr};
  TBatchRunner runner_;
};

}  // namespace tvx
