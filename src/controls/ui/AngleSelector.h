#pragma once

#include <QWidget>

namespace tvx {

/// A dial of 50 x 50 pixels on which the user points an angle: a white
/// circle with a needle from the centre. Angle in radians, clockwise from
/// the positive x axis (y grows downward). Pressing and dragging point the
/// needle at the mouse; with focus, the arrow keys turn it by one degree
/// (Up and Right clockwise) and Page Up and Page Down by fifteen.
class TAngleSelector : public QWidget {
  Q_OBJECT

 public:
  explicit TAngleSelector(QWidget* parent = nullptr);

  float Angle() const { return angle_; }
  /// Ignores a value equal to the current one (and NaN or infinities);
  /// otherwise stores it, repaints and signals angleChanged.
  void SetAngle(float angle);

  QSize sizeHint() const override { return QSize(50, 50); }

 signals:
  void angleChanged(float angle);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void PointAt(const QPointF& position);

  float angle_ = 0;
  bool pressed_ = false;
};

}  // namespace tvx
