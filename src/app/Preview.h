#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "app/PreviewLoader.h"
#include "raster/Bitmap32.h"
#include "watermark/WatermarkDocument.h"

namespace tvx {

class TSession;

/// The preview of the selected picture with the current watermark over it,
/// as the main window shows it. Holds the preview picture, drives the
/// background loader, keeps the session's picture parameters and the
/// placement of the watermark's layers in step with the picture, and gives
/// the composite: the picture with the watermark drawn exactly as a batch
/// run draws it.
///
/// User-interface thread only. Owns the loader: destroy the preview (or
/// call Stop) before the session's plug-ins are unloaded.
class TPreview {
 public:
  /// post runs a task later on the user-interface thread (see TPreviewLoader).
  TPreview(TSession& session, TPreviewLoader::TPostFunc post);
  ~TPreview();
  TPreview(const TPreview&) = delete;
  TPreview& operator=(const TPreview&) = delete;

  /// Shows the picture at path, index being its 1-based row (0: no row).
  /// A missing file does nothing. Otherwise the picture takes the file's
  /// size at once, fully transparent until its pixels arrive; the picture
  /// parameters and the layers follow the new picture; then the pixels are
  /// requested from the loader. An unreadable size (or one beyond 2^28
  /// pixels, more than any plug-in is trusted to decode) raises
  /// "LoadImageInOtherThread::37 - Error while loading <path>!" with the
  /// preview unchanged; an error of the picture parameters (EXIF of a format
  /// no plug-in saves) raises after the size changed, and nothing is loaded.
  void Select(const std::string& path, int32_t index);
  /// Empties the picture and withdraws the pending request (the selected
  /// rows were removed): a picture still loading never appears.
  void Clear();

  /// Re-expands the macros of the layers that have them and places every
  /// layer for the picture's size. Call it after anything that rendered the
  /// layers for another picture (a batch run).
  void RefreshWatermark();
  /// The session's picture parameters for a picture: its EXIF values, name,
  /// index, the number of rows, width and height.
  void SetPictureParameters(const std::string& path, int32_t width, int32_t height, int32_t index);

  /// The preview picture: empty, transparent while loading, or the picture.
  const TBitmap32& Picture() const { return picture_; }
  /// The picture with the watermark drawn onto it at scale 1.0. Built when
  /// first asked for after the picture or the watermark changed.
  const TBitmap32& Composite();
  /// The watermark changed in a way the document did not announce.
  void InvalidateComposite() { compositeValid_ = false; }
  /// How many times the composite was built (for tests and measurements).
  uint64_t CompositeBuilds() const { return compositeBuilds_; }

  /// The path last selected; empty after Clear.
  const std::string& RequestedPath() const { return requestedPath_; }
  /// True while the selected picture's pixels have not arrived.
  bool Loading() const { return loadingRequest_ != 0; }

  /// Stops the loader (see TPreviewLoader::Stop).
  void Stop() { loader_.Stop(); }
  const TPreviewLoader& Loader() const { return loader_; }

  /// The picture or the composite changed (repaint).
  std::function<void()> OnPictureChanged;
  /// The current request failed, or keeping up with a delivered picture
  /// failed; called on the user-interface thread with the error, which the
  /// owner reports.
  std::function<void(std::exception_ptr)> OnError;

 private:
  void PlaceLayers(int32_t width, int32_t height);
  void PictureChanged();
  void Loaded(uint64_t request, TBitmap32&& picture);
  void Failed(uint64_t request, std::exception_ptr error);
  void ReportError(std::exception_ptr error);

  TSession& session_;
  TPreviewLoader loader_;
  TWatermarkDocument::TToken subscription_ = 0;
  TBitmap32 picture_;
  TBitmap32 composite_;
  bool compositeValid_ = false;
  uint64_t compositeBuilds_ = 0;
  std::string requestedPath_;
  int32_t requestedIndex_ = 0;
  uint64_t loadingRequest_ = 0;
};

}  // namespace tvx
