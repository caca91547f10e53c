#include "app/Session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "app/QuickWatermark.h"
#include "styles/Styles.h"
#include "util/Error.h"
#include "util/Paths.h"
#include "util/Stream.h"
#include "util/Utils.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/BaseLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The list starts with the masks of the usual picture names and gains one
// per loadable format (duplicates are harmless).
std::vector<std::string> LoadMasks(const TPluginManager& plugins) {
  std::vector<std::string> formatMasks;
  BuildOpenFilter(plugins.Formats(), formatMasks);
  std::vector<std::string> masks = {"*.jpg", "*.jpeg", "*.bmp"};
  masks.insert(masks.end(), formatMasks.begin(), formatMasks.end());
  return masks;
}

// A watermark of its own for one worker of a run, read from the bytes of a
// watermark file, so that its text layers expand the macros of the worker's
// picture and render with the worker's fonts.
class TWatermarkCopy : public TRunWatermark {
 public:
  explicit TWatermarkCopy(std::shared_ptr<const std::vector<uint8_t>> bytes) : bytes_(std::move(bytes)) {
    TMemoryStream stream(*bytes_);
    OpenWatermark(stream, layers_, exif_);
  }
  ~TWatermarkCopy() override { layers_.Clear(); }
  bool HasLayers() const override { return layers_.Count() > 0; }
  void RefreshContents(const TExifParameters& parameters) override {
    SetPictureParameters(layers_, &parameters);
    RefreshMacroLayers(layers_);
  }
  void DrawOnto(TBitmap32& picture) override { DrawWatermark(layers_, picture, 1.0); }
  std::vector<TRect> ChangedRects(int32_t width, int32_t height) override {
    return WatermarkChangedRects(layers_, width, height);
  }
  bool DrawOntoWindow(TBitmap32& window, int32_t left, int32_t top, int32_t width, int32_t height) override {
    DrawWatermarkWindow(layers_, window, left, top, width, height);
    return true;
  }
  void ApplyExif(const TPluginManager& plugins, const std::string& source, const std::string& output) override {
    Watermark::ApplyWatermarkExif(plugins, exif_, source, output);
  }
  std::unique_ptr<TRunWatermark> Clone() const override { return std::make_unique<TWatermarkCopy>(bytes_); }

 private:
  std::shared_ptr<const std::vector<uint8_t>> bytes_;
  TLayerCollection layers_;
  Watermark::TWatermarkExif exif_;
};

// The current watermark as the batch run sees it. The run draws with copies
// of it (one per worker); the layers themselves stay with the preview.
class TSessionWatermark : public TRunWatermark {
 public:
  TSessionWatermark(TLayerCollection& layers, const Watermark::TWatermarkExif& exif) : layers_(layers), exif_(exif) {}
  bool HasLayers() const override { return layers_.Count() > 0; }
  void RefreshContents(const TExifParameters& parameters) override {
    SetPictureParameters(layers_, &parameters);
    RefreshMacroLayers(layers_);
  }
  void DrawOnto(TBitmap32& picture) override { DrawWatermark(layers_, picture, 1.0); }
  std::vector<TRect> ChangedRects(int32_t width, int32_t height) override {
    return WatermarkChangedRects(layers_, width, height);
  }
  bool DrawOntoWindow(TBitmap32& window, int32_t left, int32_t top, int32_t width, int32_t height) override {
    DrawWatermarkWindow(layers_, window, left, top, width, height);
    return true;
  }
  void ApplyExif(const TPluginManager& plugins, const std::string& source, const std::string& output) override {
    Watermark::ApplyWatermarkExif(plugins, exif_, source, output);
  }
  std::unique_ptr<TRunWatermark> Clone() const override {
    if (!bytes_) {
      TMemoryStream stream;
      SaveWatermark(stream, layers_, exif_);
      bytes_ = std::make_shared<const std::vector<uint8_t>>(stream.TakeBytes());
    }
    return std::make_unique<TWatermarkCopy>(bytes_);
  }

 private:
  TLayerCollection& layers_;
  const Watermark::TWatermarkExif& exif_;
  mutable std::shared_ptr<const std::vector<uint8_t>> bytes_;  // read once per run
};

