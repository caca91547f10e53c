#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "raster/Bitmap32.h"

namespace tvx {

class TCustomLayer;

/// The view that owns a layer collection (an image view), as far as layers
/// need it.
class TLayerViewOwner {
 public:
  virtual ~TLayerViewOwner() = default;
  /// The rectangle the picture occupies in view coordinates at the current
  /// scale and scroll position.
  virtual TRect GetBitmapRect() const = 0;
};

/// Picture-to-view mapping: view = picture * scale / 65536 + shift.
struct TCoordXForm {
  int32_t ScaleX = 65536, ScaleY = 65536;  // 16.16 fixed point
  float ShiftX = 0, ShiftY = 0;
  friend bool operator==(const TCoordXForm&, const TCoordXForm&) = default;
};

/// An ordered list of layers; index 0 is painted first (bottom-most). Owns its
/// layers. Not thread-safe: used from the user-interface thread or a batch run.
class TLayerCollection {
 public:
  TLayerCollection() = default;
  explicit TLayerCollection(TLayerViewOwner* owner) : owner_(owner) {}
  ~TLayerCollection();
  TLayerCollection(const TLayerCollection&) = delete;
  TLayerCollection& operator=(const TLayerCollection&) = delete;

  /// Creates a layer of class T (constructor T(TLayerCollection*, args...))
  /// and appends it; returns it (owned by the collection).
  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto layer = std::make_unique<T>(this, std::forward<Args>(args)...);
    T& ref = *layer;
    Insert(Count(), std::move(layer));
    return ref;
  }
  /// Takes ownership of a layer (e.g. one extracted from another collection)
  /// and puts it at index (clamped to 0..Count()).
  TCustomLayer& Insert(int32_t index, std::unique_ptr<TCustomLayer> layer);
  /// Removes the layer at index and hands it over; it belongs to no collection.
  std::unique_ptr<TCustomLayer> Extract(int32_t index);
  /// Destroys the layer at index; out-of-range indices do nothing.
  void Delete(int32_t index);
  /// Destroys all layers.
  void Clear();

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TCustomLayer& Items(int32_t index) const { return *items_.at(static_cast<size_t>(index)); }
  /// Index of the layer, or -1.
  int32_t IndexOf(const TCustomLayer* layer) const;
  /// Moves a layer to newIndex (clamped), keeping the others in order.
  void Move(int32_t index, int32_t newIndex);

  /// Paints the visible layers in index order.
  void Paint(TBitmap32& buffer);

  const TCoordXForm& CoordXForm() const { return xform_; }
  void SetCoordXForm(const TCoordXForm& xform);
  /// Maps a picture rectangle or point to view coordinates.
  TFloatRect LocalToView(const TFloatRect& r) const;
  void LocalToView(float& x, float& y) const;
  /// Maps a view point back to picture coordinates.
  void ViewToLocal(float& x, float& y) const;

  TLayerViewOwner* OwnerView() const { return owner_; }
  void SetOwnerView(TLayerViewOwner* owner) { owner_ = owner; }
  /// The owner view's picture rectangle; empty without an owner view.
  TRect GetBitmapRect() const { return owner_ ? owner_->GetBitmapRect() : TRect{}; }

  /// Called before and after a layer changes its look (repaint the view).
  std::function<void(TCustomLayer&)> OnLayerChanging, OnLayerChanged;
  /// Called after layers were added, removed or reordered, and after a
  /// transform change.
  std::function<void()> OnListChange;

 private:
  friend class TCustomLayer;
  void NotifyListChange() {
    if (OnListChange) OnListChange();
  }
  std::vector<std::unique_ptr<TCustomLayer>> items_;
  TCoordXForm xform_;
  TLayerViewOwner* owner_ = nullptr;
};

/// A member of a layer collection.
class TCustomLayer {
 public:
  /// Remembers the collection; TLayerCollection::Add appends the layer.
  explicit TCustomLayer(TLayerCollection* collection) : collection_(collection) {}
  virtual ~TCustomLayer();
  TCustomLayer(const TCustomLayer&) = delete;
  TCustomLayer& operator=(const TCustomLayer&) = delete;

