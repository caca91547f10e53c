#include "app/Session.h"

#include <sys/stat.h>

#include "styles/Styles.h"
#include "util/Error.h"
#include "util/Paths.h"
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

// The current watermark as the batch run sees it.
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

 private:
  TLayerCollection& layers_;
  const Watermark::TWatermarkExif& exif_;
};

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
    }
  }
  TOpenReport files = OpenFiles(commandLine.Files);
  report.PicturesAdded += files.PicturesAdded;
  report.WatermarkOpened = report.WatermarkOpened || files.WatermarkOpened;
  report.Notices = std::move(files.Notices);
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

TSession::TStart TSession::Watermark(const TOutputSettings& settings, TRunProgress& progress, TRunStats* stats) {
  if (images_.Paths.empty()) return TStart::NothingToDo;
  if (WatermarkIsEmpty()) return TStart::EmptyWatermark;
  progress.Begin("Watermarking files...", 3 * static_cast<int32_t>(images_.Paths.size()));
  question_.Reset();
  TLayerCollection& layers = document_.Layers();
  TSessionWatermark watermark(layers, document_.Exif());
  TExifParameters saved = pictureParameters_;
  TRunEnd end;
  try {
    end = runner_.ProcessFiles(images_.Paths, settings, watermark, pictureParameters_, progress, stats);
  } catch (...) {
    pictureParameters_ = saved;
    SetPictureParameters(layers, &pictureParameters_);
    throw;
  }
  // the preview shows the selected picture's values again
  pictureParameters_ = saved;
  SetPictureParameters(layers, &pictureParameters_);
  if (end == TRunEnd::Completed) RefreshMacroLayers(layers);
  return end == TRunEnd::Completed ? TStart::Completed : TStart::Cancelled;
}

TSession::TStart TSession::Resize(const TDestinationSettings& destination, const TResizeSettings& resize,
                                  TRunProgress& progress, TRunStats* stats) {
  if (images_.Paths.empty()) return TStart::NothingToDo;
  progress.Begin("Resizing files...", 3 * static_cast<int32_t>(images_.Paths.size()));
  question_.Reset();
  TRunEnd end = runner_.ResizeFiles(images_.Paths, destination, resize, progress, stats);
  return end == TRunEnd::Completed ? TStart::Completed : TStart::Cancelled;
}

}  // namespace tvx
