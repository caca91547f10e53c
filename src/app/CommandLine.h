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

/// The layer options of the command line; each is unset until given.
struct TLayerOptions {
  std::optional<std::string> Position;  ///< "top-left" ... "bottom-right" (kPositions)
  std::optional<double> Margin;         ///< percent of the picture's shorter side
  std::optional<double> Size;           ///< percent of the shorter side: text line height, logo width
  std::optional<double> Opacity;        ///< percent
  std::optional<std::string> Font;      ///< family name
  std::optional<uint32_t> Color;        ///< system colour value 0x00BBGGRR
  std::optional<bool> Shadow;           ///< the default drop shadow
  std::optional<bool> Tile;
  std::optional<double> Rotate;         ///< degrees
};

/// The defaults of the layer options.
inline constexpr const char* kDefaultPosition = "bottom-right";
inline constexpr double kDefaultMargin = 3;
inline constexpr double kDefaultSize = 5;
inline constexpr double kDefaultOpacity = 100;
inline constexpr uint32_t kDefaultColor = 0x00FFFFFF;  // white

/// The names "--position" takes, row by row from the top left.
inline constexpr const char* kPositions[9] = {"top-left", "top", "top-right", "left", "center",
                                              "right", "bottom-left", "bottom", "bottom-right"};

/// One "--text" or "--logo" of the command line with the options given after
/// it (before the next one).
struct TLayerRequest {
  enum TKind { Text, Logo };
  TKind Kind = Text;
  std::string Value;  ///< the text (macros allowed) or the picture file
  TLayerOptions Options;
};

/// Output settings for one run, over the stored ones; never saved.
struct TOutputOverrides {
  std::optional<std::string> Folder;     ///< "--output DIR"
  std::optional<int32_t> Placement;      ///< TPlacement: "--output", "--in-place", "--suffix"
  std::optional<std::string> Format;     ///< "--format": an extension without dot, or "keep"
  std::optional<int32_t> Quality;        ///< "--quality N"
  bool RemoveOriginals = false;          ///< "--remove-originals"
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
/// and that value is neither examined as an option nor taken for a file. An
/// argument starting with "--" that is none of them is an error, so that a
/// mistyped option never lets a run go on without it.
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
  /// "--text" and "--logo" in their order (the first at the bottom), and the
  /// layer options given before the first of them: the defaults of every layer.
  std::vector<TLayerRequest> Layers;
  TLayerOptions LayerDefaults;
  std::optional<std::string> SaveWatermark;  ///< "--save-watermark FILE.tvx"
  std::optional<std::string> Describe;       ///< "--describe FILE.tvx"
  TOutputOverrides Output;
  /// What could not be understood ("--jobs two", a missing value), one
  /// message each, in order.
  std::vector<std::string> Errors;
};

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The options of one layer with every value decided.
struct TLayerValues {
  std::string Position = kDefaultPosition;
  double Margin = kDefaultMargin;
  double Size = kDefaultSize;
  double Opacity = kDefaultOpacity;
  std::string Font;  ///< empty: the text layer's own default family
  uint32_t Color = kDefaultColor;
  bool Shadow = false;
  bool Tile = false;
  double Rotate = 0;
};

/// The layer's value of each option, else the default given before the first
/// layer, else the built-in default.
TLayerValues ResolveLayerOptions(const TLayerOptions& layer, const TLayerOptions& defaults);

/// Makes the relative paths of the files absolute against folder (the
/// working folder of the process that was started with them), so that the
/// list shows full paths and another process reads the same files.
void ResolveFiles(TCommandLine& commandLine, const std::string& folder);

}  // namespace tvx
