#include "app/BatchRun.h"

#include <limits.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <exception>
#include <fstream>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "app/WorkerPool.h"
#include "imageio/PluginManager.h"
#include "util/AtomicFile.h"
#include "util/Error.h"

namespace tvx {
namespace {

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The one spelling of the file a path names, for telling whether two rows
// touch the same file: links followed, the folder made absolute and free of
// "." and "..". A folder that does not exist keeps the path as written.
std::string PathKey(const std::string& path) {
  std::string target = path;
  try {
    target = FollowLinks(path);
  } catch (const EError&) {
    // a loop of links: the name itself is all there is to compare
  }
  const std::string folder = ExtractFilePath(target);
  char resolved[PATH_MAX];
  if (!realpath(folder.empty() ? "." : folder.c_str(), resolved)) return target;
  std::string key = resolved;
  if (key.empty() || key.back() != '/') key += '/';
  return key + ExtractFileName(target);
}

// A watermark without layers changes no pixel: the source is copied as it is.
void CopyFileBytes(const std::string& source, TAtomicFile& target) {
  // Opening a FIFO or a device would wait or read forever: only files are copied.
  struct stat st;
  if (stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    RaiseError("CopyFile", 1, "Cannot read " + source + "!");
  std::ifstream in(source, std::ios::binary);
  if (!in) RaiseError("CopyFile", 1, "Cannot read " + source + "!");
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0) target.Write(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) RaiseError("CopyFile", 2, "Cannot read " + source + "!");
}

// An output is made whole under a hidden name beside its final one (the
// picture, then its EXIF, each step written safely by the plug-in) and renamed
// into place in one step. A killed or failing run therefore never leaves a
// picture without its EXIF under the final name, and a source written over is
// either still the original or the finished picture. The source stays
// untouched until then, so its EXIF is read from the source itself. The
// hidden name keeps the extension, which chooses the plug-in; being hidden,
// one left by a killed run is never taken for a picture of the folder.
constexpr TAtomicFile::TTempName kPendingOutput = TAtomicFile::TTempName::KeepExtension;

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void RemoveSource(const std::string& source, const std::string& output) {
  // An output written over its own source (under whatever spelling) must not
  // be deleted after it.
  if (source == output || SameFile(source, output)) return;
  if (unlink(source.c_str()) != 0 && errno != ENOENT)
    RaiseError("RemoveOriginalFile", 1, "Cannot delete " + source + " (" + std::strerror(errno) + ")!");
}

// Saves to `path`; a failure names the output the user asked for.
void SaveOrRaise(const TPluginManager& plugins, const std::string& path, const std::string& output,
                 const TBitmap32& bitmap) {
  if (!plugins.SaveBitmap(path, bitmap)) RaiseError("SaveBitmap", 1, "Error while saving " + output + "!");
}

// The JPEG quality is the quality of every lossy format: ".jpg" first, as
// always, then every other format some plug-in saves (formats without a
// quality ignore it).
void SetRunQuality(const TPluginManager& plugins, int quality) {
  plugins.SetQuality(".jpg", quality);
  for (const TFileFormat& format : plugins.Formats())
    if (format.CanSave && format.Extension != ".jpg") plugins.SetQuality(format.Extension, quality);
}

std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

// The watermark as a plug-in asks for it when it redraws part of a picture.
// Nothing may be thrown into the plug-in: an error is kept and raised again
// once the plug-in has returned.
class TWatermarkPainter final : public TRegionPainter {
 public:
  explicit TWatermarkPainter(TRunWatermark& watermark) : watermark_(watermark) {}

  void ChangedRegions(int32_t width, int32_t height, std::vector<TPictureRect>& regions) override {
    try {
      for (const TRect& r : watermark_.ChangedRects(width, height))
        regions.push_back(TPictureRect{r.Left, r.Top, r.Right, r.Bottom});
    } catch (...) {
      error_ = std::current_exception();
      regions.assign(1, TPictureRect{0, 0, width, height});
    }
  }

