#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
  /// Whether Ask would ask the user, rather than give a remembered answer.
  bool WillAsk() const { return remembered_ == TAnswer::Cancel; }

 private:
  TAskFunc ask_;
  TAnswer remembered_ = TAnswer::Cancel;  // Cancel: nothing remembered
};

/// The progress window as the run sees it. Every call comes from the thread
/// that started the run (the user-interface thread in the windows), never
/// from a worker.
class TRunProgress {
 public:
  virtual ~TRunProgress() = default;
  /// Shows the label and resets the bar to 0 of maximum.
  virtual void Begin(const std::string& label, int32_t maximum) = 0;
  /// Adds n to the position, lets the user interface breathe, and returns
  /// true when the user asked to cancel.
  virtual bool AdvanceAndCheckCancel(int32_t n) = 0;
  /// Tells which file the run is at (for text front ends; optional): called
  /// in list order when a row's turn to be committed comes, so with one
  /// worker about when its picture is begun.
  virtual void AtFile(int32_t /*index*/, int32_t /*count*/, const std::string& /*path*/) {}
  /// Called over and over while the run waits for its workers, at least
  /// every WaitSliceMs(): lets the user interface breathe and returns true
  /// when the user asked to cancel. The position does not change.
  virtual bool CheckCancel() { return AdvanceAndCheckCancel(0); }
  /// The longest the run waits for its workers between two CheckCancel calls.
  virtual int WaitSliceMs() const { return 50; }
};

/// What the watermarking run needs of the watermark.
class TRunWatermark {
 public:
  virtual ~TRunWatermark() = default;
  virtual bool HasLayers() const = 0;
  /// Re-expands the macros of every layer that has them from the picture
  /// parameters, which must stay alive until the next call.
  virtual void RefreshContents(const TExifParameters& parameters) = 0;
  /// Draws every layer onto the picture at scale 1.0, in collection order.
  virtual void DrawOnto(TBitmap32& picture) = 0;
  /// Where DrawOnto may change a picture of width x height. The default, the
  /// whole picture, leaves nothing for a plug-in to keep.
  virtual std::vector<TRect> ChangedRects(int32_t width, int32_t height) {
    return {TRect{0, 0, width, height}};
  }
  /// DrawOnto for a window of a picture of width x height that shows it from
  /// (left, top) on, the pixels coming out as in the whole picture. False
  /// when the watermark cannot draw a window alone (the default).
  virtual bool DrawOntoWindow(TBitmap32& /*window*/, int32_t /*left*/, int32_t /*top*/, int32_t /*width*/,
                              int32_t /*height*/) {
    return false;
  }
  /// Copies the source's EXIF block to the output, then writes the chosen fields.
  virtual void ApplyExif(const TPluginManager& plugins, const std::string& source,
                         const std::string& output) = 0;
  /// An independent copy for one worker thread (its own layers, so the
  /// macros fill with its own picture's values), made on the run's thread.
  /// Null when the watermark cannot be copied: the run then uses this object
  /// on a single worker.
  virtual std::unique_ptr<TRunWatermark> Clone() const { return nullptr; }
};

/// How a run ended.
enum class TRunEnd { Completed, Cancelled };

/// What became of one row of the list.
enum class TPictureStatus {
  Written,  ///< decoded, processed and written
  Copied,   ///< a watermark without layers: the source's bytes copied, EXIF written
  Skipped,  ///< the output exists and the policy or the question skipped it
  Missing,  ///< the source no longer existed
  Failed,   ///< an error; nothing is left for it (see Error)
  Planned,  ///< a dry run: what the run would do (see Decision)
};

/// One row's outcome, told in list order when the row is done with (its
/// output renamed into place, or skipped, or failed).
struct TPictureEvent {
  int32_t Index = 0;  ///< 1-based position in the list
  std::string Source;
  std::string Output;  ///< empty when no output was chosen (a missing source)
  TPictureStatus Status = TPictureStatus::Written;
  /// How an existing output is handled: "new" (none there), "replace",
  /// "rename" (a free name was chosen), "skip", "ask" (a dry run: the run
  /// would ask), "missing" (the source does not exist).
  std::string Decision;
  std::string Error;  ///< Failed: the composed message
  int64_t Ms = 0;     ///< time its worker spent on it
  /// With "Keep JPEG quality" on, for a picture drawn and written: "blocks"
  /// (only the watermarked blocks were encoded again) or "whole" (the whole
  /// picture was drawn and encoded); empty otherwise.
  std::string Path = {};
  /// "whole": why the picture could not keep its blocks. "blocks": how it
  /// was written (the span copy, or the coefficients coded anew).
  std::string PathReason = {};
  int64_t Units = 0;         ///< "blocks": the picture's MCUs
  int64_t UnitsRedrawn = 0;  ///< "blocks": of them, drawn and encoded again
};

