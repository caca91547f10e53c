#include "controls/ui/ImgView2.h"

#include <cmath>

#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include "controls/Zoom.h"
#include "util/Guard.h"

namespace tvx {
namespace {

// Lines per arrow key press or wheel step, in widget pixels.
constexpr int kScrollStep = 20;

int32_t ToViewPixels(int logical, qreal ratio) { return static_cast<int32_t>(std::ceil(logical * ratio)); }

bool PansWith(Qt::MouseButton button) { return button == Qt::LeftButton || button == Qt::MiddleButton; }

}  // namespace

TImgView2::TImgView2(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setMouseTracking(true);
  // Every pixel is painted from the buffer: no background fill first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  UpdateGeometry();
  SyncScrollBars();
  UpdateCursor();
}

TImgView2::~TImgView2() { DetachLayers(); }

QSize TImgView2::sizeHint() const { return QSize(320, 240); }

void TImgView2::SetBitmap(const TBitmap32* picture) {
  picture_ = picture;
  PictureChanged();
}

void TImgView2::PictureChanged() {
  painter_.ScaledPicture().Invalidate();
  const int32_t x = geometry_.ScrollX(), y = geometry_.ScrollY();
  UpdateGeometry();
  Commit(x, y);
  emit changed();
}

void TImgView2::SetLayers(TLayerCollection* layers) {
  if (layers == layers_) return;
  DetachLayers();
  layers_ = layers;
  if (layers_) {
    layers_->SetOwnerView(this);
    layers_->OnListChange = [this] { viewport()->update(); };
    layers_->OnLayerChanged = [this](TCustomLayer&) { viewport()->update(); };
    layers_->SetCoordXForm(geometry_.CoordXForm());
  }
  viewport()->update();
}

void TImgView2::DetachLayers() {
  if (!layers_) return;
  if (layers_->OwnerView() == this) layers_->SetOwnerView(nullptr);
  layers_->OnListChange = nullptr;
  layers_->OnLayerChanged = nullptr;
  layers_ = nullptr;
}

void TImgView2::SetScale(double scale) {
  const int32_t x = geometry_.ScrollX(), y = geometry_.ScrollY();
  if (!geometry_.SetScale(scale)) return;
  Commit(x, y);
  emit scaleChanged(geometry_.Scale());
}

std::optional<double> TImgView2::FitToViewScale() const {
  return tvx::FitToViewScale(geometry_.ViewportWidth(), geometry_.ViewportHeight(), geometry_.PictureWidth(),
                             geometry_.PictureHeight());
}

void TImgView2::SetMode(TImgViewMode mode) {
  mode_ = mode;
  panning_ = false;
  UpdateCursor();
}

void TImgView2::SetFrameIntensity(int value) {
  value = std::clamp(value, 0, 255);
  if (value == frameIntensity_) return;
  frameIntensity_ = value;
  viewport()->update();
}

void TImgView2::ScrollToCenter(double x, double y) {
  const int32_t oldX = geometry_.ScrollX(), oldY = geometry_.ScrollY();
  if (geometry_.ScrollToCenter(x, y)) Commit(oldX, oldY);
}

QPointF TImgView2::WidgetToPicture(const QPointF& position) const {
  double x = position.x() * pixelRatio_, y = position.y() * pixelRatio_;
  geometry_.ViewToPicture(x, y);
  return QPointF(x, y);
}

bool TImgView2::UpdateGeometry() {
  pixelRatio_ = viewport()->devicePixelRatioF();
  const int32_t w = ToViewPixels(viewport()->width(), pixelRatio_);
  const int32_t h = ToViewPixels(viewport()->height(), pixelRatio_);
  const bool resized = w != geometry_.ViewportWidth() || h != geometry_.ViewportHeight();
  geometry_.SetViewportSize(w, h);
  geometry_.SetPictureSize(picture_ ? picture_->Width() : 0, picture_ ? picture_->Height() : 0);
  return resized;
}

void TImgView2::Commit(int32_t oldScrollX, int32_t oldScrollY) {
  SyncScrollBars();
  if (layers_) layers_->SetCoordXForm(geometry_.CoordXForm());
  viewport()->update();
  if (geometry_.ScrollX() != oldScrollX || geometry_.ScrollY() != oldScrollY) emit scrolled();
}

void TImgView2::SyncScrollBars() {
  // The bars count view pixels; their own changes come back through
  // scrollContentsBy, which must not act on values set here.
  syncingScrollBars_ = true;
  const int step = std::max(1, static_cast<int>(std::lround(kScrollStep * pixelRatio_)));
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, geometry_.MaxScrollX());
  h->setPageStep(std::max(1, geometry_.ViewportWidth()));
  h->setSingleStep(step);
  h->setValue(geometry_.ScrollX());
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, geometry_.MaxScrollY());
  v->setPageStep(std::max(1, geometry_.ViewportHeight()));
  v->setSingleStep(step);
  v->setValue(geometry_.ScrollY());
  syncingScrollBars_ = false;
}

