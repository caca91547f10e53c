#include "watermark/RubberbandLayer.h"

#include <algorithm>
#include <cmath>

namespace tvx {

TRubberbandLayer::TRubberbandLayer(TLayerCollection* collection) : TCustomRubberbandLayer(collection) {
  Scaled = true;
  SetVisible(false);
}

TRubberbandLayer::~TRubberbandLayer() { Unwatch(); }

void TRubberbandLayer::Unwatch() {
  if (watched_) watched_->OnLocationChanged = nullptr;
  watched_ = nullptr;
}

TBaseLayer* TRubberbandLayer::GetLayer() const { return dynamic_cast<TBaseLayer*>(ChildLayer()); }

void TRubberbandLayer::SetLayer(TBaseLayer* layer) {
  if (drag_ != dkNone) CancelDrag();
  if (IsChanged()) {
    if (!AskApplyTransform || AskApplyTransform())
      ApplyTransform();
    else
      RollbackTransform();
  }
  SetTransformMode(false);
  Unwatch();
  SetChildLayer(layer && layer->Visible() ? layer : nullptr);
  if (layer) {
    watched_ = layer;
    layer->OnLocationChanged = [this](TBaseLayer& sender) { ChildLocationChanged(sender); };
  }
  SetVisible(ChildLayer() != nullptr);
  UpdateHandles();
  if (OnLayerChanged) OnLayerChanged();
}

void TRubberbandLayer::SetTransformMode(bool on) {
  TBaseLayer* layer = GetLayer();
  if (on && !layer) return;
  transformMode_ = on;
  if (layer) layer->SetStylesEnabled(!on);
  UpdateHandles();
  if (OnTransformModeChanged) OnTransformModeChanged();
}

void TRubberbandLayer::UpdateHandles() {
  TBaseLayer* layer = GetLayer();
  if (transformMode_ && layer) {
    SetHandles(rhCenter | rhSides | rhCorners | rhFrame);
    SavedLocation = layer->Location();
  } else if (layer && layer->Visible()) {
    SetHandles(rhCenter | rhFrame);
  } else {
    SetHandles(rhCenter);
  }
}

bool TRubberbandLayer::IsChanged() const {
  if (!GetLayer() || !transformMode_) return false;
  const TFloatRect& r = Location();
  return r.Left != SavedLocation.Left || r.Top != SavedLocation.Top || r.Right != SavedLocation.Right ||
         r.Bottom != SavedLocation.Bottom;
}

void TRubberbandLayer::ApplyTransform() {
  if (drag_ != dkNone) MouseUp();
  if (TBaseLayer* layer = GetLayer()) {
    // Whole pixels within the limits: a frame dragged down to a sliver
    // still leaves a layer with content.
    auto side = [](float extent) {
      const double v = std::isfinite(extent) ? std::trunc(double(extent)) : kMinFrameSide;
      return int32_t(std::clamp(v, kMinFrameSide, kMaxFrameSide));
    };
    const TFloatRect r = Location();
    if (layer->Fits()) {
      // Sized by the picture or turned: the frame is the fitted bitmap's,
      // so its stretch scales what sets the size, and the layer stays
      // placed by its coordinates.
      const TFloatRect was = SavedLocation;
      SetLocation(was);
      layer->ScaleBy(double(r.Right - r.Left) / double(was.Right - was.Left),
                     double(r.Bottom - r.Top) / double(was.Bottom - was.Top));
    } else {
      layer->ResizeTo(side(r.Right - r.Left), side(r.Bottom - r.Top));
    }
  }
  SetTransformMode(false);
}

void TRubberbandLayer::RollbackTransform() {
  if (drag_ != dkNone) CancelDrag();
  if (GetLayer() && transformMode_) SetLocation(SavedLocation);
  SetTransformMode(false);
}

void TRubberbandLayer::ChildLocationChanged(TBaseLayer& sender) {
  if (&sender != ChildLayer()) return;
  Changing();
  StoreLocation(sender.Location());
  Changed();
}

void TRubberbandLayer::Notification(TCustomLayer* removing) {
  if (removing == ChildLayer()) {
    transformMode_ = false;
    drag_ = dkNone;
  }
  if (removing == watched_) Unwatch();
  TCustomRubberbandLayer::Notification(removing);
  if (!ChildLayer()) SetVisible(false);
}

// ---- the mouse ------------------------------------------------------------------

void TRubberbandLayer::ViewToPicture(double& x, double& y) const {
  if (const TLayerCollection* c = LayerCollection()) {
    float fx = float(x), fy = float(y);
    c->ViewToLocal(fx, fy);
    x = fx;
    y = fy;
  }
}

TDragKind TRubberbandLayer::HitTest(double viewX, double viewY) const {
  if (!GetLayer() || !Visible()) return dkNone;
  return HitTestFrame(GetAdjustedLocation(), Handles(), HandleSize, viewX, viewY);
}

bool TRubberbandLayer::MouseDown(double viewX, double viewY) {
  const TDragKind kind = HitTest(viewX, viewY);
  if (kind == dkNone) return false;
  drag_ = kind;
  dragStart_ = Location();
  startX_ = viewX;
  startY_ = viewY;
  ViewToPicture(startX_, startY_);
  return true;
}

bool TRubberbandLayer::MouseMove(double viewX, double viewY, bool keepAspect, bool snap) {
  if (drag_ == dkNone || !GetLayer()) return false;
  double x = viewX, y = viewY;
  ViewToPicture(x, y);
  TDragOptions options;
  options.KeepAspect = keepAspect;
  options.Snap = snap;
  options.PictureWidth = PictureWidth;
  options.PictureHeight = PictureHeight;
  const TLayerCollection* c = LayerCollection();
  const double scale = c && c->CoordXForm().ScaleX > 0 ? c->CoordXForm().ScaleX / 65536.0 : 1.0;
  options.SnapDistance = SnapViewDistance / scale;
  const TFloatRect r = DragFrame(drag_, dragStart_, x - startX_, y - startY_, options);
  if (r == Location()) return false;
  SetLocation(r);
  if (OnUserChange) OnUserChange(false);
  return true;
}

bool TRubberbandLayer::MouseUp() {
  if (drag_ == dkNone) return false;
  drag_ = dkNone;
  const bool changed = !(Location() == dragStart_);
  if (changed && OnUserChange) OnUserChange(true);
  return changed;
}

void TRubberbandLayer::CancelDrag() {
  if (drag_ == dkNone) return;
  drag_ = dkNone;
  if (GetLayer() && !(Location() == dragStart_)) SetLocation(dragStart_);
}

}  // namespace tvx