/// Told about every row, in list order. Called on the run's thread.
class TRunObserver {
 public:
  virtual ~TRunObserver() = default;
  virtual void PictureDone(const TPictureEvent& event) = 0;
};

/// A picture that failed in a run that went on.
struct TRunFailure {
  int32_t Index = 0;
  std::string Source;
  std::string Message;
};

/// Counts of what a run did, for reports.
struct TRunStats {
  int32_t Written = 0;  ///< outputs renamed into place (copies included)
  int32_t Copied = 0;   ///< of them, byte copies of a watermark without layers
  int32_t Skipped = 0;  ///< existing outputs skipped by the policy or the question
  int32_t Missing = 0;  ///< rows whose file no longer existed
  int32_t Failed = 0;   ///< pictures that failed while the run went on
  int32_t Planned = 0;  ///< rows of a dry run
  int32_t KeptBlocks = 0;  ///< of Written, JPEGs with only the watermarked blocks encoded again
  std::vector<TRunFailure> Failures;
};

/// How a run is carried out (what it does is in the settings).
struct TRunOptions {
  /// Worker threads that load, resize, draw, encode and write EXIF; 0: one
  /// per core the process may use (ResolveJobs).
  int32_t Jobs = 1;
  /// true: an error ends the run at its picture and propagates as EError.
  /// false: the picture is reported (event, TRunStats::Failures), nothing is
  /// left for it, its source stays, and the run goes on.
  bool StopOnError = true;
  /// Chooses every output name and overwrite decision as the run would and
  /// reports them (TPictureStatus::Planned); reads and writes no picture,
  /// asks nothing and leaves the naming state as it was.
  bool DryRun = false;
  /// The positions of the list to process, ascending; none: every row.
  /// Indexes and counts (events, macros) stay those of the whole list.
  std::optional<std::vector<size_t>> Rows;
  /// Not owned; may be null.
  TRunObserver* Observer = nullptr;
};

/// Worker threads for a requested count: 0 or less is one per core this
/// process may run on; at most 64.
int32_t ResolveJobs(int32_t requested);

/// The batch runs. One object lives for the whole program so that the
/// naming state is shared by both runs and never reset.
///
/// A run is planned and committed on the calling thread in list order: the
/// output names, the overwrite policy and its question, the progress, the
/// events, renaming each output into place and removing its source. Loading,
/// resizing, drawing, encoding and the EXIF steps run on TRunOptions::Jobs
/// worker threads, each picture into a hidden file beside its output; at most
/// Jobs + 1 pictures are in flight. A row waits for the rows before it
/// whenever one of them writes or removes a file it reads or names, so the
/// files written are the same whatever the number of workers. When a run
/// ends early (an error, a cancel), pictures after that row finished by a
/// worker are discarded and nothing hidden remains; the naming state is left
/// as a run of one worker leaves it.
class TBatchRunner {
 public:
  TBatchRunner(const TPluginManager& plugins, TExtYesNoCancel& question)
      : plugins_(plugins), question_(question) {}

  /// The watermarking run over paths.
  TRunEnd ProcessFiles(const std::vector<std::string>& paths, const TOutputSettings& settings,
                       TRunWatermark& watermark, TRunProgress& progress, const TRunOptions& options = {},
                       TRunStats* stats = nullptr);
  /// The resize run: load, resize, save, copy EXIF; no watermark.
  TRunEnd ResizeFiles(const std::vector<std::string>& paths, const TDestinationSettings& destination,
                      const TResizeSettings& resize, TRunProgress& progress, const TRunOptions& options = {},
                      TRunStats* stats = nullptr);

  TNamingState& NamingState() { return naming_; }

 private:
  friend class TRunEngine;
  std::string NextOutputName(const std::string& source, const TDestinationSettings& destination,
                             const std::string& suffix);
  /// "Keep JPEG quality": lets the plug-in write `pending` with only the
  /// blocks under the watermark redrawn (the picture parameters set and the
  /// macros expanded first: `describe` fills pictureParameters but for the
  /// size). True when it did; otherwise the picture is drawn the usual way.
  /// The event's Path fields say which way it went and why.
  bool RedrawBlocks(const std::string& source, const std::string& pending, TRunWatermark& watermark,
                    const std::function<void()>& describe, TExifParameters& pictureParameters,
                    TPictureEvent& path);

  const TPluginManager& plugins_;
  TExtYesNoCancel& question_;
  TNamingState naming_;
};

}  // namespace tvx