  bool PaintWindow(TColor32* pixels, int32_t left, int32_t top, int32_t windowWidth, int32_t windowHeight,
                   int32_t width, int32_t height) override {
    try {
      TBitmap32 window(windowWidth, windowHeight);
      const size_t bytes = size_t(windowWidth) * size_t(windowHeight) * sizeof(TColor32);
      std::memcpy(window.Bits(), pixels, bytes);
      if (!watermark_.DrawOntoWindow(window, left, top, width, height)) return false;
      std::memcpy(pixels, window.Bits(), bytes);
      return true;
    } catch (...) {
      error_ = std::current_exception();
      return false;
    }
  }

  void RaiseKeptError() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  TRunWatermark& watermark_;
  std::exception_ptr error_;
};

}  // namespace

int32_t ResolveJobs(int32_t requested) {
  constexpr int32_t kMaxJobs = 64;
  if (requested > 0) return std::min(requested, kMaxJobs);
  // The cores this process may use: a job runner (Slurm, a container)
  // confines it to fewer than the machine has.
  cpu_set_t set;
  int32_t cores = 0;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
  if (cores <= 0) cores = static_cast<int32_t>(sysconf(_SC_NPROCESSORS_ONLN));
  return std::clamp(cores, 1, kMaxJobs);
}

TAnswer TExtYesNoCancel::Ask(const std::string& title, const std::string& question) {
  if (remembered_ == TAnswer::NoToAll) return TAnswer::No;
  if (remembered_ == TAnswer::YesToAll) return TAnswer::Yes;
  TAnswer answer = ask_ ? ask_(title, question) : TAnswer::Cancel;
  switch (answer) {
    case TAnswer::YesToAll:
      remembered_ = TAnswer::YesToAll;
      return TAnswer::Yes;
    case TAnswer::NoToAll:
      remembered_ = TAnswer::NoToAll;
      return TAnswer::No;
    default:
      return answer;
  }
}

std::string TBatchRunner::NextOutputName(const std::string& source, const TDestinationSettings& destination,
                                         const std::string& suffix) {
  return MakeOutputFileName(
      naming_, [this](const std::string& ext) { return plugins_.IsSupported(ext, true); }, source,
      destination.KeepOriginalFormat, destination.OutputFormat(OutputFormatNames(plugins_.Formats())),
      destination.OutputFolder(), destination.AddSuffix(), suffix);
}

bool TBatchRunner::RedrawBlocks(const std::string& source, const std::string& pending,
                                TRunWatermark& watermark, const std::function<void()>& describe,
                                TExifParameters& pictureParameters, TPictureEvent& path) {
  path.Path = "whole";
  // A source no plug-in reads goes the usual way, which reports it.
  if (!plugins_.IsSupported(ExtractFileExt(source), false)) {
    path.PathReason = "no plug-in reads it";
    return false;
  }
  const TPictureSize size = plugins_.LoadBitmapInfo(source);
  if (size.Width <= 0 || size.Height <= 0) {
    path.PathReason = "no picture size";
    return false;
  }
  // As the usual way sets them: macros may name the picture's size, so the
  // layers are laid out for it before the plug-in asks where they go.
  describe();
  pictureParameters.Width = size.Width;
  pictureParameters.Height = size.Height;
  watermark.RefreshContents(pictureParameters);
  TWatermarkPainter painter(watermark);
  TRegionEditReport report;
  plugins_.EditRegions(source, pending, painter, report);
  painter.RaiseKeptError();
  if (report.Result == TRegionEditReport::Written) {
    path.Path = "blocks";
    path.PathReason = report.Note;
    path.Units = report.Units;
    path.UnitsRedrawn = report.UnitsRedrawn;
    return true;
  }
  path.PathReason = report.Note.empty() ? std::string("not handled") : report.Note;
  return false;
}

// ---- the engine ------------------------------------------------------------------

/// One row on its way through a run.
struct TRunJob {
  enum class TKind { Process, Skip, Missing, Planned };
  TKind Kind = TKind::Process;
  size_t Row = 0;
  std::string Source;
  std::string Output;
  std::string Decision;
  /// Commit may replace a file under the output's name (the policy said so).
  bool MayReplace = false;
  /// The naming state right after this row was named: where a run that ends
  /// at this row leaves it.
  TNamingState NamingAfter;
  std::vector<std::string> Keys;  // files this row writes or removes

