#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"
#include "output/Naming.h"
#include "output/OutputSettings.h"
#include "raster/Bitmap32.h"

namespace tvx {

class TPluginManager;

/// Answers of the overwrite question.
enum class TAnswer { Yes, No, Cancel, YesToAll, NoToAll };

/// The extended yes/no/cancel question: remembers a "to all" answer for the
/// rest of a run. Ask is the user interface (a dialog, a terminal prompt).
class TExtYesNoCancel {
 public:
  using TAskFunc = std::function<TAnswer(const std::string& title, const std::string& question)>;
  explicit TExtYesNoCancel(TAskFunc ask) : ask_(std::move(ask)) {}
  void SetAsk(TAskFunc ask) { ask_ = std::move(ask); }
  /// Forgets the remembered answer (at the start of every run).
  void Reset() { remembered_ = TAnswer::Cancel; }
  /// Yes, No or Cancel.
  TAnswer Ask(const std::string& title, const std::string& question);

 private:
  TAskFunc ask_;
  TAnswer remembered_ = TAnswer::Cancel;  // Cancel: nothing remembered
};

/// The progress window as the run sees it.
class TRunProgress {
 public:
  virtual ~TRunProgress() = default;
  /// Shows the label and resets the bar to 0 of maximum.
  virtual void Begin(const std::string& label, int32_t maximum) = 0;
  /// Adds n to the position, lets the user interface breathe, and returns
  /// true when the user asked to cancel.
  virtual bool AdvanceAndCheckCancel(int32_t n) = 0;
  /// Tells which file the run is at (for text front ends; optional).
  virtual void AtFile(int32_t /*index*/, int32_t /*count*/, const std::string& /*path*/) {}
  /// Says in a few words which way the file announced last was written,
  /// when there was a choice (for text front ends; optional).
  virtual void WrittenBy(const std::string& /*how*/) {}
};

/// What the watermarking run needs of the watermark.
class TRunWatermark {
 public:
  virtual ~TRunWatermark() = default;
  virtual bool HasLayers() const = 0;
  /// Re-expands the macros of every layer that has them from the picture parameters.
  virtual void RefreshContents(const TExifParameters& parameters) = 0;
  /// Draws every layer onto the picture at scale 1.0, in collection order.
  virtual void DrawOnto(TBitmap32& picture) = 0;
  /// Where DrawOnto may change a picture of width x height. The default, the
  /// whole picture, leaves nothing for a plug-in to keep.
  virtual std::vector<TRect> ChangedRects(int32_t width, int32_t height) { return {TRect{0, 0, width, height}}; }
  /// DrawOnto for a window of a picture of width x height that shows it from
  /// (left, top) on, the pixels coming out as in the whole picture. False
  /// when the watermark cannot draw a window alone (the default).
  virtual bool DrawOntoWindow(TBitmap32& /*window*/, int32_t /*left*/, int32_t /*top*/, int32_t /*width*/,
                              int32_t /*height*/) {
    return false;
  }
  /// Copies the source's EXIF block to the output, then writes the chosen fields.
  virtual void ApplyExif(const TPluginManager& plugins, const std::string& source, const std::string& output) = 0;
};

/// How a run ended.
enum class TRunEnd { Completed, Cancelled };

/// Counts of what a run did, for reports.
struct TRunStats {
  int32_t Written = 0;
  int32_t Skipped = 0;   ///< existing outputs skipped by the policy or the question
  int32_t Missing = 0;   ///< rows whose file no longer existed
  int32_t KeptBlocks = 0;  ///< JPEGs written with only the watermarked blocks encoded again
};

/// The batch runs. One object lives for the whole program so that the
/// naming state is shared by both runs and never reset. Errors of the plug-in
/// manager and of file operations end a run by propagating as EError.
class TBatchRunner {
 public:
  TBatchRunner(const TPluginManager& plugins, TExtYesNoCancel& question)
      : plugins_(plugins), question_(question) {}

  /// The watermarking loop over paths (re-read before each file).
  /// pictureParameters is overwritten per file; the caller restores it.
  TRunEnd ProcessFiles(const std::vector<std::string>& paths, const TOutputSettings& settings,
                       TRunWatermark& watermark, TExifParameters& pictureParameters, TRunProgress& progress,
                       TRunStats* stats = nullptr);
  /// The resize loop: load, resize, save, copy EXIF; no watermark.
  TRunEnd ResizeFiles(const std::vector<std::string>& paths, const TDestinationSettings& destination,
                      const TResizeSettings& resize, TRunProgress& progress, TRunStats* stats = nullptr);

  TNamingState& NamingState() { return naming_; }

 private:
  enum class TOutputChoice { Write, Skip, Cancel };
  enum class TRowStart { Process, Next, Cancel };
  /// The start of every row of both runs: a missing file advances by 3, then
  /// the output name and the overwrite policy decide.
  TRowStart StartRow(const std::vector<std::string>& paths, size_t index, const std::string& title,
                     const TDestinationSettings& destination, const std::string& suffix, TRunProgress& progress,
                     TRunStats& counts, std::string& output);
  TOutputChoice ChooseOutput(const std::string& title, const std::string& source,
                             const TDestinationSettings& destination, const std::string& suffix,
                             std::string& output);
  std::string NextOutputName(const std::string& source, const TDestinationSettings& destination,
                             const std::string& suffix);
  /// "Keep JPEG quality": lets the plug-in write `pending` with only the
  /// blocks under the watermark redrawn (the picture parameters set and the
  /// macros expanded first). True when it did; otherwise the picture is
  /// drawn the usual way.
  bool RedrawBlocks(const std::string& source, const std::string& pending, size_t index, size_t count,
                    TRunWatermark& watermark, TExifParameters& pictureParameters, TRunProgress& progress);

  const TPluginManager& plugins_;
  TExtYesNoCancel& question_;
  TNamingState naming_;
};

}  // namespace tvx
