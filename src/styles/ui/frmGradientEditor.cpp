#include "styles/ui/frmGradientEditor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "controls/ui/FormHelpers.h"
#include "raster/Bitmap32.h"
#include "util/Guard.h"

namespace tvx {
namespace {

using M = TGradientMarkers;

QColor SystemColor(uint32_t color) { return QColor::fromRgb(Color32(color)); }

QString PercentText(float position) {
  return QString::number(static_cast<double>(position) * 100, 'f', 1) + "%";
}

}  // namespace

// ---- TGradientRampEdit -----------------------------------------------------------

TGradientRampEdit::TGradientRampEdit(QWidget* parent) : QWidget(parent), chooser_(ChooseColorWithDialog) {
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(QStringLiteral("Gradient"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  resize(sizeHint());
}

QSize TGradientRampEdit::sizeHint() const {
  return QSize(M::RampLeft * 2 + M::RampWidth, M::RampTop + M::RampHeight + M::AddBand + 1);
}

void TGradientRampEdit::Load(const TGradient& gradient) {
  markers_.Load(gradient);
  dragged_ = -1;
  DescribeSelection();
  update();
}

void TGradientRampEdit::SetChooser(TColorSelector::TChooser chooser) {
  chooser_ = chooser ? std::move(chooser) : ChooseColorWithDialog;
}

void TGradientRampEdit::ChooseColor(int marker) {
  if (marker < 0 || marker >= markers_.Count()) return;
  const std::optional<uint32_t> chosen = chooser_(markers_.Markers()[marker].Color, this);
  if (chosen && markers_.SetColor(marker, *chosen)) Changed();
}

void TGradientRampEdit::Changed() {
  DescribeSelection();
  update();
  emit changed();
}

void TGradientRampEdit::DescribeSelection() {
  // what a screen reader says about the ramp: the selected marker and its place
  const int s = markers_.Selected();
  if (s < 0) {
    setAccessibleDescription(QString::number(markers_.Count()) + " markers");
    return;
  }
  const TGradientMarker& m = markers_.Markers()[s];
  setAccessibleDescription(QStringLiteral("Marker %1 of %2 at %3, %4")
                               .arg(s + 1)
                               .arg(markers_.Count())
                               .arg(PercentText(m.Position), SystemColor(m.Color).name()));
}

void TGradientRampEdit::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect ramp(M::RampLeft, M::RampTop, M::RampWidth, M::RampHeight);
  // a bevel around the ramp, in the highlight colour while the ramp has focus
  p.setPen(palette().color(hasFocus() ? QPalette::Highlight : QPalette::Dark));
  p.drawRect(ramp.adjusted(-1, -1, 0, 0));
  const TGradient g = markers_.Gradient();
  for (int x = 0; x < M::RampWidth; ++x) {
    p.setPen(SystemColor(g.ColorAt(static_cast<float>(x) / static_cast<float>(M::RampWidth))));
    p.drawLine(ramp.left() + x, ramp.top(), ramp.left() + x, ramp.bottom());
  }
  const QColor shadow = palette().color(QPalette::Dark);
  const QColor face = palette().color(QPalette::Button);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < markers_.Count(); ++i) {
    const TGradientMarker& m = markers_.Markers()[i];
    const int left = m.Left, top = M::MarkerTop;
    // the triangle: apex at the top centre, base 8 wide at row 4
    QPainterPath triangle;
    triangle.moveTo(left + M::MarkerCentre + 0.5, top);
    triangle.lineTo(left + M::MarkerCentre + 4.5, top + 4.5);
    triangle.lineTo(left + M::MarkerCentre - 3.5, top + 4.5);
    triangle.closeSubpath();
    p.fillPath(triangle, i == markers_.Selected() ? QColor(Qt::black) : face);
    const QRect swatch(left, top + 5, M::MarkerWidth, M::MarkerHeight - 5);
    p.fillRect(swatch, shadow);
    p.fillRect(swatch.adjusted(1, 1, -1, -1), Qt::white);
    p.fillRect(swatch.adjusted(2, 2, -2, -2), SystemColor(m.Color));
  }
}

void TGradientRampEdit::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  GuardedCall([&] {
    const QPoint at = event->position().toPoint();
    const int hit = markers_.MarkerAt(at.x(), at.y());
    pressedOnRamp_ = hit < 0;
    if (hit < 0) return;
    markers_.Select(hit);
    dragged_ = hit;
    grabOffset_ = at.x() - markers_.Markers()[hit].Left;
    DescribeSelection();
    update();
  });
}

void TGradientRampEdit::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (dragged_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
  GuardedCall([&] {
    if (markers_.MoveTo(dragged_, event->position().toPoint().x() - grabOffset_)) Changed();
  });
}

void TGradientRampEdit::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  GuardedCall([&] {
    const QPoint at = event->position().toPoint();
    const bool add = pressedOnRamp_ && dragged_ < 0 && markers_.MarkerAt(at.x(), at.y()) < 0 &&
                     M::InAddBand(at.x(), at.y()) && rect().contains(at);
    dragged_ = -1;
    pressedOnRamp_ = false;
    if (!add) return;
    markers_.AddAt(at.x());
    Changed();
  });
}

void TGradientRampEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  // the press of a double click starts no drag and adds nothing
  event->accept();
  dragged_ = -1;
  pressedOnRamp_ = false;
  if (event->button() != Qt::LeftButton) return;
  GuardedCall([&] {
    const QPoint at = event->position().toPoint();
    const int hit = markers_.MarkerAt(at.x(), at.y());
    if (hit < 0) return;
    markers_.Select(hit);
    update();
    ChooseColor(hit);
  });
}

void TGradientRampEdit::keyPressEvent(QKeyEvent* event) {
  const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
  bool handled = true;
  GuardedCall([&] {
    switch (event->key()) {
      case Qt::Key_Left:
        if (markers_.Nudge(-step)) Changed();
        break;
      case Qt::Key_Right:
        if (markers_.Nudge(step)) Changed();
        break;
      case Qt::Key_Up:
        if (markers_.SelectNeighbour(-1)) {
          DescribeSelection();
          update();
        }
        break;
      case Qt::Key_Down:
        if (markers_.SelectNeighbour(1)) {
          DescribeSelection();
          update();
        }
        break;
      case Qt::Key_Insert:
        markers_.Insert();
        Changed();
        break;
      case Qt::Key_Delete:
        if (markers_.DeleteSelected()) Changed();
        break;
      case Qt::Key_Space:
        ChooseColor(markers_.Selected());
        break;
      default:
        handled = false;
    }
  });
  if (handled)
    event->accept();
  else
    QWidget::keyPressEvent(event);
}

// ---- TfrmGradientEditor -------------------------------------------------------

TfrmGradientEditor::TfrmGradientEditor(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmGradientEditor"));
  setWindowTitle(QStringLiteral("Gradient Editor"));
  setFixedSize(313, 145);

  Image1 = new TGradientRampEdit(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->move(0, 0);
  Button1 = MakeControl<QPushButton>(this, "Button1", QStringLiteral("OK"));
  Button1->setDefault(true);
  Button1->setGeometry(146, 112, 75, 25);
  Button2 = MakeControl<QPushButton>(this, "Button2", QStringLiteral("Cancel"));
  Button2->setGeometry(229, 112, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  setTabOrder(Image1, Button1);
  setTabOrder(Button1, Button2);
  Image1->setFocus();
}

void TfrmGradientEditor::SetGradient(const TGradient& gradient) { Image1->Load(gradient); }

}  // namespace tvx
