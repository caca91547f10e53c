#include "editor/NavigatorModel.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "watermark/BaseLayer.h"

namespace tvx {

void TNavigatorModel::ThumbnailSize(int32_t pictureWidth, int32_t pictureHeight, int32_t& width,
                                    int32_t& height) {
  width = height = 0;
  if (pictureWidth <= 0 || pictureHeight <= 0) return;
  height = kAreaHeight;
  int64_t w = int64_t(pictureWidth) * kAreaHeight / pictureHeight;
  if (w > kAreaWidth) {
    w = kAreaWidth;
    height = int32_t(int64_t(pictureHeight) * kAreaWidth / pictureWidth);
  }
  width = std::max<int32_t>(int32_t(w), 1);
  height = std::max(height, 1);
}

void TNavigatorModel::SetPicture(const TBitmap32* picture) {
  const int32_t w = picture ? picture->Width() : 0, h = picture ? picture->Height() : 0;
  if (picture == picture_ && w == pictureWidth_ && h == pictureHeight_) return;
  picture_ = picture;
  pictureWidth_ = w;
  pictureHeight_ = h;
  Invalidate();
}

void TNavigatorModel::Invalidate() { baseValid_ = false; }

void TNavigatorModel::Scale() {
  int32_t w, h;
  ThumbnailSize(pictureWidth_, pictureHeight_, w, h);
  base_.SetSize(w, h);
  if (base_.Empty() || !picture_) return;
  // Each thumbnail pixel is the mean of a grid of up to 8 x 8 samples spread
  // over its part of the picture: smooth enough for a thumbnail, and a few
  // milliseconds for 24 megapixels, where a full resampling would take the
  // better part of the editor's opening.
  const TBitmap32& p = *picture_;
  const double cellW = double(pictureWidth_) / w, cellH = double(pictureHeight_) / h;
  const int32_t nx = std::clamp(int32_t(cellW), 1, 8), ny = std::clamp(int32_t(cellH), 1, 8);
  std::vector<int32_t> columns(size_t(w) * nx);
  for (int32_t x = 0; x < w; ++x)
    for (int32_t i = 0; i < nx; ++i)
      columns[size_t(x) * nx + i] = std::min(int32_t((x + (i + 0.5) / nx) * cellW), pictureWidth_ - 1);
  for (int32_t y = 0; y < h; ++y) {
    TColor32* out = base_.ScanLine(y);
    const TColor32* rows[8];
    for (int32_t j = 0; j < ny; ++j)
      rows[j] = p.ScanLine(std::min(int32_t((y + (j + 0.5) / ny) * cellH), pictureHeight_ - 1));
    for (int32_t x = 0; x < w; ++x) {
      uint32_t r = 0, g = 0, b = 0;
      for (int32_t j = 0; j < ny; ++j)
        for (int32_t i = 0; i < nx; ++i) {
          const TColor32 c = rows[j][columns[size_t(x) * nx + i]];
          r += (c >> 16) & 0xFF;
          g += (c >> 8) & 0xFF;
          b += c & 0xFF;
        }
      const uint32_t n = uint32_t(nx * ny);
      // shown as it is on the canvas: opaque
      out[x] = 0xFF000000u | (r / n) << 16 | (g / n) << 8 | (b / n);
    }
  }
  ++scalings_;
  baseValid_ = true;
}

const TBitmap32& TNavigatorModel::Render(const TLayerCollection& layers) {
  if (!picture_ || pictureWidth_ <= 0 || pictureHeight_ <= 0) {
    thumbnail_.SetSize(0, 0);
    return thumbnail_;
  }
  if (!baseValid_) Scale();
  thumbnail_ = base_;
  const double scale = double(base_.Width()) / pictureWidth_;
  for (int32_t i = 0; i < layers.Count(); ++i) {
    const auto* layer = dynamic_cast<const TBaseLayer*>(&layers.Items(i));
    if (!layer || !layer->Visible()) continue;
    if (layer->RenderedBitmap().Width() * scale < 1) continue;
    layer->DrawOnto(thumbnail_, scale);
  }
  return thumbnail_;
}

TRect TNavigatorModel::ThumbnailRect() const {
  int32_t w, h;
  ThumbnailSize(pictureWidth_, pictureHeight_, w, h);
  const int32_t left = (kAreaWidth - w) / 2, top = (kAreaHeight - h) / 2;
  return TRect{left, top, left + w, top + h};
}

TRect TNavigatorModel::ViewportRect(const TViewGeometry& geometry) const {
  int32_t w, h;
  ThumbnailSize(pictureWidth_, pictureHeight_, w, h);
  if (w <= 0 || h <= 0) return TRect{};
  double left = 0, top = 0, right = geometry.ViewportWidth(), bottom = geometry.ViewportHeight();
  geometry.ViewToPicture(left, top);
  geometry.ViewToPicture(right, bottom);
  const double sx = double(w) / pictureWidth_, sy = double(h) / pictureHeight_;
  auto axis = [](double a, double b, double s, int32_t extent, bool whole, int32_t& lo, int32_t& hi) {
    if (whole) {
      lo = 0;
      hi = extent;
      return;
    }
    lo = int32_t(std::clamp(std::trunc(a * s), 0.0, double(extent)));
    hi = int32_t(std::clamp(std::trunc(b * s), 0.0, double(extent)));
  };
  TRect r;
  axis(left, right, sx, w, geometry.ScaledWidth() <= geometry.ViewportWidth(), r.Left, r.Right);
  axis(top, bottom, sy, h, geometry.ScaledHeight() <= geometry.ViewportHeight(), r.Top, r.Bottom);
  return r;
}

void TNavigatorModel::ThumbnailToPicture(double& x, double& y) const {
  int32_t w, h;
  ThumbnailSize(pictureWidth_, pictureHeight_, w, h);
  if (w <= 0 || h <= 0) return;
  x = x * pictureWidth_ / w;
  y = y * pictureHeight_ / h;
}

}  // namespace tvx
