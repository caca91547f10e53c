#pragma once

#include <functional>

#include "raster/Layers.h"
#include "watermark/BaseLayer.h"
#include "watermark/SelectionHandles.h"

namespace tvx {

/// The editor's selection frame: handles around one watermark layer that
/// move it (move mode) or stretch it (transform mode, where the layer shows
/// its plain content stretched until the transform is applied or rolled
/// back). The frame follows its layer wherever the layer moves or re-renders.
///
/// Mouse handling is in view pixels (the collection's view space) and
/// independent of any window system: MouseDown hit-tests the handles,
/// MouseMove moves or stretches the frame (and the layer with it) with
/// DragFrame, MouseUp ends the drag.
///
/// The frame hides itself while no layer is attached. It lives in the same
/// collection as its layer and must be the only one pointing at it: it
/// installs itself as the layer's OnLocationChanged and removes itself when
/// it lets go of the layer, when the layer leaves the collection and when
/// the frame is destroyed. User-interface thread only.
class TRubberbandLayer : public TCustomRubberbandLayer {
 public:
  explicit TRubberbandLayer(TLayerCollection* collection);
  ~TRubberbandLayer() override;

  /// After every change of the transform mode.
  std::function<void()> OnTransformModeChanged;
  /// After every SetLayer.
  std::function<void()> OnLayerChanged;
  /// After every change the user makes with the mouse: each step of a drag
  /// (final false) and the release that ends a drag which changed the frame
  /// (final true).
  std::function<void(bool final)> OnUserChange;
  /// "Layer has been changed. Apply transformation?": true applies the
  /// pending transform, false rolls it back. Without one it is applied.
  std::function<bool()> AskApplyTransform;

  /// The layer's location when transform mode began.
  TFloatRect SavedLocation{};
  /// The picture the layers lie on, for snapping.
  int32_t PictureWidth = 0;
  int32_t PictureHeight = 0;
  /// How near (in view pixels) an edge must come to a picture line to snap.
  double SnapViewDistance = 6;

  /// Attaches the frame to a layer, or detaches it (nullptr). A pending
  /// transform is asked about first. A hidden layer is remembered (its
  /// location changes still reach the frame's listener) but not attached.
  void SetLayer(TBaseLayer* layer);
  /// The attached layer; never a hidden one.
  TBaseLayer* GetLayer() const;

  /// Turning transform mode on without an attached layer does nothing. The
  /// layer's styles are off while the mode is on.
  void SetTransformMode(bool on);
  bool GetTransformMode() const { return transformMode_; }
  /// A transform is pending: the frame moved or was stretched in transform mode.
  bool IsChanged() const;
  /// Gives the layer's content the frame's size (whole pixels, between
  /// kMinFrameSide and kMaxFrameSide) and leaves transform mode.
  void ApplyTransform();
  /// Puts the layer back where transform mode began and leaves the mode.
  void RollbackTransform();
  /// The layer's location changed: the frame takes it over.
  void ChildLocationChanged(TBaseLayer& sender);

  /// The handle under a view point; dkNone without an attached layer.
  TDragKind HitTest(double viewX, double viewY) const;
  /// Starts a drag when a handle is under the point; true when one started.
  bool MouseDown(double viewX, double viewY);
  /// One step of the drag; true when the frame changed.
  bool MouseMove(double viewX, double viewY, bool keepAspect, bool snap);
  /// Ends the drag; true when it changed the frame.
  bool MouseUp();
  /// Ends the drag with the frame back where it began.
  void CancelDrag();
  bool Dragging() const { return drag_ != dkNone; }
  TDragKind DragKind() const { return drag_; }
  /// Where the current drag began.
  const TFloatRect& DragStart() const { return dragStart_; }

  void Notification(TCustomLayer* removing) override;

 private:
  void UpdateHandles();
  void Unwatch();
  void ViewToPicture(double& x, double& y) const;

  TBaseLayer* watched_ = nullptr;  // the layer whose OnLocationChanged calls this frame
  bool transformMode_ = false;
  TDragKind drag_ = dkNone;
  TFloatRect dragStart_{};
  double startX_ = 0, startY_ = 0;  // picture point where the drag began
};

}  // namespace tvx
