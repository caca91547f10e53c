#include "output/OutputSettings.h"

#include <algorithm>
#include <cctype>

#include "util/Config.h"

namespace tvx {
namespace {

constexpr const char* kWatermarking = "WatermarkingOptions";
constexpr const char* kResize = "ResizeOptions";

}  // namespace

void TDestinationSettings::LoadSettings(const TConfig& config) {
  DestFolder = config.ReadString(kWatermarking, "DestFolder", "");
  bool inSource = config.ReadBool(kWatermarking, "PlaceInSourceFolder", true);
  bool addSuffix = config.ReadBool(kWatermarking, "AddWmSuffix", true);
  Placement = !inSource ? plOtherFolder : (addSuffix ? plSourceFolderRename : plSourceFolderOverwrite);
  DefaultFileFormat = config.ReadInteger(kWatermarking, "DefaultFileFormat", 0);
  KeepOriginalFormat = config.ReadBool(kWatermarking, "KeepOriginalFormat", true);
  // A hand-edited file may hold anything: the quality goes to the encoder and
  // the policy decides whether existing files are replaced, so both are kept
  // to what the controls can show.
  JPEGQuality = std::clamp(config.ReadInteger(kWatermarking, "JPEGQuality", 80), 0, 100);
  OverwriteExisting = config.ReadInteger(kWatermarking, "OverwriteExisting", owAsk);
  if (OverwriteExisting < owAsk || OverwriteExisting > owRename) OverwriteExisting = owAsk;
  RemoveOriginalFiles = config.ReadBool(kWatermarking, "RemoveOriginalFiles", false);
}

void TDestinationSettings::SaveSettings(TConfig& config) const {
  config.WriteString(kWatermarking, "DestFolder", DestFolder);
  config.WriteBool(kWatermarking, "PlaceInSourceFolder", Placement != plOtherFolder);
  config.WriteBool(kWatermarking, "AddWmSuffix", Placement == plOtherFolder || Placement == plSourceFolderRename);
  config.WriteInteger(kWatermarking, "DefaultFileFormat", DefaultFileFormat);
  config.WriteBool(kWatermarking, "KeepOriginalFormat", KeepOriginalFormat);
  config.WriteInteger(kWatermarking, "JPEGQuality", JPEGQuality);
  config.WriteInteger(kWatermarking, "OverwriteExisting", OverwriteExisting);
  config.WriteBool(kWatermarking, "RemoveOriginalFiles", RemoveOriginalFiles);
}

std::string TDestinationSettings::OutputFormat(const std::vector<std::string>& formatRows) const {
  if (formatRows.empty()) return {};
  if (DefaultFileFormat < 0 || DefaultFileFormat >= static_cast<int32_t>(formatRows.size())) return formatRows[0];
  return formatRows[static_cast<size_t>(DefaultFileFormat)];
}

void TOutputSettings::LoadSettings(const TConfig& config) {
  AcceptDefaults = config.ReadBool(kWatermarking, "AcceptDefaults", false);
  SaveAsDefaults = config.ReadBool(kWatermarking, "SaveAsDefaults", true);
  Destination.LoadSettings(config);
  DoResize = config.ReadBool(kResize, "DoResize", false);
  ResizePriority = config.ReadInteger(kResize, "ResizePriority", 0) == 1 ? 1 : 0;
  Resize.LoadSettings(config);
  JpegKeepBlocks = config.ReadBool(kWatermarking, "JpegKeepBlocks", false);
  StopOnError = ReadStopOnError(config, kWatermarking);
}

void TOutputSettings::SaveSettings(TConfig& config) {
  config.WriteBool(kWatermarking, "AcceptDefaults", AcceptDefaults);
  config.WriteBool(kWatermarking, "SaveAsDefaults", SaveAsDefaults);
  Destination.SaveSettings(config);
  config.WriteBool(kResize, "DoResize", DoResize);
  config.WriteInteger(kResize, "ResizePriority", ResizePriority);
  Resize.SaveSettings(config);
  config.WriteBool(kWatermarking, "JpegKeepBlocks", JpegKeepBlocks);
  config.WriteBool(kWatermarking, "StopOnError", StopOnError);
}

bool ReadStopOnError(const TConfig& config, const char* section) {
  return config.ReadBool(section, "StopOnError", true);
}

int32_t ReadJobs(const TConfig& config) { return config.ReadInteger("GlobalOptions", "Jobs", 0); }

}  // namespace tvx
