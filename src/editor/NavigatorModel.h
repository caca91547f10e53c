#pragma once

#include <cstdint>

#include "controls/ViewGeometry.h"
#include "raster/Bitmap32.h"
#include "raster/Layers.h"

namespace tvx {

/// The editor's navigator: a thumbnail of the canvas picture with the
/// visible layers drawn on it, and the rectangle of the part of the canvas
/// on view.
///
/// The picture is scaled once (and again only after Invalidate or when
/// another picture or size is set), so redrawing the thumbnail on every
/// repaint of the canvas costs only the layers. Not thread-safe.
class TNavigatorModel {
 public:
  /// The area the thumbnail is centred in.
  static constexpr int32_t kAreaWidth = 208;
  static constexpr int32_t kAreaHeight = 140;

  /// The thumbnail size for a picture: 140 high and as wide as the aspect
  /// gives, or 208 wide when that would be wider (integer arithmetic); at
  /// least 1 x 1; 0 x 0 for an empty picture.
  static void ThumbnailSize(int32_t pictureWidth, int32_t pictureHeight, int32_t& width, int32_t& height);

  /// The picture the thumbnail shows (not owned; null for none).
  void SetPicture(const TBitmap32* picture);
  /// The picture's pixels changed: scale it again at the next Render.
  void Invalidate();

  /// The thumbnail: the scaled picture with every visible watermark layer
  /// drawn onto it at the thumbnail's scale (layers narrower than one
  /// thumbnail pixel are left out). Empty without a picture.
  const TBitmap32& Render(const TLayerCollection& layers);
  /// The last Render's result.
  const TBitmap32& Thumbnail() const { return thumbnail_; }
  /// How many times the picture was scaled (for tests and measurements).
  int64_t Scalings() const { return scalings_; }

  /// Where the thumbnail lies in the area (centred).
  TRect ThumbnailRect() const;
  /// The part of the picture the canvas shows, in thumbnail pixels relative
  /// to the thumbnail (rounded towards zero); the whole thumbnail along an
  /// axis where the whole picture is on view.
  TRect ViewportRect(const TViewGeometry& geometry) const;
  /// The picture point under a thumbnail point (thumbnail pixels).
  void ThumbnailToPicture(double& x, double& y) const;

 private:
  void Scale();

  const TBitmap32* picture_ = nullptr;
  int32_t pictureWidth_ = 0, pictureHeight_ = 0;
  TBitmap32 base_;  // the scaled picture
  bool baseValid_ = false;
  TBitmap32 thumbnail_;
  int64_t scalings_ = 0;
};

}  // namespace tvx
