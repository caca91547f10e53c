#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"
#include "output/Resize.h"

namespace tvx {

class TConfig;

enum TPlacement : int32_t {
  plSourceFolderOverwrite = 0,  ///< source folder, no suffix: the source is replaced
  plSourceFolderRename = 1,     ///< source folder, with the run's suffix
  plOtherFolder = 2,            ///< DestFolder, no suffix
};

enum TOverwritePolicy : int32_t { owAsk = 0, owSkip = 1, owReplace = 2, owRename = 3 };

/// The destination frame as a model, stored under "WatermarkingOptions";
/// both the watermarking and the resize run use it.
struct TDestinationSettings {
  std::string DestFolder;
  TPlacement Placement = plSourceFolderRename;
  int32_t DefaultFileFormat = 0;  ///< row of the output format list
  bool KeepOriginalFormat = true;
  int32_t JPEGQuality = 80;
  int32_t OverwriteExisting = owAsk;
  bool RemoveOriginalFiles = false;

  void LoadSettings(const TConfig& config);
  void SaveSettings(TConfig& config) const;

  /// The folder argument of MakeOutputFileName: empty for both source-folder choices.
  std::string OutputFolder() const { return Placement == plOtherFolder ? DestFolder : std::string(); }
  bool AddSuffix() const { return Placement == plSourceFolderRename; }
  /// The selected row of formatRows (OutputFormatNames); the first row
  /// when the stored row does not exist (a plug-in was removed), empty when
  /// there are no rows.
  std::string OutputFormat(const std::vector<std::string>& formatRows) const;
};

/// Everything the watermarking run reads (the output settings dialog as a model).
struct TOutputSettings {
  bool AcceptDefaults = false;
  bool SaveAsDefaults = true;
  TDestinationSettings Destination;
  bool DoResize = false;
  int32_t ResizePriority = 0;  ///< 0 before watermarking, 1 after
  TResizeSettings Resize;
  /// "Keep JPEG quality: re-encode only the watermarked blocks": a JPEG
  /// written as a JPEG without resizing keeps every block the watermark does
  /// not touch as it is, and the touched ones get the source's quantisation.
  bool JpegKeepBlocks = false;
  /// "StopOnError": an error ends the run (true) or the picture is reported
  /// and the run goes on.
  bool StopOnError = true;

  void LoadSettings(const TConfig& config);
  void SaveSettings(TConfig& config);
};

/// Sections of the runs' own settings.
inline constexpr const char* kWatermarkingSection = "WatermarkingOptions";
inline constexpr const char* kResizeSection = "ResizeOptions";

/// "StopOnError" of a run's section (kWatermarkingSection, kResizeSection),
/// default true.
bool ReadStopOnError(const TConfig& config, const char* section);
/// "Jobs" of "GlobalOptions": the worker threads of a run, 0 (the default)
/// one per core.
int32_t ReadJobs(const TConfig& config);

}  // namespace tvx
