#pragma once

#include <QPoint>
#include <QWidget>

#include "editor/NavigatorModel.h"

namespace tvx {

class TImgView2;

/// The editor's navigator: the canvas picture with its layers as a
/// thumbnail, framed by a bevel, and a rectangle showing the part of the
/// canvas on view. Dragging the rectangle, or clicking beside it, scrolls
/// the canvas there. Repaint it whenever the canvas repaints (Refresh).
class TNavigator : public QWidget {
  Q_OBJECT

 public:
  explicit TNavigator(TImgView2& canvas, QWidget* parent = nullptr);

  /// The canvas picture (not owned; null for none).
  void SetPicture(const TBitmap32* picture);
  /// The picture's pixels changed.
  void PictureChanged();
  /// Draw the layers and the rectangle again.
  void Refresh() { update(); }

  TNavigatorModel& Model() { return model_; }
  /// The viewport rectangle in widget coordinates (empty without a picture).
  QRect ViewportRect() const;
  /// Scrolls the canvas so that the thumbnail point under widget point p is centred.
  void CenterOn(const QPointF& p);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPoint AreaOrigin() const;

  TImgView2& canvas_;
  TNavigatorModel model_;
  bool dragging_ = false;
  QPointF grab_;  // the pointer's offset from the rectangle's centre while dragging
};

}  // namespace tvx