std::string ReadAll(const std::string& file) {
  const bool standardInput = file == "-";
  FILE* in = standardInput ? stdin : std::fopen(file.c_str(), "rb");
  if (!in)
    RaiseError("ReadManifest", 1,
               "Cannot read the list of pictures " + file + " (" + std::strerror(errno) + ")!");
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
  const bool failed = std::ferror(in) != 0;
  if (!standardInput) std::fclose(in);
  if (failed) RaiseError("ReadManifest", 2, "Cannot read the list of pictures " + file + "!");
  return text;
}

std::string FullPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  static const std::string cwd = [] {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? IncludeTrailingPathDelimiter(buffer) : std::string();
  }();
  return cwd + path;
}

}  // namespace

size_t TImageList::Add(const std::vector<std::string>& paths) {
  size_t added = 0;
  for (const std::string& path : paths) {
    bool accepted = Masks.empty();
    for (size_t i = 0; !accepted && i < Masks.size(); ++i) accepted = MatchesMask(path, Masks[i]);
    if (!accepted) continue;
    Paths.push_back(path);
    ++added;
  }
  return added;
}

size_t TImageList::AddPattern(const std::string& pattern) {
  std::vector<std::string> names;
  FindFiles(pattern, 0, &names, false);
  const std::string folder = ExtractFilePath(pattern);
  for (std::string& name : names) name = folder + name;
  return Add(names);
}

size_t TImageList::AddFolder(const std::string& folder, const std::string& namePart) {
  std::vector<std::string> files;
  FindFilesRecursive(folder, namePart, 0, faDirectory, &files, false);
  return Add(files);
}

std::vector<std::string> SplitManifest(const std::string& text, bool nulSeparated) {
  std::vector<std::string> paths;
  const char separator = nulSeparated ? '\0' : '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string path = text.substr(start, end - start);
    // A list written on Windows ends its lines with CR LF.
    if (!nulSeparated && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths.push_back(std::move(path));
    start = end + 1;
  }
  return paths;
}

size_t TImageList::AddManifest(const std::string& file, bool nulSeparated) {
  return Add(SplitManifest(ReadAll(file), nulSeparated));
}

std::vector<size_t> ShardRows(const std::vector<std::string>& paths, int32_t index, int32_t count) {
  if (count < 1 || index < 0 || index >= count) return {};
  std::vector<std::string> full(paths.size());
  std::transform(paths.begin(), paths.end(), full.begin(), FullPath);
  std::vector<size_t> order(paths.size());
  std::iota(order.begin(), order.end(), size_t{0});
  // The same path twice keeps its list order, so the split is the same on every host.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return full[a] < full[b]; });
  std::vector<size_t> rows;
  for (size_t rank = static_cast<size_t>(index); rank < order.size(); rank += static_cast<size_t>(count))
    rows.push_back(order[rank]);
  std::sort(rows.begin(), rows.end());
  return rows;
}

TSession::TSession(const TOptions& options)
    : config_(std::make_unique<TConfig>(options.ConfigFileName.empty() ? ConfigFileName() : options.ConfigFileName)),
      plugins_(options.PluginFolder.empty() ? std::make_unique<TPluginManager>()
                                            : std::make_unique<TPluginManager>(options.PluginFolder)),
      stylesFolder_(options.StylesFolder.empty() ? UserDataFolder() : options.StylesFolder),
      runner_(*plugins_, question_) {
  RegisterFilterKinds();
  try {
    LoadStyles(stylesFolder_);
  } catch (const EError& e) {
    // A damaged styles file keeps what was read; the program still starts.
    startupWarning_ = e.what();
  }
  images_.Masks = LoadMasks(*plugins_);
  // Whatever replaces the layers (open, restore, the editor handing them
  // back), their macros expand from this session's picture.
  document_.Subscribe([this] { SetPictureParameters(document_.Layers(), &pictureParameters_); });
}

TSession::~TSession() {
  try {
    SaveStyles(stylesFolder_);
  } catch (...) {
    // the saved styles are a convenience; failing to store them must not stop the program
  }
  document_.Layers().Clear();
}

void TSession::OpenWatermarkFile(const std::string& fileName) {
  document_.Open(fileName);
}

