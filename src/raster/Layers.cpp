#include "raster/Layers.h"

#include <algorithm>
#include <cmath>

namespace tvx {

// ---- TLayerCollection -------------------------------------------------------

TLayerCollection::~TLayerCollection() {
  // The owner may already be going away: no notifications from here on.
  OnListChange = nullptr;
  OnLayerChanging = nullptr;
  OnLayerChanged = nullptr;
  Clear();
}

TCustomLayer& TLayerCollection::Insert(int32_t index, std::unique_ptr<TCustomLayer> layer) {
  index = std::clamp(index, 0, Count());
  layer->collection_ = this;
  TCustomLayer& ref = *layer;
  items_.insert(items_.begin() + index, std::move(layer));
  NotifyListChange();
  return ref;
}

std::unique_ptr<TCustomLayer> TLayerCollection::Extract(int32_t index) {
  if (index < 0 || index >= Count()) return nullptr;
  std::unique_ptr<TCustomLayer> layer = std::move(items_[index]);
  items_.erase(items_.begin() + index);
  // Layers that point at it (a rubber band's child) let go of it here.
  for (auto& other : items_) other->Notification(layer.get());
  layer->collection_ = nullptr;
  NotifyListChange();
  return layer;
}

void TLayerCollection::Delete(int32_t index) { Extract(index).reset(); }

void TLayerCollection::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

int32_t TLayerCollection::IndexOf(const TCustomLayer* layer) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == layer) return static_cast<int32_t>(i);
  return -1;
}

void TLayerCollection::Move(int32_t index, int32_t newIndex) {
  if (index < 0 || index >= Count()) return;
  newIndex = std::clamp(newIndex, 0, Count() - 1);
  if (newIndex == index) return;
  auto layer = std::move(items_[index]);
  items_.erase(items_.begin() + index);
  items_.insert(items_.begin() + newIndex, std::move(layer));
  NotifyListChange();
}

void TLayerCollection::Paint(TBitmap32& buffer) {
  for (auto& layer : items_)
    if (layer->Visible()) layer->Paint(buffer);
}

void TLayerCollection::SetCoordXForm(const TCoordXForm& xform) {
  if (xform == xform_) return;
  xform_ = xform;
  NotifyListChange();
}

void TLayerCollection::LocalToView(float& x, float& y) const {
  x = static_cast<float>(double{x} * xform_.ScaleX / 65536 + xform_.ShiftX);
  y = static_cast<float>(double{y} * xform_.ScaleY / 65536 + xform_.ShiftY);
}

TFloatRect TLayerCollection::LocalToView(const TFloatRect& r) const {
  TFloatRect v = r;
  LocalToView(v.Left, v.Top);
  LocalToView(v.Right, v.Bottom);
  return v;
}

void TLayerCollection::ViewToLocal(float& x, float& y) const {
  if (xform_.ScaleX != 0) x = static_cast<float>((double{x} - xform_.ShiftX) * 65536 / xform_.ScaleX);
  if (xform_.ScaleY != 0) y = static_cast<float>((double{y} - xform_.ShiftY) * 65536 / xform_.ScaleY);
}

// ---- TCustomLayer -----------------------------------------------------------

TCustomLayer::~TCustomLayer() = default;

void TCustomLayer::SetIndex(int32_t index) {
  if (collection_) collection_->Move(Index(), index);
}

void TCustomLayer::BringToFront() {
  if (collection_) collection_->Move(Index(), collection_->Count() - 1);
}

void TCustomLayer::SendToBack() { SetIndex(0); }

void TCustomLayer::SetVisible(bool visible) {
  if (visible == visible_) return;
  Changing();
  visible_ = visible;
  Changed();
}

void TCustomLayer::Changing() {
  if (collection_ && collection_->OnLayerChanging) collection_->OnLayerChanging(*this);
}

void TCustomLayer::Changed() {
  if (collection_ && collection_->OnLayerChanged) collection_->OnLayerChanged(*this);
}

// ---- TPositionedLayer -------------------------------------------------------

TFloatRect TPositionedLayer::GetAdjustedRect(const TFloatRect& r) const {
  if (Scaled && LayerCollection()) return LayerCollection()->LocalToView(r);
  return r;
}

void TPositionedLayer::DoSetLocation(const TFloatRect& r) {
  Changing();
  location_ = r;
  Changed();
}

// ---- TCustomBitmapLayer -----------------------------------------------------

void TCustomBitmapLayer::Paint(TBitmap32& buffer) {
  if (bitmap_.Empty()) return;
  const TFloatRect r = GetAdjustedLocation();
  TRect clip = buffer.ClipRect();
  if (Cropped && LayerCollection() && LayerCollection()->OwnerView()) {
    if (r.Width() < 0.5f || r.Height() < 0.5f) return;
    if (!IntersectRect(clip, clip, LayerCollection()->GetBitmapRect())) return;
  }
  StretchTransfer(buffer, MakeRect(r), clip, bitmap_, bitmap_.BoundsRect(), bitmap_.StretchFilter,
                  bitmap_.DrawMode, bitmap_.CombineMode, bitmap_.MasterAlpha);
}

// ---- TCustomRubberbandLayer -------------------------------------------------

void TCustomRubberbandLayer::SetChildLayer(TPositionedLayer* layer) {
  child_ = layer;
  if (child_) {
    Changing();
    StoreLocation(child_->Location());
    Changed();
  }
}

void TCustomRubberbandLayer::SetHandles(TRBHandles handles) {
  if (handles == handles_) return;
  Changing();
  handles_ = handles;
  Changed();
}

void TCustomRubberbandLayer::DoSetLocation(const TFloatRect& r) {
  TPositionedLayer::DoSetLocation(r);
  if (child_) child_->SetLocation(r);
}

void TCustomRubberbandLayer::Notification(TCustomLayer* removing) {
  if (removing == child_) child_ = nullptr;
}

namespace {

void FillClipped(TBitmap32& buffer, TRect r, TColor32 color) {
  if (!IntersectRect(r, r, buffer.ClipRect())) return;
  for (int32_t y = r.Top; y < r.Bottom; ++y) std::fill_n(buffer.ScanLine(y) + r.Left, r.Width(), color);
}

}  // namespace

void TCustomRubberbandLayer::Paint(TBitmap32& buffer) {
  const TRect r = MakeRect(GetAdjustedLocation());
  if (handles_ & rhFrame) {
    FillClipped(buffer, TRect{r.Left, r.Top, r.Right, r.Top + 1}, FrameColor);
    FillClipped(buffer, TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom}, FrameColor);
    FillClipped(buffer, TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, FrameColor);
    FillClipped(buffer, TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, FrameColor);
  }
  const int32_t cx = (r.Left + r.Right - 1) / 2, cy = (r.Top + r.Bottom - 1) / 2;
  auto handle = [&](int32_t x, int32_t y) {
    const int32_t s = HandleSize;
    FillClipped(buffer, TRect{x - s, y - s, x + s + 1, y + s + 1}, FrameColor);
    FillClipped(buffer, TRect{x - s + 1, y - s + 1, x + s, y + s}, HandleFill);
  };
  if (handles_ & rhCorners) {
    handle(r.Left, r.Top);
    handle(r.Right - 1, r.Top);
    handle(r.Left, r.Bottom - 1);
    handle(r.Right - 1, r.Bottom - 1);
  }
  if (handles_ & rhSides) {
    handle(cx, r.Top);
    handle(cx, r.Bottom - 1);
    handle(r.Left, cy);
    handle(r.Right - 1, cy);
  }
}

}  // namespace tvx
