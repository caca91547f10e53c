#pragma once

#include <cstdint>

#include "raster/Bitmap32.h"
#include "raster/Layers.h"

namespace tvx {

/// Where a picture lies in a scrollable, zoomable view. Everything here is in
/// view pixels, the pixels of the view's paint buffer (device pixels on a
/// high-density screen), so scale 1.0 shows one picture pixel per view pixel.
///
/// The picture occupies round(width * scale) x round(height * scale) view
/// pixels (at least one each for a picture that is not empty). Along an axis
/// where that is smaller than the viewport the picture is centred and cannot
/// scroll; along an axis where it is larger the scroll position (the picture
/// pixel column or row, scaled, at the viewport's left or top edge) runs from
/// 0 to the scaled size minus the viewport size. Every setter keeps the scroll
/// position within that range.
class TViewGeometry {
 public:
  /// Scale limits: far beyond what the zoom list offers, but enough to keep
  /// the scaled size and the layers' 16.16 transform within their integers.
  static constexpr double kMinScale = 1.0 / 1024;
  static constexpr double kMaxScale = 1024;

  int32_t PictureWidth() const { return pictureWidth_; }
  int32_t PictureHeight() const { return pictureHeight_; }
  /// Negative sizes are taken as 0. Keeps the scroll position where it can.
  void SetPictureSize(int32_t width, int32_t height);

  int32_t ViewportWidth() const { return viewportWidth_; }
  int32_t ViewportHeight() const { return viewportHeight_; }
  void SetViewportSize(int32_t width, int32_t height);

  double Scale() const { return scale_; }
  /// Clamps to kMinScale..kMaxScale; NaN and infinities are ignored. The
  /// picture point at the centre of the viewport stays there where the
  /// scroll range allows. Returns whether the scale changed.
  bool SetScale(double scale);

  int32_t ScrollX() const { return scrollX_; }
  int32_t ScrollY() const { return scrollY_; }
  int32_t MaxScrollX() const;
  int32_t MaxScrollY() const;
  /// Clamped into 0..MaxScroll. Returns whether the position changed.
  bool SetScroll(int32_t x, int32_t y);
  bool ScrollBy(int32_t dx, int32_t dy);
  /// Scrolls so that the picture point (x, y) is at the viewport's centre, as
  /// far as the scroll range allows.
  bool ScrollToCenter(double x, double y);

  /// The scaled picture size in view pixels (0 x 0 for an empty picture).
  int32_t ScaledWidth() const;
  int32_t ScaledHeight() const;
  /// (0, 0, viewport width, viewport height).
  TRect GetViewportRect() const { return TRect{0, 0, viewportWidth_, viewportHeight_}; }
  /// The rectangle the picture occupies in view pixels; it reaches beyond the
  /// viewport when the picture is larger.
  TRect GetBitmapRect() const;

  /// Picture to view: view = picture * scale + the picture rectangle's corner.
  void PictureToView(double& x, double& y) const;
  void ViewToPicture(double& x, double& y) const;
  /// The same mapping for a layer collection (16.16 scale, float shift).
  TCoordXForm CoordXForm() const;

 private:
  void ClampScroll();

  int32_t pictureWidth_ = 0, pictureHeight_ = 0;
  int32_t viewportWidth_ = 0, viewportHeight_ = 0;
  double scale_ = 1.0;
  int32_t scrollX_ = 0, scrollY_ = 0;
};

}  // namespace tvx