TSession::TOpenReport TSession::ApplyCommandLine(const TCommandLine& commandLine) {
  TOpenReport report;
  for (const TCommandLineAction& action : commandLine.Actions) {
    switch (action.Kind) {
      case TCommandLineAction::OpenWatermark:
        if (LowerFileExt(action.Value) == ".tvx" && IsFile(action.Value)) {
          try {
            OpenWatermarkFile(action.Value);
            report.WatermarkOpened = true;
          } catch (const EError& e) {
            // the reader's message says what is wrong, not in which file
            RaiseError("OpenWatermark", 1, "Cannot read the watermark " + action.Value + ": " + e.what());
          }
        }
        break;
      case TCommandLineAction::AddPattern:
        report.PicturesAdded += images_.AddPattern(action.Value);
        break;
      case TCommandLineAction::AddFolder:
        report.PicturesAdded += images_.AddFolder(action.Value, action.NamePart);
        break;
      case TCommandLineAction::AddManifest:
        images_.AddManifest(action.Value, commandLine.NullSeparated);
        break;
    }
  }
  TOpenReport files = OpenFiles(commandLine.Files);
  report.PicturesAdded += files.PicturesAdded;
  report.WatermarkOpened = report.WatermarkOpened || files.WatermarkOpened;
  report.Notices = std::move(files.Notices);
  // "--text" and "--logo" stack over whatever watermark is open (none, or
  // the one of "-w").
  if (!commandLine.Layers.empty()) {
    ComposeWatermark(commandLine, document_.Layers(), *plugins_);
    document_.Changed();
  }
  return report;
}

TSession::TOpenReport TSession::OpenFiles(const std::vector<std::string>& files) {
  TOpenReport report;
  for (const std::string& file : files) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
      report.Notices.push_back("No such file or folder: " + file);
    } else if (S_ISDIR(st.st_mode)) {
      const size_t added = images_.AddPattern(IncludeTrailingPathDelimiter(file) + "*");
      if (added == 0) report.Notices.push_back("No pictures in the folder " + file);
      report.PicturesAdded += added;
    } else if (LowerFileExt(file) == ".tvx") {
      try {
        OpenWatermarkFile(file);
      } catch (const EError& e) {
        RaiseError("OpenWatermark", 2, "Cannot read the watermark " + file + ": " + e.what());
      }
      report.WatermarkOpened = true;
    } else if (images_.Add({file}) == 1) {
      ++report.PicturesAdded;
    } else {
      report.Notices.push_back("Not a picture this program can read: " + file);
    }
  }
  return report;
}

bool TSession::WatermarkIsEmpty() { return document_.IsEmpty(); }

namespace {

int32_t RowCount(const std::vector<std::string>& paths, const TRunOptions& options) {
  return static_cast<int32_t>(options.Rows ? options.Rows->size() : paths.size());
}

}  // namespace

TSession::TStart TSession::Watermark(const TOutputSettings& settings, TRunProgress& progress,
                                     TRunStats* stats, const TRunOptions& options) {
  if (images_.Paths.empty()) return TStart::NothingToDo;
  if (WatermarkIsEmpty()) return TStart::EmptyWatermark;
  progress.Begin("Watermarking files...", 3 * RowCount(images_.Paths, options));
  question_.Reset();
  TLayerCollection& layers = document_.Layers();
  TSessionWatermark watermark(layers, document_.Exif());
  const TRunEnd end = runner_.ProcessFiles(images_.Paths, settings, watermark, progress, options, stats);
  // the preview shows the selected picture's values again
  if (end == TRunEnd::Completed) RefreshMacroLayers(layers);
  return end == TRunEnd::Completed ? TStart::Completed : TStart::Cancelled;
}

TSession::TStart TSession::Resize(const TDestinationSettings& destination, const TResizeSettings& resize,
                                  TRunProgress& progress, TRunStats* stats, const TRunOptions& options) {
  if (images_.Paths.empty()) return TStart::NothingToDo;
  progress.Begin("Resizing files...", 3 * RowCount(images_.Paths, options));
  question_.Reset();
  TRunEnd end = runner_.ResizeFiles(images_.Paths, destination, resize, progress, options, stats);
  return end == TRunEnd::Completed ? TStart::Completed : TStart::Cancelled;
}

}  // namespace tvx
