#include "styles/ui/GradSelector.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "raster/Bitmap32.h"
#include "styles/ui/frmGradientEditor.h"
#include "util/Guard.h"

namespace tvx {

std::optional<TGradient> EditGradientWithDialog(const TGradient& gradient, QWidget* parent) {
  TfrmGradientEditor editor(parent);
  editor.SetGradient(gradient);
  if (editor.exec() != QDialog::Accepted) return std::nullopt;
  return editor.Gradient();
}

TGradSelector::TGradSelector(QWidget* parent) : QWidget(parent), editor_(EditGradientWithDialog) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  resize(sizeHint());
  setToolTip(QStringLiteral("Double-click to edit the gradient"));
}

void TGradSelector::SetGradient(const TGradient& gradient) {
  gradient_ = gradient;
  gradient_.SetAngle(0);
  gradient_.Type = gtLinear;
  update();
  emit gradientChanged();
}

void TGradSelector::SetEditor(TEditor editor) {
  editor_ = editor ? std::move(editor) : EditGradientWithDialog;
}

void TGradSelector::Edit() {
  const std::optional<TGradient> edited = editor_(gradient_, this);
  if (edited) SetGradient(*edited);
}

void TGradSelector::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, palette().color(hasFocus() ? QPalette::Highlight : QPalette::Dark));
  p.fillRect(r.adjusted(1, 1, -1, -1), Qt::white);
  const QRect inner = r.adjusted(2, 2, -2, -2);
  for (int k = 0; k < inner.width(); ++k) {
    const float x = static_cast<float>(k) / static_cast<float>(inner.width());
    p.setPen(QColor::fromRgb(Color32(gradient_.ColorAt(x))));
    p.drawLine(inner.left() + k, inner.top(), inner.left() + k, inner.bottom());
  }
}

void TGradSelector::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  GuardedCall([this] { Edit(); });
}

void TGradSelector::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      GuardedCall([this] { Edit(); });
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace tvx
