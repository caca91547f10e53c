#pragma once

#include <functional>
#include <optional>

#include <QAbstractScrollArea>
#include <QPointF>

#include "controls/ViewGeometry.h"
#include "controls/ViewPainter.h"
#include "raster/Bitmap32.h"
#include "raster/Layers.h"

class QPainter;

namespace tvx {

/// What a mouse drag on an image view does: pan the view (view mode), or
/// nothing of the view's own, leaving the drag to the owner (move and edit
/// modes, the editor's layer handling).
enum TImgViewMode { ivmView = 0, ivmMove = 1, ivmEdit = 2 };

/// A mouse event of an image view, in picture coordinates and in view pixels
/// (the paint buffer's pixels, device pixels on a high-density screen, the
/// space of the layer collection's transform).
struct TViewMouseEvent {
  Qt::MouseButton Button = Qt::NoButton;  ///< the button pressed or released; none for a move
  Qt::MouseButtons Buttons;               ///< the buttons held after the event
  Qt::KeyboardModifiers Modifiers;
  QPointF Picture;  ///< picture pixels, fractional; outside the picture too
  QPointF View;     ///< view pixels
};

/// The scrollable, zoomable picture view of the preview and the editor: a
/// checkerboard background, the picture (not owned) scaled into its
/// rectangle, optionally a layer collection over it, a veil over the margins
/// around the picture, and a paint hook after all that.
///
/// Scale 1.0 shows one picture pixel per device pixel, so a high-density
/// screen shows the picture sharp; the view's rectangles, scroll positions
/// and the layers' transform are in those view (device) pixels. Shrunk
/// pictures are drawn from a cached scaled copy; call PictureChanged() after
/// changing the picture's pixels or size.
///
/// In view mode a drag with the left or middle button pans the picture with a
/// hand cursor; the other modes show the move cursor and leave drags to the
/// owner, who receives every press, move and release as signals (the cursor
/// is the viewport's; a release sets the mode's cursor again). The arrow keys
/// scroll while the view has focus. The owner sets the accessible name.
class TImgView2 : public QAbstractScrollArea, public TLayerViewOwner {
  Q_OBJECT

 public:
  explicit TImgView2(QWidget* parent = nullptr);
  ~TImgView2() override;

  /// The picture shown, or none; the view does not own it and the caller
  /// keeps it alive while it is set.
  const TBitmap32* Bitmap() const { return picture_; }
  void SetBitmap(const TBitmap32* picture);
  /// Say that the picture's pixels or size changed: drops the scaled copy,
  /// updates the scroll ranges, repaints and signals changed().
  void PictureChanged();

  /// The layers painted over the picture, or none. The view becomes their
  /// owner view, keeps their transform and takes their change notifications
  /// to repaint, until another collection (or none) is set. The collection
  /// must outlive the view or be unset first.
  TLayerCollection* Layers() const { return layers_; }
  void SetLayers(TLayerCollection* layers);

  double Scale() const { return geometry_.Scale(); }
  /// Keeps the picture point at the viewport's centre where it can.
  void SetScale(double scale);
  /// The "Fit to view" scale for the current picture and viewport; nothing
  /// for an empty picture.
  std::optional<double> FitToViewScale() const;

  TImgViewMode Mode() const { return mode_; }
  /// Ends any panning and shows the mode's cursor.
  void SetMode(TImgViewMode mode);

  /// Opacity 0..255 of the veil around the picture (0: none).
  int FrameIntensity() const { return frameIntensity_; }
  /// Clamps to 0..255; ignores an unchanged value.
  void SetFrameIntensity(int value);

  /// Picture point (x, y) to the viewport's centre, as far as scrolling allows.
  void ScrollToCenter(double x, double y);
  /// The viewport, (0, 0, width, height) in view pixels.
  TRect GetViewportRect() const { return geometry_.GetViewportRect(); }
  /// The picture's rectangle in view pixels.
  TRect GetBitmapRect() const override { return geometry_.GetBitmapRect(); }
  /// Scale, scroll position and the mappings between view and picture.
  const TViewGeometry& Geometry() const { return geometry_; }
  /// View pixels per widget (logical) pixel.
  qreal PixelRatio() const { return pixelRatio_; }
  /// A position in widget (viewport) coordinates in picture coordinates.
  QPointF WidgetToPicture(const QPointF& position) const;

  /// Called at each repaint after the layers and the veil: BufferHook with
  /// the paint buffer (view pixels), then PaintHook with a painter on the
  /// viewport (widget coordinates) after the buffer is shown.
  void SetBufferHook(std::function<void(TBitmap32& buffer)> hook) { bufferHook_ = std::move(hook); }
  void SetPaintHook(std::function<void(QPainter& painter)> hook) { paintHook_ = std::move(hook); }

  /// The last paint's duration in microseconds (for measurements).
  qint64 LastPaintMicroseconds() const { return lastPaintMicroseconds_; }

  QSize sizeHint() const override;

 signals:
  /// The picture's pixels or size changed.
  void changed();
  void scaleChanged(double scale);
  /// The scroll position changed (scroll bars, panning, keys, ScrollToCenter).
  void scrolled();
  /// The viewport changed its size (also in view pixels when the pixel ratio changes).
  void resized();
  void mousePressed(const tvx::TViewMouseEvent& event);
  void mouseMoved(const tvx::TViewMouseEvent& event);
  void mouseReleased(const tvx::TViewMouseEvent& event);
  /// A double click; mousePressed follows for its second press.
  void mouseDoubleClicked(const tvx::TViewMouseEvent& event);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  /// Takes the viewport's and the picture's sizes; returns whether the
  /// viewport's size in view pixels changed.
  bool UpdateGeometry();
  /// Shows a geometry change: scroll bars, layer transform, repaint, and
  /// scrolled() when the scroll position differs from the one given.
  void Commit(int32_t oldScrollX, int32_t oldScrollY);
  void SyncScrollBars();
  void UpdateCursor();
  void DetachLayers();
  TViewMouseEvent MakeMouseEvent(const QMouseEvent& event) const;

  const TBitmap32* picture_ = nullptr;
  TLayerCollection* layers_ = nullptr;
  TViewGeometry geometry_;
  TViewPainter painter_;
  TBitmap32 buffer_;
  TImgViewMode mode_ = ivmView;
  int frameIntensity_ = TViewPainter::kDefaultFrameIntensity;
  qreal pixelRatio_ = 1;
  bool panning_ = false;
  QPointF lastPanPosition_;
  bool syncingScrollBars_ = false;
  std::function<void(TBitmap32&)> bufferHook_;
  std::function<void(QPainter&)> paintHook_;
  qint64 lastPaintMicroseconds_ = 0;
};

}  // namespace tvx

Q_DECLARE_METATYPE(tvx::TViewMouseEvent)
