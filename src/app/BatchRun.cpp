#include "app/BatchRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>

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

// A watermark without layers changes no pixel: the source is copied as it is.
void CopyFileBytes(const std::string& source, TAtomicFile& target) {
  // Opening a FIFO or a device would wait or read forever: only files are copied.
  struct stat st;
  if (stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) RaiseError("CopyFile", 1, "Cannot read " + source + "!");
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

void RemoveSource(const std::string& source, const std::string& output) {
  // An output written over its own source must not be deleted after it.
  if (source == output) return;
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

std::vector<std::string> FormatRows(const TPluginManager& plugins) {
  return OutputFormatNames(plugins.Formats());
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
      destination.KeepOriginalFormat, destination.OutputFormat(FormatRows(plugins_)), destination.OutputFolder(),
      destination.AddSuffix(), suffix);
}

bool TBatchRunner::RedrawBlocks(const std::string& source, const std::string& pending, size_t index, size_t count,
                                TRunWatermark& watermark, TExifParameters& pictureParameters,
                                TRunProgress& progress) {
  // A source no plug-in reads goes the usual way, which reports it.
  if (!plugins_.IsSupported(ExtractFileExt(source), false)) return false;
  const TPictureSize size = plugins_.LoadBitmapInfo(source);
  if (size.Width <= 0 || size.Height <= 0) return false;
  // As the usual way sets them: macros may name the picture's size, so the
  // layers are laid out for it before the plug-in asks where they go.
  pictureParameters = plugins_.GetExif(source);
  pictureParameters.FileName = source;
  pictureParameters.Index = static_cast<int32_t>(index + 1);
  pictureParameters.Count = static_cast<int32_t>(count);
  pictureParameters.Width = size.Width;
  pictureParameters.Height = size.Height;
  watermark.RefreshContents(pictureParameters);
  TWatermarkPainter painter(watermark);
  TRegionEditReport report;
  plugins_.EditRegions(source, pending, painter, report);
  painter.RaiseKeptError();
  if (report.Result == TRegionEditReport::Written) {
    progress.WrittenBy("kept the JPEG's blocks, " + std::to_string(report.UnitsRedrawn) + " of " +
                       std::to_string(report.Units) + " MCUs redrawn (" + report.Note + ")");
    return true;
  }
  progress.WrittenBy("whole picture drawn and encoded (" +
                     (report.Note.empty() ? std::string("not handled") : report.Note) + ")");
  return false;
}

TBatchRunner::TOutputChoice TBatchRunner::ChooseOutput(const std::string& title, const std::string& source,
                                                       const TDestinationSettings& destination,
                                                       const std::string& suffix, std::string& output) {
  output = NextOutputName(source, destination, suffix);
  if (!PathExists(output)) return TOutputChoice::Write;
  switch (destination.OverwriteExisting) {
    case owSkip:
      return TOutputChoice::Skip;
    case owReplace:
      return TOutputChoice::Write;
    case owRename:
      while (PathExists(output)) output = NextOutputName(source, destination, suffix);
      return TOutputChoice::Write;
    default:
      switch (question_.Ask(title, "Replace " + output + "?")) {
        case TAnswer::Yes:
          return TOutputChoice::Write;
        case TAnswer::No:
          return TOutputChoice::Skip;
        default:
          return TOutputChoice::Cancel;
      }
  }
}

TBatchRunner::TRowStart TBatchRunner::StartRow(const std::vector<std::string>& paths, size_t index,
                                               const std::string& title, const TDestinationSettings& destination,
                                               const std::string& suffix, TRunProgress& progress, TRunStats& counts,
                                               std::string& output) {
  const std::string& source = paths[index];
  progress.AtFile(static_cast<int32_t>(index + 1), static_cast<int32_t>(paths.size()), source);
  if (!FileExists(source)) {
    ++counts.Missing;
    return progress.AdvanceAndCheckCancel(3) ? TRowStart::Cancel : TRowStart::Next;
  }
  switch (ChooseOutput(title, source, destination, suffix, output)) {
    case TOutputChoice::Cancel:
      return TRowStart::Cancel;
    case TOutputChoice::Skip:
      ++counts.Skipped;
      return TRowStart::Next;
    default:
      return TRowStart::Process;
  }
}

TRunEnd TBatchRunner::ProcessFiles(const std::vector<std::string>& paths, const TOutputSettings& settings,
                                   TRunWatermark& watermark, TExifParameters& pictureParameters,
                                   TRunProgress& progress, TRunStats* stats) {
  TRunStats local;
  TRunStats& counts = stats ? *stats : local;
  const TDestinationSettings& destination = settings.Destination;
  SetRunQuality(plugins_, destination.JPEGQuality);
  const bool resize = settings.DoResize;
  const bool resizeFirst = settings.ResizePriority == 0;
  const TResizeParams resizeParams = settings.Resize.GetResizeParams();

  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string source = paths[i];
    std::string output;
    TRowStart start = StartRow(paths, i, "Watermarking", destination, "_wm", progress, counts, output);
    if (start == TRowStart::Cancel) return TRunEnd::Cancelled;
    if (start == TRowStart::Next) continue;

    const bool layers = watermark.HasLayers();
    std::unique_ptr<TBitmap32> picture;
    TAtomicFile pending(output, kPendingOutput);
    // "Keep JPEG quality": the one place where a picture may take the other
    // way; when it does, it is written already and only its EXIF follows.
    const bool kept = layers && !resize && settings.JpegKeepBlocks &&
                      RedrawBlocks(source, pending.TempPath(), i, paths.size(), watermark, pictureParameters, progress);
    if (kept) {
      ++counts.KeptBlocks;
      if (progress.AdvanceAndCheckCancel(2)) return TRunEnd::Cancelled;
    } else if (layers || resize)
      picture = plugins_.LoadBitmap(source);
    else
      CopyFileBytes(source, pending);

    if (resize && resizeFirst) ResizePicture(*picture, resizeParams);
    if (layers && !kept) {
      if (progress.AdvanceAndCheckCancel(1)) return TRunEnd::Cancelled;
      pictureParameters = plugins_.GetExif(source);
      pictureParameters.FileName = source;
      pictureParameters.Index = static_cast<int32_t>(i + 1);
      pictureParameters.Count = static_cast<int32_t>(paths.size());
      pictureParameters.Width = picture->Width();
      pictureParameters.Height = picture->Height();
      watermark.RefreshContents(pictureParameters);
      watermark.DrawOnto(*picture);
      if (progress.AdvanceAndCheckCancel(1)) return TRunEnd::Cancelled;
    }
    if (resize && !resizeFirst) ResizePicture(*picture, resizeParams);
    if (picture) {
      SaveOrRaise(plugins_, pending.TempPath(), output, *picture);
      picture.reset();
    }
    watermark.ApplyExif(plugins_, source, pending.TempPath());
    pending.Commit();
    if (destination.RemoveOriginalFiles) RemoveSource(source, output);
    ++counts.Written;
    if (progress.AdvanceAndCheckCancel(1)) return TRunEnd::Cancelled;
  }
  return TRunEnd::Completed;
}

