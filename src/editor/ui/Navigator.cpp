#include "editor/ui/Navigator.h"

#include <algorithm>

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "controls/ui/ImgView2.h"
#include "util/Guard.h"

namespace tvx {
namespace {

constexpr int kBevel = 1;

}  // namespace

TNavigator::TNavigator(TImgView2& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
  setObjectName(QStringLiteral("Navigator"));
  setAccessibleName(QStringLiteral("Navigator"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFixedSize(sizeHint());
  setCursor(Qt::PointingHandCursor);
}

QSize TNavigator::sizeHint() const {
  return QSize(TNavigatorModel::kAreaWidth + 2 * (kBevel + 1),
               TNavigatorModel::kAreaHeight + 2 * (kBevel + 1));
}

void TNavigator::SetPicture(const TBitmap32* picture) {
  model_.SetPicture(picture);
  update();
}

void TNavigator::PictureChanged() {
  model_.Invalidate();
  update();
}

QPoint TNavigator::AreaOrigin() const {
  return QPoint((width() - TNavigatorModel::kAreaWidth) / 2, (height() - TNavigatorModel::kAreaHeight) / 2);
}

QRect TNavigator::ViewportRect() const {
  const TRect thumb = model_.ThumbnailRect();
  const TRect r = model_.ViewportRect(canvas_.Geometry());
  if (r.Right <= r.Left || r.Bottom <= r.Top) return QRect();
  const QPoint o = AreaOrigin() + QPoint(thumb.Left, thumb.Top);
  return QRect(o.x() + r.Left, o.y() + r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

void TNavigator::paintEvent(QPaintEvent*) {
  GuardedCall([&] {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const TBitmap32& thumb = canvas_.Layers() ? model_.Render(*canvas_.Layers()) : model_.Thumbnail();
    if (thumb.Empty()) return;
    const TRect t = model_.ThumbnailRect();
    const QPoint o = AreaOrigin() + QPoint(t.Left, t.Top);
    // a bevel one pixel larger than the thumbnail on each side
    const QRect frame(o.x() - kBevel, o.y() - kBevel, thumb.Width() + 2 * kBevel,
                      thumb.Height() + 2 * kBevel);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(frame.topLeft(), frame.topRight());
    p.drawLine(frame.topLeft(), frame.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(frame.bottomLeft(), frame.bottomRight());
    p.drawLine(frame.topRight(), frame.bottomRight());
    const QImage image(reinterpret_cast<const uchar*>(thumb.Bits()), thumb.Width(), thumb.Height(),
                       qsizetype(thumb.Width()) * 4, QImage::Format_RGB32);
    p.drawImage(o, image);
    const QRect viewport = ViewportRect();
    if (!viewport.isEmpty()) {
      p.setPen(QPen(Qt::red, 1));
      p.setBrush(Qt::NoBrush);
      p.drawRect(viewport.adjusted(0, 0, -1, -1));
    }
  });
}

void TNavigator::CenterOn(const QPointF& p) {
  const TRect t = model_.ThumbnailRect();
  if (t.Right <= t.Left) return;
  const QPoint o = AreaOrigin() + QPoint(t.Left, t.Top);
  double x = std::clamp(p.x() - o.x(), 0.0, double(t.Right - t.Left));
  double y = std::clamp(p.y() - o.y(), 0.0, double(t.Bottom - t.Top));
  model_.ThumbnailToPicture(x, y);
  canvas_.ScrollToCenter(x, y);
  update();
}

void TNavigator::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  GuardedCall([&] {
    const QRect viewport = ViewportRect();
    if (viewport.contains(event->position().toPoint())) {
      grab_ = event->position() - QRectF(viewport).center();
    } else {
      // a click beside the rectangle centres it there
      grab_ = QPointF();
      CenterOn(event->position());
    }
    dragging_ = true;
  });
}

void TNavigator::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (!dragging_) return;
  GuardedCall([&] {
    // the rectangle stays inside the thumbnail
    const QRect viewport = ViewportRect();
    const TRect t = model_.ThumbnailRect();
    const QPoint o = AreaOrigin() + QPoint(t.Left, t.Top);
    QPointF centre = event->position() - grab_;
    const double halfW = viewport.width() / 2.0, halfH = viewport.height() / 2.0;
    centre.setX(
        std::clamp(centre.x(), o.x() + halfW, std::max(o.x() + halfW, o.x() + (t.Right - t.Left) - halfW)));
    centre.setY(
        std::clamp(centre.y(), o.y() + halfH, std::max(o.y() + halfH, o.y() + (t.Bottom - t.Top) - halfH)));
    CenterOn(centre);
  });
}

void TNavigator::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  dragging_ = false;
}

}  // namespace tvx
