#include "controls/ui/ColorSelector.h"

#include <QColorDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "util/Guard.h"
#include "raster/Bitmap32.h"

namespace tvx {

std::optional<uint32_t> ChooseColorWithDialog(uint32_t current, QWidget* parent) {
  const QColor chosen = QColorDialog::getColor(QColor::fromRgb(Color32(current)), parent);
  if (!chosen.isValid()) return std::nullopt;
  return static_cast<uint32_t>(chosen.red()) | static_cast<uint32_t>(chosen.green()) << 8 |
         static_cast<uint32_t>(chosen.blue()) << 16;
}

namespace {

QString ColorText(uint32_t color) { return QColor::fromRgb(Color32(color)).name(QColor::HexRgb); }

}  // namespace

TColorSelector::TColorSelector(QWidget* parent) : QWidget(parent), chooser_(ChooseColorWithDialog) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  resize(sizeHint());
  setAccessibleDescription(ColorText(color_));
}

void TColorSelector::SetColor(uint32_t color) {
  color_ = color;
  setAccessibleDescription(ColorText(color_));
  update();
}

void TColorSelector::SetChooser(TChooser chooser) {
  chooser_ = chooser ? std::move(chooser) : ChooseColorWithDialog;
}

void TColorSelector::Choose() {
  const std::optional<uint32_t> chosen = chooser_(color_, this);
  if (!chosen) return;
  SetColor(*chosen);
  emit colorChanged(color_);
}

void TColorSelector::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, palette().color(hasFocus() ? QPalette::Highlight : QPalette::Dark));
  p.fillRect(r.adjusted(1, 1, -1, -1), Qt::white);
  p.fillRect(r.adjusted(2, 2, -2, -2), QColor::fromRgb(Color32(color_)));
}

void TColorSelector::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  GuardedCall([&] { Choose(); });
}

void TColorSelector::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      GuardedCall([&] { Choose(); });
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace tvx
