#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raster/Bitmap32.h"
#include "styles/FilterParams.h"
#include "util/Stream.h"
#include "watermark/Placement.h"
#include "raster/Layers.h"

namespace tvx {

/// The common base of the watermark's layers. Its library bitmap (Bitmap())
/// is the rendered bitmap: the source content with noise and styles applied.
/// The layer owns both bitmaps and its styles; the collection owns the layer.
/// Not thread-safe: used from the user-interface thread only.
class TBaseLayer : public TCustomBitmapLayer {
 public:
  explicit TBaseLayer(TLayerCollection* collection);
  ~TBaseLayer() override = default;

  // ---- placement -----------------------------------------------------------
  uint8_t XUnit = cuPixels;
  uint8_t YUnit = cuPixels;
  float XCoord = 0;
  float YCoord = 0;
  uint8_t HAlign = haLeft;
  uint8_t VAlign = vaTop;
  std::string Name;

  /// Called with the layer after every location change. A callback that
  /// raises is removed and its error swallowed.
  std::function<void(TBaseLayer&)> OnLocationChanged;

  // ---- tiling and noise ----------------------------------------------------
  bool Tile = false;
  int32_t XTileOffs = 0;  ///< gap between tiles, picture pixels
  int32_t YTileOffs = 0;
  bool Noisy = false;
  uint32_t NoiseIntensity = 50;

  // ---- fitting to the picture ----------------------------------------------
  uint8_t SizeMode = lsFixed;     ///< TLayerSizeMode
  static constexpr float kDefaultSizePercent = 10;
  static constexpr float kMaxSizePercent = 1000;  ///< what a file may hold
  float SizePercent = kDefaultSizePercent;        ///< of the extent SizeMode names
  uint8_t Orientation = loBoth;   ///< TLayerOrientation
  float Angle = 0;                ///< degrees, around the centre, after styles

  /// How the layer lands on a picture of one size: its content scaled by the
  /// size mode, with noise and styles, turned by Angle (clockwise on screen).
  struct TFit {
    int32_t PictureWidth = -1, PictureHeight = -1;
    bool Shown = true;                            ///< the orientation rule lets it onto the picture
    int32_t ContentWidth = 0, ContentHeight = 0;  ///< the content's size: what placement aligns
    int32_t OffsetX = 0, OffsetY = 0;             ///< where the content's top-left lies in the bitmap
    int32_t MarginX = 0, MarginY = 0;             ///< how far the turn grew the bitmap on each side
    bool Own = true;                              ///< drawn with the rendered bitmap as it is
    TBitmap32 Bitmap;                             ///< otherwise this one
    // what the fit was made from
    uint64_t Generation = 0;
    int32_t SourceWidth = 0, SourceHeight = 0;
    uint8_t SizeMode = lsFixed;
    float SizePercent = 0, Angle = 0;
  };

  /// Whether the layer changes with the picture's size: a relative size or a turn.
  bool Fits() const;
  /// Whether the orientation rule lets the layer onto a picture of that size
  /// (a square one counts as landscape; a picture of no size takes every layer).
  bool ShownOn(int32_t width, int32_t height) const;
  /// The content's size on a picture of that size: the source's own for
  /// lsFixed (or no picture), else scaled keeping the aspect ratio, at least
  /// 1 and at most 10000 pixels or twice the picture's longer side a side;
  /// 0 x 0 for an empty source.
  void ContentSizeOn(int32_t width, int32_t height, int32_t& contentWidth, int32_t& contentHeight) const;
  /// The layer fitted to a picture of that size; kept until the layer renders
  /// again or its fitting fields change (the last two sizes are kept, so the
  /// canvas and the navigator do not take turns rebuilding).
  const TFit& FitTo(int32_t width, int32_t height) const;
  /// Scales what sets the layer's size on a picture: the percentage of a
  /// relative size (kept within 0.1..kMaxSizePercent), or the content of a
  /// fixed size (ResizeTo, whole pixels within 1..10000). A turned layer
  /// scales by one factor (the geometric mean), keeping its aspect ratio, as
  /// a relative size always does along the extent it follows. Renders.
  void ScaleBy(double sx, double sy);
  /// What a fit draws: its own bitmap, or the rendered one.
  const TBitmap32& FittedBitmap(const TFit& fit) const { return fit.Own ? Bitmap() : fit.Bitmap; }

  /// The layer's own content (picture, or rasterised text).
  TBitmap32& SourceBitmap() { return source_; }
  const TBitmap32& SourceBitmap() const { return source_; }
  /// What gets drawn: the source with noise and styles.
  TBitmap32& RenderedBitmap() { return Bitmap(); }
  const TBitmap32& RenderedBitmap() const { return Bitmap(); }

  int32_t StyleOffsetX() const { return styleOffsetX_; }
  int32_t StyleOffsetY() const { return styleOffsetY_; }
  const TFiltersParams& Styles() const { return styles_; }
  /// Copies the styles and renders.
  void SetStyles(const TFiltersParams& styles);
  bool StylesEnabled() const { return stylesEnabled_; }
  /// Renders when the flag changes.
  void SetStylesEnabled(bool enabled);

  /// Opacity: the master alpha of both bitmaps.
  int32_t GetMasterAlpha() const { return source_.MasterAlpha; }
  void SetMasterAlpha(int32_t alpha);

  void BeginUpdate() { ++updateCount_; }
  /// The closing call renders the layer once.
  void EndUpdate();
  int32_t UpdateCount() const { return updateCount_; }

  /// Rebuilds the rendered bitmap (noise, styles) and the location.
  void Render();

