#include "controls/ui/BalloonTip.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace tvx {
namespace {

constexpr int kTail = 8;    // height of the tail that points at the control
constexpr int kTailX = 15;  // the tail points into the first 30 pixels of the control
constexpr int kRadius = 6;
constexpr const char* kBalloonName = "tvxBalloonTip";

QStyle::StandardPixmap PixmapOf(TBalloonIcon icon) {
  switch (icon) {
    case TBalloonIcon::Info:
      return QStyle::SP_MessageBoxInformation;
    case TBalloonIcon::Warning:
      return QStyle::SP_MessageBoxWarning;
    default:
      return QStyle::SP_MessageBoxCritical;
  }
}

// Shows and hides a balloon with the pointer.
class THoverHint : public QObject {
 public:
  THoverHint(QWidget* control, TBalloonIcon icon, QString title, QString text)
      : QObject(control), control_(control), icon_(icon), title_(std::move(title)), text_(std::move(text)) {
    control->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == control_) {
      if (event->type() == QEvent::Enter)
        ShowBalloonTip(control_, icon_, title_, text_, 0);
      else if (event->type() == QEvent::Leave)
        HideBalloonTip(control_);
    }
    return false;
  }

 private:
  QWidget* control_;
  TBalloonIcon icon_;
  QString title_;
  QString text_;
};

}  // namespace

TBalloonTip::TBalloonTip(QWidget* control)
    : QWidget(control, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), control_(control) {
  setObjectName(kBalloonName);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground);
  setFocusPolicy(Qt::NoFocus);

  iconLabel_ = new QLabel(this);
  titleLabel_ = new QLabel(this);
  textLabel_ = new QLabel(this);
  for (QLabel* label : {titleLabel_, textLabel_}) {
    label->setTextFormat(Qt::PlainText);  // shown unchanged: no markup, no mnemonics
    label->setForegroundRole(QPalette::ToolTipText);
  }
  QFont bold = titleLabel_->font();
  bold.setBold(true);
  titleLabel_->setFont(bold);

  auto* head = new QHBoxLayout;
  head->setSpacing(6);
  head->addWidget(iconLabel_);
  head->addWidget(titleLabel_, 1);
  auto* column = new QVBoxLayout(this);
  column->setSpacing(4);
  column->addLayout(head);
  column->addWidget(textLabel_);

  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &QWidget::hide);
  control->installEventFilter(this);
}

QString TBalloonTip::Title() const { return titleLabel_->text(); }
QString TBalloonTip::Text() const { return textLabel_->text(); }

void TBalloonTip::Present(TBalloonIcon icon, const QString& title, const QString& text, int timeoutMs) {
  icon_ = icon;
  const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  iconLabel_->setVisible(icon != TBalloonIcon::None);
  if (icon != TBalloonIcon::None)
    iconLabel_->setPixmap(style()->standardIcon(PixmapOf(icon), nullptr, this).pixmap(size));
  titleLabel_->setText(title);
  titleLabel_->setVisible(!title.isEmpty());
  textLabel_->setText(text);
  setAccessibleName(title);
  setAccessibleDescription(text);
  ensurePolished();  // the window's font is settled at polish time; measure with it
  Place();
  show();  // a tool-tip window stays above the others by itself
  if (timeoutMs > 0)
    timer_.start(timeoutMs);
  else
    timer_.stop();
}

void TBalloonTip::Place() {
  if (!control_) return;
  QSize size = sizeHint();
  QPoint anchor = control_->mapToGlobal(QPoint(std::min(kTailX, control_->width() / 2), control_->height()));
  QRect screen =
      (control_->screen() ? control_->screen() : QGuiApplication::primaryScreen())->availableGeometry();
  // Below the control unless that leaves the screen; then above it.
  tailUp_ = anchor.y() + kTail + size.height() <= screen.bottom() ||
            anchor.y() - control_->height() - kTail - size.height() < screen.top();
  auto* column = static_cast<QVBoxLayout*>(layout());
  column->setContentsMargins(10, 8 + (tailUp_ ? kTail : 0), 10, 8 + (tailUp_ ? 0 : kTail));
  size = sizeHint();
  int x = anchor.x() - kTailX;
  int y = tailUp_ ? anchor.y() : anchor.y() - control_->height() - size.height();
  x = std::clamp(x, screen.left(), std::max(screen.left(), screen.right() - size.width()));
  resize(size);
  move(x, y);
}

void TBalloonTip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  if (tailUp_)
    body.setTop(body.top() + kTail);
  else
    body.setBottom(body.bottom() - kTail);
  QPainterPath path;
  path.addRoundedRect(body, kRadius, kRadius);
  // the tail points at the control's first pixels, wherever the balloon was pushed
  qreal tipX =
      control_ ? mapFromGlobal(control_->mapToGlobal(QPoint(std::min(kTailX, control_->width() / 2), 0))).x()
               : kTailX;
  tipX = std::clamp(tipX, body.left() + kRadius + kTail, body.right() - kRadius - kTail);
  QPolygonF tail;
  if (tailUp_)
    tail << QPointF(tipX - kTail, body.top() + 1) << QPointF(tipX, 0.5)
         << QPointF(tipX + kTail, body.top() + 1);
  else
    tail << QPointF(tipX - kTail, body.bottom() - 1) << QPointF(tipX, height() - 0.5)
         << QPointF(tipX + kTail, body.bottom() - 1);
  QPainterPath tailPath;
  tailPath.addPolygon(tail);
  path = path.united(tailPath);
  painter.setPen(palette().color(QPalette::ToolTipText));
  painter.setBrush(palette().color(QPalette::ToolTipBase));
  painter.drawPath(path);
}

void TBalloonTip::mousePressEvent(QMouseEvent*) { hide(); }

bool TBalloonTip::eventFilter(QObject* watched, QEvent* event) {
  if (watched == control_ && (event->type() == QEvent::Hide || event->type() == QEvent::EnabledChange))
    hide();
  return false;
}

TBalloonTip* FindBalloonTip(const QWidget* control) {
  return control ? control->findChild<TBalloonTip*>(kBalloonName, Qt::FindDirectChildrenOnly) : nullptr;
}

TBalloonTip* ShowBalloonTip(QWidget* control, TBalloonIcon icon, const QString& title, const QString& text,
                            int timeoutMs) {
  if (!control) return nullptr;
  TBalloonTip* tip = FindBalloonTip(control);
  if (!tip) tip = new TBalloonTip(control);
  tip->Present(icon, title, text, timeoutMs);
  return tip;
}

TBalloonTip* ShowBalloonTip(QWidget* control, const TBalloonMessage& message, int timeoutMs) {
  return ShowBalloonTip(control, message.Icon, QString::fromStdString(message.Title),
                        QString::fromStdString(message.Text), timeoutMs);
}

void HideBalloonTip(QWidget* control) {
  if (TBalloonTip* tip = FindBalloonTip(control)) tip->hide();
}

void AttachBalloonHint(QWidget* control, TBalloonIcon icon, const QString& title, const QString& text) {
  if (!control) return;
  control->setAccessibleDescription(text);
  new THoverHint(control, icon, title, text);
}

}  // namespace tvx