  // Written by the worker, read by the run's thread once Done is set.
  std::unique_ptr<TAtomicFile> Pending;
  std::exception_ptr Error;
  bool Vanished = false;  // the source was gone when the worker failed on it
  int64_t Ms = 0;
  TPictureEvent Path;  // Path, PathReason, Units, UnitsRedrawn: which way it was written
  std::atomic<bool> Done{false};
};

/// What differs between the two runs.
struct TRunKind {
  std::string Title;   // of the question
  std::string Suffix;  // of the output names
  const TDestinationSettings* Destination = nullptr;
  /// Progress steps (each +1 and a cancel check) a picture takes before its
  /// output is renamed into place; one more follows it.
  int32_t StepsBeforeCommit = 0;
  bool Copies = false;  // outputs are byte copies (a watermark without layers)
  /// The worker's part for one row; `stopping` says the run is ending.
  std::function<void(TRunJob& job, size_t worker, const std::atomic<bool>& stopping)> Work;
};

/// A run of the batch runner: plans rows in list order, hands pictures to
/// the workers and commits them in list order.
class TRunEngine {
 public:
  TRunEngine(TBatchRunner& runner, const std::vector<std::string>& paths, const TRunKind& kind,
             TRunProgress& progress, const TRunOptions& options, TRunStats& stats, size_t jobs)
      : runner_(runner),
        paths_(paths),
        kind_(kind),
        progress_(progress),
        options_(options),
        stats_(stats),
        jobs_(std::max<size_t>(jobs, 1)) {}

  TRunEnd Run();

 private:
  struct TCancelled {};

  void PlanRow(size_t row);
  /// The policy for an existing output; false: the question was cancelled.
  bool ApplyPolicy(TRunJob& job);
  void Push(std::unique_ptr<TRunJob> job);
  void CommitFront();
  void CommitPicture(TRunJob& job);
  void Failed(TRunJob& job, const std::exception_ptr& error, int32_t steps);
  /// Ends the run at this row: the naming state as it was after it.
  [[noreturn]] void CancelAt(const TRunJob& job);
  void Advance(const TRunJob& job, int32_t n) {
    if (progress_.AdvanceAndCheckCancel(n)) CancelAt(job);
  }
  void WaitFor(const TRunJob& job);
  void Drain() {
    while (!queue_.empty()) CommitFront();
  }
  bool Touched(const std::string& key) const { return !options_.DryRun && touched_.count(key) > 0; }
  void DrainIfTouched(const std::string& key) {
    if (Touched(key)) Drain();
  }
  bool SourcePresent(const std::string& path, const std::string& key) const;
  bool OutputPresent(const std::string& path, const std::string& key) const;
  void Report(const TRunJob& job, TPictureStatus status, const std::string& error = {});
  void Shutdown();

  TBatchRunner& runner_;
  const std::vector<std::string>& paths_;
  const TRunKind& kind_;
  TRunProgress& progress_;
  const TRunOptions& options_;
  TRunStats& stats_;
  const size_t jobs_;