void TImgView2::UpdateCursor() {
  if (mode_ == ivmView)
    viewport()->setCursor(panning_ ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
  else
    viewport()->setCursor(Qt::SizeAllCursor);
}

void TImgView2::scrollContentsBy(int, int) {
  if (syncingScrollBars_) return;
  GuardedCall([&] {
    const int32_t x = geometry_.ScrollX(), y = geometry_.ScrollY();
    if (geometry_.SetScroll(horizontalScrollBar()->value(), verticalScrollBar()->value())) Commit(x, y);
  });
}

void TImgView2::resizeEvent(QResizeEvent*) {
  GuardedCall([&] {
    const int32_t x = geometry_.ScrollX(), y = geometry_.ScrollY();
    const bool resized = UpdateGeometry();
    Commit(x, y);
    if (resized) emit this->resized();
  });
}

void TImgView2::paintEvent(QPaintEvent*) {
  GuardedCall([&] {
    QElapsedTimer timer;
    timer.start();
    if (viewport()->devicePixelRatioF() != pixelRatio_) {
      // moved to a screen of another density: same widget size, other pixel count
      const int32_t x = geometry_.ScrollX(), y = geometry_.ScrollY();
      if (UpdateGeometry()) {
        Commit(x, y);
        emit resized();
      }
    }
    const int square = TViewPainter::kCheckerSquare * std::max(1, static_cast<int>(std::lround(pixelRatio_)));
    painter_.Paint(buffer_, geometry_, picture_, layers_, frameIntensity_, square);
    if (bufferHook_) bufferHook_(buffer_);
    QPainter p(viewport());
    if (!buffer_.Empty()) {
      // The buffer's own memory (B, G, R, A per pixel, rows without padding)
      // is this format; a writable, unshared image takes its ratio without a copy.
      QImage image(reinterpret_cast<uchar*>(buffer_.Bits()), buffer_.Width(), buffer_.Height(),
                   static_cast<qsizetype>(buffer_.Width()) * 4, QImage::Format_RGB32);
      image.setDevicePixelRatio(pixelRatio_);
      p.drawImage(QPointF(0, 0), image);
    }
    if (paintHook_) paintHook_(p);
    lastPaintMicroseconds_ = timer.nsecsElapsed() / 1000;
  });
}

TViewMouseEvent TImgView2::MakeMouseEvent(const QMouseEvent& event) const {
  TViewMouseEvent e;
  e.Button = event.button();
  e.Buttons = event.buttons();
  e.Modifiers = event.modifiers();
  e.View = event.position() * pixelRatio_;
  double x = e.View.x(), y = e.View.y();
  geometry_.ViewToPicture(x, y);
  e.Picture = QPointF(x, y);
  return e;
}

void TImgView2::mousePressEvent(QMouseEvent* event) {
  GuardedCall([&] {
    emit mousePressed(MakeMouseEvent(*event));
    if (mode_ == ivmView && PansWith(event->button())) {
      panning_ = true;
      lastPanPosition_ = event->position() * pixelRatio_;
      UpdateCursor();
    }
  });
  event->accept();
}

void TImgView2::mouseDoubleClickEvent(QMouseEvent* event) {
  GuardedCall([&] { emit mouseDoubleClicked(MakeMouseEvent(*event)); });
  // the second press of the pair, as for any press
  mousePressEvent(event);
}

void TImgView2::mouseMoveEvent(QMouseEvent* event) {
  GuardedCall([&] {
    emit mouseMoved(MakeMouseEvent(*event));
    if (panning_) {
      const QPointF position = event->position() * pixelRatio_;
      const QPointF delta = lastPanPosition_ - position;
      const int32_t x = geometry_.ScrollX(), y = geometry_.ScrollY();
      if (geometry_.ScrollBy(static_cast<int32_t>(std::lround(delta.x())),
                             static_cast<int32_t>(std::lround(delta.y()))))
        Commit(x, y);
      lastPanPosition_ = position;
    }
  });
  event->accept();
}

void TImgView2::mouseReleaseEvent(QMouseEvent* event) {
  GuardedCall([&] {
    emit mouseReleased(MakeMouseEvent(*event));
    panning_ = false;
    UpdateCursor();
  });
  event->accept();
}

}  // namespace tvx