TRunEnd TBatchRunner::ResizeFiles(const std::vector<std::string>& paths, const TDestinationSettings& destination,
                                  const TResizeSettings& resize, TRunProgress& progress, TRunStats* stats) {
  TRunStats local;
  TRunStats& counts = stats ? *stats : local;
  SetRunQuality(plugins_, destination.JPEGQuality);
  const TResizeParams params = resize.GetResizeParams();

  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string source = paths[i];
    std::string output;
    TRowStart start = StartRow(paths, i, "Resizing", destination, "_resize", progress, counts, output);
    if (start == TRowStart::Cancel) return TRunEnd::Cancelled;
    if (start == TRowStart::Next) continue;
    std::unique_ptr<TBitmap32> picture = plugins_.LoadBitmap(source);
    if (progress.AdvanceAndCheckCancel(1)) return TRunEnd::Cancelled;
    ResizePicture(*picture, params);
    if (progress.AdvanceAndCheckCancel(1)) return TRunEnd::Cancelled;
    TAtomicFile pending(output, kPendingOutput);
    SaveOrRaise(plugins_, pending.TempPath(), output, *picture);
    picture.reset();
    plugins_.CopyExif(source, pending.TempPath());
    pending.Commit();
    if (destination.RemoveOriginalFiles) RemoveSource(source, output);
    ++counts.Written;
    if (progress.AdvanceAndCheckCancel(1)) return TRunEnd::Cancelled;
  }
  return TRunEnd::Completed;
}

}  // namespace tvx