  std::unique_ptr<TWorkerPool> pool_;
  std::atomic<bool> stopping_{false};
  std::deque<std::unique_ptr<TRunJob>> queue_;  // rows planned and not committed, in list order
  size_t picturesInFlight_ = 0;
  std::unordered_multiset<std::string> touched_;  // Keys of the pictures in flight
  // A dry run's picture of the files: what earlier rows would write or remove.
  std::unordered_set<std::string> created_, removed_;
};

TRunEnd TRunEngine::Run() {
  std::vector<size_t> all;
  if (!options_.Rows) {
    all.resize(paths_.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  }
  const std::vector<size_t>& rows = options_.Rows ? *options_.Rows : all;
  const TNamingState namingBefore = runner_.naming_;
  if (!options_.DryRun) pool_ = std::make_unique<TWorkerPool>(jobs_);
  // A worker decodes while the picture before it is written and one more
  // waits to be committed: the pipeline stays full with one picture more
  // than there are workers, and memory stays bounded by that.
  const size_t limit = jobs_ + 1;

  TRunEnd end = TRunEnd::Completed;
  try {
    for (size_t row : rows) {
      if (row >= paths_.size()) continue;
      // What is finished is reported as soon as its turn comes.
      while (!queue_.empty() &&
             (queue_.front()->Kind != TRunJob::TKind::Process || queue_.front()->Done.load()))
        CommitFront();
      while (picturesInFlight_ >= limit) CommitFront();
      PlanRow(row);
    }
    Drain();
  } catch (const TCancelled&) {
    end = TRunEnd::Cancelled;
  } catch (...) {
    Shutdown();
    if (options_.DryRun) runner_.naming_ = namingBefore;
    throw;
  }
  Shutdown();
  if (options_.DryRun) runner_.naming_ = namingBefore;
  return end;
}

bool TRunEngine::SourcePresent(const std::string& path, const std::string& key) const {
  if (!options_.DryRun) return FileExists(path);
  if (created_.count(key)) return true;
  return !removed_.count(key) && FileExists(path);
}

bool TRunEngine::OutputPresent(const std::string& path, const std::string& key) const {
  if (!options_.DryRun) return PathExists(path);
  if (created_.count(key)) return true;
  return !removed_.count(key) && PathExists(path);
}

void TRunEngine::PlanRow(size_t row) {
  auto job = std::make_unique<TRunJob>();
  job->Row = row;
  job->Source = paths_[row];
  const std::string sourceKey = PathKey(job->Source);
  // A row before this one writes or removes this source: its turn comes first.
  DrainIfTouched(sourceKey);
  if (!SourcePresent(job->Source, sourceKey)) {
    job->Kind = options_.DryRun ? TRunJob::TKind::Planned : TRunJob::TKind::Missing;
    job->Decision = "missing";
    job->NamingAfter = runner_.naming_;
    Push(std::move(job));
    return;
  }
  const TDestinationSettings& destination = *kind_.Destination;
  job->Output = runner_.NextOutputName(job->Source, destination, kind_.Suffix);
  // A row before this one writes this output: the policy sees what it left.
  const std::string outputKey = PathKey(job->Output);
  DrainIfTouched(outputKey);
  bool carryOn = true;
  if (OutputPresent(job->Output, outputKey))
    carryOn = ApplyPolicy(*job);
  else
    job->Decision = "new";
  job->NamingAfter = runner_.naming_;
  if (!carryOn) {
    // Cancel in the question: what came before is committed, nothing of this row.
    Drain();
    throw TCancelled{};
  }
  if (job->Decision == "skip") {
    job->Kind = options_.DryRun ? TRunJob::TKind::Planned : TRunJob::TKind::Skip;
    Push(std::move(job));
    return;
  }
  job->Kind = options_.DryRun ? TRunJob::TKind::Planned : TRunJob::TKind::Process;
  job->Keys.push_back(PathKey(job->Output));
  if (destination.RemoveOriginalFiles && job->Keys.front() != sourceKey) job->Keys.push_back(sourceKey);
  if (options_.DryRun) {
    created_.insert(job->Keys.front());
    removed_.erase(job->Keys.front());
    if (job->Keys.size() > 1) {
      removed_.insert(sourceKey);
      created_.erase(sourceKey);
    }
  }
  Push(std::move(job));
}

bool TRunEngine::ApplyPolicy(TRunJob& job) {
  const TDestinationSettings& destination = *kind_.Destination;
  switch (destination.OverwriteExisting) {
    case owSkip:
      job.Decision = "skip";
      return true;
    case owReplace:
      job.Decision = "replace";
      job.MayReplace = true;
      return true;
    case owRename:
      job.Decision = "rename";
      for (;;) {
        job.Output = runner_.NextOutputName(job.Source, destination, kind_.Suffix);
        const std::string key = PathKey(job.Output);
        DrainIfTouched(key);
        if (!OutputPresent(job.Output, key)) break;
      }
      return true;
    default:
      break;
  }
  if (options_.DryRun) {
    job.Decision = "ask";
    job.MayReplace = true;
    return true;
  }
  // A question about a row that a failing row before it would never reach
  // is not asked: when a failure ends the run, the rows before go first.
  if (options_.StopOnError && runner_.question_.WillAsk()) Drain();
  switch (runner_.question_.Ask(kind_.Title, "Replace " + job.Output + "?")) {
    case TAnswer::Yes:
      job.Decision = "replace";
      job.MayReplace = true;
      return true;
    case TAnswer::No:
      job.Decision = "skip";
      return true;
    default:
      return false;
  }
}

void TRunEngine::Push(std::unique_ptr<TRunJob> job) {
  if (job->Kind == TRunJob::TKind::Process) {
    for (const std::string& key : job->Keys) touched_.insert(key);
    ++picturesInFlight_;
    TRunJob* raw = job.get();
    pool_->Submit([this, raw](size_t worker) {
      const auto started = std::chrono::steady_clock::now();
      try {
        if (!stopping_.load()) kind_.Work(*raw, worker, stopping_);
      } catch (...) {
        raw->Error = std::current_exception();
        raw->Vanished = !FileExists(raw->Source);
      }
      raw->Ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
              .count();
      raw->Done.store(true);
    });
  }
  queue_.push_back(std::move(job));
}

void TRunEngine::WaitFor(const TRunJob& job) {
  const auto slice = std::chrono::milliseconds(std::max(progress_.WaitSliceMs(), 1));
  while (!pool_->WaitUntil([&job] { return job.Done.load(); }, slice))
    if (progress_.CheckCancel()) CancelAt(job);
}

void TRunEngine::CancelAt(const TRunJob& job) {
  runner_.naming_ = job.NamingAfter;
  throw TCancelled{};
}

void TRunEngine::Report(const TRunJob& job, TPictureStatus status, const std::string& error) {
  if (!options_.Observer) return;
  TPictureEvent event;
  event.Index = static_cast<int32_t>(job.Row + 1);
  event.Source = job.Source;
  event.Output = job.Output;
  event.Status = status;
  event.Decision = job.Decision;
  event.Error = error;
  event.Ms = job.Ms;
  if (status == TPictureStatus::Written && !job.Path.Path.empty()) {
    event.Path = job.Path.Path;
    event.PathReason = job.Path.PathReason;
    event.Units = job.Path.Units;
    event.UnitsRedrawn = job.Path.UnitsRedrawn;
  }
  options_.Observer->PictureDone(event);
}

void TRunEngine::CommitFront() {
  TRunJob& job = *queue_.front();
  // The row whose turn it is: with one worker, the picture being made.
  progress_.AtFile(static_cast<int32_t>(job.Row + 1), static_cast<int32_t>(paths_.size()), job.Source);
  switch (job.Kind) {
    case TRunJob::TKind::Planned:
      ++stats_.Planned;
      Report(job, TPictureStatus::Planned);
      break;
    case TRunJob::TKind::Missing:
      ++stats_.Missing;
      Report(job, TPictureStatus::Missing);
      Advance(job, 3);
      break;
    case TRunJob::TKind::Skip:
      ++stats_.Skipped;
      Report(job, TPictureStatus::Skipped);
      break;
    case TRunJob::TKind::Process:
      WaitFor(job);
      CommitPicture(job);
      for (const std::string& key : job.Keys) touched_.erase(touched_.find(key));
      --picturesInFlight_;
      break;
  }
  queue_.pop_front();
}

void TRunEngine::CommitPicture(TRunJob& job) {
  if (job.Error && job.Vanished) {
    // Deleted after it was planned: the row a run of one worker finds missing.
    job.Pending.reset();
    ++stats_.Missing;
    Report(job, TPictureStatus::Missing);
    Advance(job, 3);
    return;
  }
  if (job.Error) {
    Failed(job, job.Error, kind_.StepsBeforeCommit + 1);
    return;
  }
  // The checks a run of one worker makes while the picture is being made.
  for (int32_t step = 0; step < kind_.StepsBeforeCommit; ++step) Advance(job, 1);
  try {
    job.Pending->Commit(job.MayReplace ? TAtomicFile::TCommitMode::Replace
                                       : TAtomicFile::TCommitMode::KeepExisting);
    job.Pending.reset();
  } catch (...) {
    Failed(job, std::current_exception(), 1);
    return;
  }
  try {
    if (kind_.Destination->RemoveOriginalFiles) RemoveSource(job.Source, job.Output);
  } catch (...) {
    Failed(job, std::current_exception(), 1);
    return;
  }
  ++stats_.Written;
  if (kind_.Copies) ++stats_.Copied;
  if (job.Path.Path == "blocks") ++stats_.KeptBlocks;
  Report(job, kind_.Copies ? TPictureStatus::Copied : TPictureStatus::Written);
  Advance(job, 1);
}

void TRunEngine::Failed(TRunJob& job, const std::exception_ptr& error, int32_t steps) {
  job.Pending.reset();  // nothing is left of it
  ++stats_.Failed;
  const std::string message = MessageOf(error);
  stats_.Failures.push_back({static_cast<int32_t>(job.Row + 1), job.Source, message});
  Report(job, TPictureStatus::Failed, message);
  if (options_.StopOnError) {
    runner_.naming_ = job.NamingAfter;
    std::rethrow_exception(error);
  }
  Advance(job, steps);
}

void TRunEngine::Shutdown() {
  stopping_.store(true);
  if (pool_) {
    pool_->DropQueued();
    // Workers finish the step they are at; the window stays alive meanwhile.
    const auto slice = std::chrono::milliseconds(std::max(progress_.WaitSliceMs(), 1));
    while (!pool_->WaitIdle(slice)) progress_.CheckCancel();
  }
  // Pictures after the end: their hidden files go with them.
  queue_.clear();
  touched_.clear();
  picturesInFlight_ = 0;
  pool_.reset();
}

// ---- the two runs -------------------------------------------------------------------

TRunEnd TBatchRunner::ProcessFiles(const std::vector<std::string>& paths, const TOutputSettings& settings,
                                   TRunWatermark& watermark, TRunProgress& progress,
                                   const TRunOptions& options, TRunStats* stats) {
  TRunStats local;
  TRunStats& counts = stats ? *stats : local;
  const TDestinationSettings& destination = settings.Destination;
  SetRunQuality(plugins_, destination.JPEGQuality);
  const bool layers = watermark.HasLayers();
  const bool resize = settings.DoResize;
  const bool resizeFirst = settings.ResizePriority == 0;
  const TResizeParams resizeParams = settings.Resize.GetResizeParams();
  const int32_t count = static_cast<int32_t>(paths.size());

  // Every worker draws with its own copy of the watermark.
  size_t jobs = options.DryRun ? 1 : static_cast<size_t>(ResolveJobs(options.Jobs));
  std::vector<std::unique_ptr<TRunWatermark>> copies;
  std::vector<TRunWatermark*> marks;
  if (!options.DryRun) {
    for (size_t i = 0; i < jobs; ++i) {
      copies.push_back(watermark.Clone());
      if (!copies.back()) break;
      marks.push_back(copies.back().get());
    }
  }
  if (marks.size() < jobs) {
    marks.assign(1, &watermark);
    jobs = 1;
  }
  std::vector<TExifParameters> parameters(jobs);

  TRunKind kind;
  kind.Title = "Watermarking";
  kind.Suffix = "_wm";
  kind.Destination = &destination;
  kind.StepsBeforeCommit = layers ? 2 : 0;
  kind.Copies = !layers && !resize;
  kind.Work = [&](TRunJob& job, size_t worker, const std::atomic<bool>& stopping) {
    TRunWatermark& mark = *marks[worker];
    const std::string& source = job.Source;
    job.Pending = std::make_unique<TAtomicFile>(job.Output, kPendingOutput);
    TAtomicFile& pending = *job.Pending;
    std::unique_ptr<TBitmap32> picture;
    TExifParameters& p = parameters[worker];
    // The macros' values of this picture; its size is set once it is known.
    const auto describe = [&] {
      p = plugins_.GetExif(source);
      p.FileName = source;
      p.Index = static_cast<int32_t>(job.Row + 1);
      p.Count = count;
    };
    // "Keep JPEG quality": the one place where a picture may take the other
    // way; when it does, it is written already and only its EXIF follows.
    bool kept = false;
    if (layers && settings.JpegKeepBlocks) {
      if (resize) {
        job.Path.Path = "whole";
        job.Path.PathReason = "resized";
      } else
        kept = RedrawBlocks(source, pending.TempPath(), mark, describe, p, job.Path);
    }
    if (layers || resize) {
      if (!kept) picture = plugins_.LoadBitmapAdopted(source);
    } else {
      CopyFileBytes(source, pending);
    }
    if (stopping.load()) return;
    if (resize && resizeFirst) ResizePicture(*picture, resizeParams);
    if (layers && !kept) {
      describe();
      p.Width = picture->Width();
      p.Height = picture->Height();
      mark.RefreshContents(p);
      mark.DrawOnto(*picture);
      if (stopping.load()) return;
    }
    if (resize && !resizeFirst) ResizePicture(*picture, resizeParams);
    if (picture) {
      SaveOrRaise(plugins_, pending.TempPath(), job.Output, *picture);
      picture.reset();
    }
    mark.ApplyExif(plugins_, source, pending.TempPath());
    pending.Flush();
  };
  TRunEngine engine(*this, paths, kind, progress, options, counts, jobs);
  return engine.Run();
}

TRunEnd TBatchRunner::ResizeFiles(const std::vector<std::string>& paths,
                                  const TDestinationSettings& destination, const TResizeSettings& resize,
                                  TRunProgress& progress, const TRunOptions& options, TRunStats* stats) {
  TRunStats local;
  TRunStats& counts = stats ? *stats : local;
  SetRunQuality(plugins_, destination.JPEGQuality);
  const TResizeParams params = resize.GetResizeParams();

  TRunKind kind;
  kind.Title = "Resizing";
  kind.Suffix = "_resize";
  kind.Destination = &destination;
  kind.StepsBeforeCommit = 2;
  kind.Work = [&](TRunJob& job, size_t, const std::atomic<bool>& stopping) {
    std::unique_ptr<TBitmap32> picture = plugins_.LoadBitmapAdopted(job.Source);
    if (stopping.load()) return;
    ResizePicture(*picture, params);
    if (stopping.load()) return;
    job.Pending = std::make_unique<TAtomicFile>(job.Output, kPendingOutput);
    SaveOrRaise(plugins_, job.Pending->TempPath(), job.Output, *picture);
    picture.reset();
    plugins_.CopyExif(job.Source, job.Pending->TempPath());
    job.Pending->Flush();
  };
  TRunEngine engine(*this, paths, kind, progress, options, counts,
                    options.DryRun ? 1 : static_cast<size_t>(ResolveJobs(options.Jobs)));
  return engine.Run();
}

}  // namespace tvx
