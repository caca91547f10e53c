#include "controls/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace tvx {
namespace {

int32_t ScaledLength(int32_t length, double scale) {
  if (length <= 0) return 0;
  const double v = std::nearbyint(length * scale);
  return static_cast<int32_t>(std::clamp(v, 1.0, double{1 << 30}));
}

// The picture's offset along one axis: centred when it fits, scrolled otherwise.
int32_t Origin(int32_t scaled, int32_t viewport, int32_t scroll) {
  return scaled <= viewport ? (viewport - scaled) / 2 : -scroll;
}

int32_t ClampToInt(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::clamp(std::nearbyint(v), -double{1 << 30}, double{1 << 30}));
}

}  // namespace

void TViewGeometry::SetPictureSize(int32_t width, int32_t height) {
  pictureWidth_ = std::max(width, 0);
  pictureHeight_ = std::max(height, 0);
  ClampScroll();
}

void TViewGeometry::SetViewportSize(int32_t width, int32_t height) {
  viewportWidth_ = std::max(width, 0);
  viewportHeight_ = std::max(height, 0);
  ClampScroll();
}

bool TViewGeometry::SetScale(double scale) {
  if (!std::isfinite(scale)) return false;
  scale = std::clamp(scale, kMinScale, kMaxScale);
  if (scale == scale_) return false;
  double cx = viewportWidth_ / 2.0, cy = viewportHeight_ / 2.0;
  ViewToPicture(cx, cy);
  scale_ = scale;
  ScrollToCenter(cx, cy);
  ClampScroll();
  return true;
}

int32_t TViewGeometry::ScaledWidth() const { return ScaledLength(pictureWidth_, scale_); }
int32_t TViewGeometry::ScaledHeight() const { return ScaledLength(pictureHeight_, scale_); }

int32_t TViewGeometry::MaxScrollX() const { return std::max(ScaledWidth() - viewportWidth_, 0); }
int32_t TViewGeometry::MaxScrollY() const { return std::max(ScaledHeight() - viewportHeight_, 0); }

bool TViewGeometry::SetScroll(int32_t x, int32_t y) {
  const int32_t oldX = scrollX_, oldY = scrollY_;
  scrollX_ = x;
  scrollY_ = y;
  ClampScroll();
  return scrollX_ != oldX || scrollY_ != oldY;
}

bool TViewGeometry::ScrollBy(int32_t dx, int32_t dy) {
  return SetScroll(static_cast<int32_t>(std::clamp<int64_t>(int64_t{scrollX_} + dx, 0, INT32_MAX)),
                   static_cast<int32_t>(std::clamp<int64_t>(int64_t{scrollY_} + dy, 0, INT32_MAX)));
}

bool TViewGeometry::ScrollToCenter(double x, double y) {
  return SetScroll(ClampToInt(x * scale_ - viewportWidth_ / 2.0),
                   ClampToInt(y * scale_ - viewportHeight_ / 2.0));
}

void TViewGeometry::ClampScroll() {
  scrollX_ = std::clamp(scrollX_, 0, MaxScrollX());
  scrollY_ = std::clamp(scrollY_, 0, MaxScrollY());
}

TRect TViewGeometry::GetBitmapRect() const {
  const int32_t w = ScaledWidth(), h = ScaledHeight();
  const int32_t left = Origin(w, viewportWidth_, scrollX_), top = Origin(h, viewportHeight_, scrollY_);
  return TRect{left, top, left + w, top + h};
}

void TViewGeometry::PictureToView(double& x, double& y) const {
  const TRect r = GetBitmapRect();
  x = x * scale_ + r.Left;
  y = y * scale_ + r.Top;
}

void TViewGeometry::ViewToPicture(double& x, double& y) const {
  const TRect r = GetBitmapRect();
  x = (x - r.Left) / scale_;
  y = (y - r.Top) / scale_;
}

TCoordXForm TViewGeometry::CoordXForm() const {
  const TRect r = GetBitmapRect();
  const auto fixed = static_cast<int32_t>(std::max(std::lround(scale_ * 65536), 1L));
  return TCoordXForm{fixed, fixed, static_cast<float>(r.Left), static_cast<float>(r.Top)};
}

}  // namespace tvx
