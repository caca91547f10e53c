#include "app/Preview.h"

#include <sys/stat.h>

#include "app/Session.h"
#include "util/Error.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/BaseLayer.h"

namespace tvx {
namespace {

// The largest picture the preview makes room for before any pixel arrives:
// the limit the standard plug-in decodes (a gigabyte of pixels). A header
// claiming more would cost the memory of a picture that never comes.
constexpr int64_t kMaxPreviewPixels = int64_t(1) << 28;

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TPreview::TPreview(TSession& session, TPreviewLoader::TPostFunc post)
    : session_(session), loader_(session.Plugins(), std::move(post)) {
  loader_.OnLoaded = [this](uint64_t request, const std::string&, TBitmap32&& picture) {
    Loaded(request, std::move(picture));
  };
  loader_.OnFailed = [this](uint64_t request, const std::string&, std::exception_ptr error) {
    Failed(request, error);
  };
  // A watermark opened, restored or handed back by the editor is placed for
  // the picture on view at once.
  subscription_ = session_.Document().Subscribe([this] {
    RefreshWatermark();
    PictureChanged();
  });
}

TPreview::~TPreview() {
  session_.Document().Unsubscribe(subscription_);
  loader_.Stop();
}

void TPreview::Select(const std::string& path, int32_t index) {
  if (!IsFile(path)) return;
  const TPictureSize size = session_.Plugins().LoadBitmapInfo(path);
  if (size.Width <= 0 || size.Height <= 0 || int64_t{size.Width} * size.Height > kMaxPreviewPixels)
    RaiseError("LoadImageInOtherThread", 37, "Error while loading " + path + "!");

  requestedPath_ = path;
  requestedIndex_ = index;
  // Transparent until the pixels arrive: never the previous picture's
  // pixels, never uninitialised memory.
  picture_.SetSize(size.Width, size.Height);
  picture_.Clear(0);
  try {
    SetPictureParameters(path, size.Width, size.Height, index);
    RefreshWatermark();
  } catch (...) {
    // Nothing is loaded for this picture, and what was on its way belongs
    // to the previous one.
    loader_.Withdraw();
    loadingRequest_ = 0;
    PictureChanged();
    throw;
  }
  // Supersedes the previous request (or adopts its decode of the same file).
  loadingRequest_ = loader_.Request(path);
  PictureChanged();
}

void TPreview::Clear() {
  loader_.Withdraw();
  loadingRequest_ = 0;
  requestedPath_.clear();
  requestedIndex_ = 0;
  if (picture_.Empty()) return;
  picture_.SetSize(0, 0);
  PlaceLayers(0, 0);
  PictureChanged();
}

void TPreview::SetPictureParameters(const std::string& path, int32_t width, int32_t height, int32_t index) {
  TExifParameters parameters = session_.Plugins().GetExif(path);
  parameters.FileName = path;
  parameters.Index = index;
  parameters.Count = static_cast<int32_t>(session_.Images().Paths.size());
  parameters.Width = width;
  parameters.Height = height;
  session_.PictureParameters() = std::move(parameters);
  // Layers added since the last announcement of the document look here too.
  tvx::SetPictureParameters(session_.Layers(), &session_.PictureParameters());
}

void TPreview::RefreshWatermark() {
  RefreshMacroLayers(session_.Layers());
  PlaceLayers(picture_.Width(), picture_.Height());
  compositeValid_ = false;
}

void TPreview::PlaceLayers(int32_t width, int32_t height) {
  TLayerCollection& layers = session_.Layers();
  for (int32_t i = 0; i < layers.Count(); ++i)
    if (auto* layer = dynamic_cast<TBaseLayer*>(&layers.Items(i)))
      layer->SetLocation(layer->GetLayerRect(width, height));
  compositeValid_ = false;
}

const TBitmap32& TPreview::Composite() {
  if (compositeValid_) return composite_;
  composite_ = picture_;
  if (!composite_.Empty()) DrawWatermark(session_.Layers(), composite_, 1.0);
  compositeValid_ = true;
  ++compositeBuilds_;
  return composite_;
}

void TPreview::PictureChanged() {
  compositeValid_ = false;
  if (OnPictureChanged) OnPictureChanged();
}

void TPreview::Loaded(uint64_t request, TBitmap32&& picture) {
  if (request != loadingRequest_) return;
  loadingRequest_ = 0;
  const bool resized = picture.Width() != picture_.Width() || picture.Height() != picture_.Height();
  picture_ = std::move(picture);
  if (resized) {
    // The file changed between reading its size and decoding it: the
    // macros and the placement follow the pixels actually shown.
    try {
      SetPictureParameters(requestedPath_, picture_.Width(), picture_.Height(), requestedIndex_);
      RefreshWatermark();
    } catch (...) {
      PictureChanged();
      ReportError(std::current_exception());
      return;
    }
  }
  PictureChanged();
}

void TPreview::Failed(uint64_t request, std::exception_ptr error) {
  if (request != loadingRequest_) return;
  loadingRequest_ = 0;
  ReportError(error);
}

void TPreview::ReportError(std::exception_ptr error) {
  if (OnError) OnError(error);
}

}  // namespace tvx