  TLayerCollection* LayerCollection() const { return collection_; }
  /// Position in the collection, -1 outside one.
  int32_t Index() const { return collection_ ? collection_->IndexOf(this) : -1; }
  void SetIndex(int32_t index);
  void BringToFront();
  void SendToBack();

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  int32_t Tag = 0;

  /// Brackets a change of the layer's look; forwarded to the collection.
  void Changing();
  void Changed();

  /// Paints the layer into a view buffer.
  virtual void Paint(TBitmap32& /*buffer*/) {}
  /// Another layer of the same collection is about to be destroyed.
  virtual void Notification(TCustomLayer* /*removing*/) {}

 private:
  friend class TLayerCollection;
  TLayerCollection* collection_;
  bool visible_ = true;
};

/// A layer with a location in picture coordinates.
class TPositionedLayer : public TCustomLayer {
 public:
  using TCustomLayer::TCustomLayer;

  const TFloatRect& Location() const { return location_; }
  /// Stores the rectangle through DoSetLocation.
  void SetLocation(const TFloatRect& r) { DoSetLocation(r); }
  /// When on, the location is mapped through the collection's transform.
  bool Scaled = false;

  /// r mapped to view coordinates (when Scaled and in a collection).
  TFloatRect GetAdjustedRect(const TFloatRect& r) const;
  TFloatRect GetAdjustedLocation() const { return GetAdjustedRect(location_); }

 protected:
  /// Stores the rectangle between Changing and Changed.
  virtual void DoSetLocation(const TFloatRect& r);
  /// Stores the rectangle only (no notification, no virtual call).
  void StoreLocation(const TFloatRect& r) { location_ = r; }

 private:
  TFloatRect location_{};
};

/// A positioned layer that owns a bitmap and paints it stretched into its
/// location with the bitmap's own filter, draw mode, combine mode and master
/// alpha.
class TCustomBitmapLayer : public TPositionedLayer {
 public:
  using TPositionedLayer::TPositionedLayer;

  TBitmap32& Bitmap() { return bitmap_; }
  const TBitmap32& Bitmap() const { return bitmap_; }
  /// Clip the painting to the owner view's picture rectangle.
  bool Cropped = false;

  void Paint(TBitmap32& buffer) override;

 private:
  TBitmap32 bitmap_;
};

/// Handle set of a rubber band.
using TRBHandles = uint32_t;
inline constexpr TRBHandles rhCenter = 1u << 0;
inline constexpr TRBHandles rhSides = 1u << 1;
inline constexpr TRBHandles rhCorners = 1u << 2;
inline constexpr TRBHandles rhFrame = 1u << 3;

/// A frame with handles around one child positioned layer, whose location it
/// keeps equal to its own. Named apart from the watermark's selection frame
/// (tvx::TRubberbandLayer), which derives from it.
class TCustomRubberbandLayer : public TPositionedLayer {
 public:
  using TPositionedLayer::TPositionedLayer;

  TPositionedLayer* ChildLayer() const { return child_; }
  /// Attaches the frame (taking the child's location) or detaches it (nullptr).
  void SetChildLayer(TPositionedLayer* layer);

  TRBHandles Handles() const { return handles_; }
  void SetHandles(TRBHandles handles);
  /// Half the side of a handle square, in view pixels.
  int32_t HandleSize = 3;
  TColor32 FrameColor = 0xFF000000u;
  TColor32 HandleFill = 0xFFFFFFFFu;

  void Paint(TBitmap32& buffer) override;
  void Notification(TCustomLayer* removing) override;

 protected:
  void DoSetLocation(const TFloatRect& r) override;

 private:
  TPositionedLayer* child_ = nullptr;
  TRBHandles handles_ = rhCenter;
};

}  // namespace tvx
