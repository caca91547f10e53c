#pragma once
// Temporary stand-in for the raster module's layer model until it lands on
// main; removed then. Only what the watermark layers use.

#include <algorithm>
#include <memory>
#include <vector>

#include "raster/Bitmap32.h"

namespace tvx {

class TLayerCollection;

class TCustomLayer {
 public:
  explicit TCustomLayer(TLayerCollection* collection) : collection_(collection) {}
  virtual ~TCustomLayer() = default;
  TLayerCollection* LayerCollection() const { return collection_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  int32_t Tag = 0;
  virtual void Paint(TBitmap32&) {}

 private:
  TLayerCollection* collection_;
  bool visible_ = true;
};

class TPositionedLayer : public TCustomLayer {
 public:
  using TCustomLayer::TCustomLayer;
  TFloatRect Location() const { return location_; }
  void SetLocation(const TFloatRect& r) { DoSetLocation(r); }
  bool Scaled = false;

 protected:
  virtual void DoSetLocation(const TFloatRect& r) { location_ = r; }

 private:
  TFloatRect location_{};
};

class TCustomBitmapLayer : public TPositionedLayer {
 public:
  using TPositionedLayer::TPositionedLayer;
  TBitmap32& Bitmap() { return bitmap_; }
  const TBitmap32& Bitmap() const { return bitmap_; }
  bool Cropped = false;

 private:
  TBitmap32 bitmap_;
};

/// The view's mapping of picture coordinates to view coordinates.
struct TCoordXForm {
  int32_t ScaleX = 65536, ScaleY = 65536;
  float ShiftX = 0, ShiftY = 0;
};

class TLayerCollection {
 public:
  int Count() const { return int(items_.size()); }
  TCustomLayer* Items(int i) const { return items_[size_t(i)].get(); }
  void Clear() { items_.clear(); }
  void Delete(int i) { items_.erase(items_.begin() + i); }
  template <typename T>
  T* Add() {
    auto layer = std::make_unique<T>(this);
    T* p = layer.get();
    items_.push_back(std::move(layer));
    return p;
  }
  const TCoordXForm* CoordXForm() const { return xform_.get(); }
  void SetCoordXForm(const TCoordXForm& x) { xform_ = std::make_unique<TCoordXForm>(x); }
  /// The owner view's picture rectangle; null when not owned by an image view.
  const TRect* ViewBitmapRect() const { return viewRect_.get(); }
  void SetViewBitmapRect(const TRect& r) { viewRect_ = std::make_unique<TRect>(r); }
  void Paint(TBitmap32& buffer) {
    for (auto& l : items_)
      if (l->Visible()) l->Paint(buffer);
  }

 private:
  std::vector<std::unique_ptr<TCustomLayer>> items_;
  std::unique_ptr<TCoordXForm> xform_;
  std::unique_ptr<TRect> viewRect_;
};

}  // namespace tvx