  /// The rectangle of what is drawn (the fitted bitmap) on a picture of the given size.
  TFloatRect GetLayerRect(int32_t width, int32_t height) const;
  /// The coordinates that reproduce the current location on a picture of the
  /// given size, in the current units and alignments.
  void LocationToCoords(int32_t width, int32_t height, float& x, float& y) const;

  /// Copies this layer into dest (see the implementation for what is copied).
  /// Raises "TBaseLayer::AssignTo::288" when dest is not a watermark layer.
  virtual void AssignTo(TCustomLayer& dest) const;
  /// dest.Assign(source) is source.AssignTo(dest).
  void Assign(const TBaseLayer& source) { source.AssignTo(*this); }
  /// An exact copy of the layer for collection (not inserted into it): both
  /// bitmaps, location, placement, name, styles, opacity, tiling, noise,
  /// visibility and tag, and the descendant's own fields. Nothing is
  /// rendered, so the copy saves to the same bytes and shows the same pixels.
  /// OnLocationChanged is not copied.
  virtual std::unique_ptr<TBaseLayer> Clone(TLayerCollection* collection) const = 0;

  /// Paints into a view's buffer through the collection's transform.
  void Paint(TBitmap32& buffer) override;
  TFloatRect MapToView(const TFloatRect& rect) const;
  virtual void DrawTile(TBitmap32& buffer, const TFloatRect& rect);

  /// Whether the content depends on the current picture.
  virtual bool HasMacros() const { return false; }
  /// Opens the layer's settings dialog: 1 OK, 2 Cancel.
  virtual int Configure() = 0;
  /// Gives the content a new pixel size.
  virtual void ResizeTo(int32_t width, int32_t height) = 0;

  /// The base block ("BASL"); descendants append theirs. Version 6 carries
  /// the fitting fields and is written only for a layer that sets one of
  /// them away from its default or places by percent of the shorter side;
  /// any other layer writes version 5.
  bool UsesFitting() const;
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;

  /// Draws the layer onto a picture; scale is 1.0 for output pictures and the
  /// thumbnail's scale for the navigator.
  virtual void DrawOnto(TBitmap32& target, double scale) const;
  /// DrawOnto at scale 1.0 onto a window of a picture of width x height:
  /// `window` shows the picture from (left, top) on, and its pixels come
  /// out exactly as the same pixels of the whole picture would.
  void DrawOntoWindow(TBitmap32& window, int32_t left, int32_t top, int32_t width, int32_t height) const;
  /// Appends the rectangles (within the picture) outside which DrawOnto at
  /// scale 1.0 changes no pixel of a picture of width x height: one, or one
  /// per tile; none when nothing shows.
  void ChangedRects(int32_t width, int32_t height, std::vector<TRect>& rects) const;
  /// Re-renders content that depends on the current picture.
  virtual void RefreshContent() {}

  /// The name shown for the layer: Name, or "New Layer " and the tag.
  std::string DisplayName() const;

 protected:
  void DoSetLocation(const TFloatRect& rect) override;
  /// Both bitmaps drawn with dmBlend and cmMerge.
  void SetDrawModes();
  /// Clone's part for the base layer's state.
  void CopyBaseState(const TBaseLayer& source);
  /// The content at width x height for a picture (the source resampled with
  /// the Lanczos filter; a text renders again at that size).
  virtual void ScaleContent(int32_t width, int32_t height, TBitmap32& out) const;
  /// The height lsShorterHeight sets: the content's own height. A text's is
  /// its line height (the font's pixel size), so that its size does not
  /// depend on which letters it holds.
  virtual double FittingHeight() const { return source_.Height(); }

 private:
  void DrawRect(TBitmap32& target, const TRect& r, const TBitmap32& b) const;
  /// Calls draw with each rectangle the fitted bitmap b is drawn into on a
  /// picture of width x height, given the layer's rectangle r there.
  void ForEachDrawnRect(const TRect& r, const TFit& fit, const TBitmap32& b, double scale, int32_t width,
                        int32_t height, const std::function<void(const TRect&)>& draw) const;
  void DrawTileOf(TBitmap32& buffer, const TFloatRect& rect, const TBitmap32& b) const;
  /// What the views paint, and whether they paint it (the fit placed).
  const TFit* PaintedFit() const;
  const TBitmap32& PaintedBitmap() const;
  bool PaintedShown() const;
  void BuildFit(TFit& fit, int32_t width, int32_t height) const;
  bool FitIsCurrent(const TFit& fit, int32_t width, int32_t height) const;

  TBitmap32 source_;
  int32_t updateCount_ = 0;
  int32_t styleOffsetX_ = 0;
  int32_t styleOffsetY_ = 0;
  TFiltersParams styles_;
  bool stylesEnabled_ = true;
  // Derived state: rebuilt when Render runs (generation_) or the fitting
  // fields change.
  uint64_t generation_ = 1;
  mutable TFit fits_[2];
  mutable TFit ownFit_;
  mutable int lastFit_ = -1;  // 0, 1: fits_ entry last asked for; 2: ownFit_
};

/// Brackets changes of a layer: BeginUpdate when made, EndUpdate when it goes
/// out of scope, so the closing one renders the layer once with the changes.
/// That happens also when the changes raise: the layer then shows what was
/// changed before the error. An error of the rendering itself propagates, but
/// not over an error already under way, which is the one reported.
class TLayerUpdate {
 public:
  explicit TLayerUpdate(TBaseLayer& layer);
  ~TLayerUpdate() noexcept(false);
  TLayerUpdate(const TLayerUpdate&) = delete;
  TLayerUpdate& operator=(const TLayerUpdate&) = delete;

 private:
  TBaseLayer& layer_;
  int uncaught_;  // errors under way when made: more at the end means unwinding
};

}  // namespace tvx
