#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvx {

/// One option of the command line that acts on the program's state, in the
/// order given.
struct TCommandLineAction {
  enum TKind { OpenWatermark, AddPattern, AddFolder, AddManifest };
  TKind Kind;
  std::string Value;     ///< the watermark file, the pattern, the folder or the list of pictures
  std::string NamePart;  ///< "-ar" only: the optional text the names must contain
};

/// "--shard I/N": this process does shard I of N (0 <= I < N).
struct TShard {
  int32_t Index = 0;
  int32_t Count = 1;
};

/// The command line: "-w" file, "-r", "-s", "-q", "-a" pattern, "-ar"
/// folder [text]. Options are case-sensitive and examined one by one; an
/// option with a value takes the next argument, which is then examined in
/// its own turn as well. An argument that is neither an option nor an
/// option's value names a file to open (a watermark, a picture or a folder
/// of pictures), as a file manager passes them; so does every argument after
/// "--". Other arguments starting with "-" are ignored.
///
/// The program's own options begin with "--" (and "-h"); one with a value
/// takes the next argument or the text after "=" ("--jobs 2", "--jobs=2"),
/// and that value is neither examined as an option nor taken for a file.
struct TCommandLine {
  bool Run = false;           ///< "-r"
  bool SkipSettings = false;  ///< "-s"
  bool QuitAfterRun = false;  ///< "-q"
  std::vector<TCommandLineAction> Actions;
  /// The files to open, in their order, opened after the actions above.
  std::vector<std::string> Files;
  // Options of this program's own (not examined as the options above):
  bool Help = false;                      ///< "--help", "-h"
  bool Version = false;                   ///< "--version"
  bool NoGui = false;                     ///< "--no-gui"
  std::optional<std::string> ConfigFile;  ///< "--config FILE"
  std::optional<int32_t> Jobs;            ///< "--jobs N": worker threads, 0 one per core
  std::optional<TShard> Shard;            ///< "--shard I/N"
  bool NullSeparated = false;             ///< "--null": the "--files-from" lists are NUL-separated
  bool JsonProgress = false;              ///< "--progress jsonl"
  bool DryRun = false;                    ///< "--dry-run"
  bool KeepGoing = false;                 ///< "--keep-going"
  /// "--jpeg-keep-blocks": the run keeps every JPEG block the watermark does
  /// not touch, whatever the stored setting says.
  bool JpegKeepBlocks = false;
  /// "--overwrite ask|skip|replace|rename": the policy for existing outputs
  /// (TOverwritePolicy), instead of the stored one.
  std::optional<int32_t> Overwrite;
  /// What could not be understood ("--jobs two", a missing value), one
  /// message each, in order.
  std::vector<std::string> Errors;
};

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// Makes the relative paths of the files absolute against folder (the
/// working folder of the process that was started with them), so that the
/// list shows full paths and another process reads the same files.
void ResolveFiles(TCommandLine& commandLine, const std::string& folder);

}  // namespace tvx
