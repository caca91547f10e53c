#include "controls/ui/AngleSelector.h"

#include <cmath>
#include <numbers>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/AngleDial.h"
#include "util/Guard.h"

namespace tvx {
namespace {

QString AngleText(float angle) {
  return QString::number(std::lround(angle * 180 / std::numbers::pi)) + QStringLiteral(" degrees");
}

}  // namespace

TAngleSelector::TAngleSelector(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  resize(sizeHint());
  setAccessibleDescription(AngleText(angle_));
}

void TAngleSelector::SetAngle(float angle) {
  if (angle == angle_ || !std::isfinite(angle)) return;
  angle_ = angle;
  setAccessibleDescription(AngleText(angle_));
  update();
  emit angleChanged(angle_);
}

void TAngleSelector::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, palette().color(QPalette::Window));
  p.setRenderHint(QPainter::Antialiasing);
  // a 2-pixel outline drawn inside the inscribed circle
  p.setPen(QPen(palette().color(hasFocus() ? QPalette::Highlight : QPalette::Dark), 2));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(r).adjusted(1, 1, -1, -1));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 0));
  const QPoint centre(width() / 2, height() / 2);
  const TDialPoint end = AngleLineEnd(angle_, height());
  p.drawLine(centre, centre + QPoint(end.X, end.Y));
}

void TAngleSelector::PointAt(const QPointF& position) {
  const QPoint at = position.toPoint();
  SetAngle(AngleFromPoint(at.x(), at.y(), width(), height()));
}

void TAngleSelector::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  GuardedCall([&] { PointAt(event->position()); });
}

void TAngleSelector::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (pressed_) GuardedCall([&] { PointAt(event->position()); });
}

void TAngleSelector::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() == Qt::LeftButton) pressed_ = false;
}

void TAngleSelector::keyPressEvent(QKeyEvent* event) {
  int degrees = 0;
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
      degrees = 1;
      break;
    case Qt::Key_Down:
    case Qt::Key_Left:
      degrees = -1;
      break;
    case Qt::Key_PageUp:
      degrees = 15;
      break;
    case Qt::Key_PageDown:
      degrees = -15;
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
  GuardedCall([&] { SetAngle(StepAngle(angle_, degrees)); });
}

}  // namespace tvx
