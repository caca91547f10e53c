#include "controls/ui/UpDown.h"

#include <algorithm>

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/ui/NumEdit.h"

namespace tvx {
namespace {

QToolButton* ArrowButton(QWidget* parent, Qt::ArrowType arrow, const QString& name) {
  auto* button = new QToolButton(parent);
  button->setArrowType(arrow);
  button->setAutoRepeat(true);
  button->setFocusPolicy(Qt::NoFocus);  // the field keeps the focus, as with a spin box
  button->setAccessibleName(name);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
  button->setFixedWidth(18);
  return button;
}

}  // namespace

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
  up_ = ArrowButton(this, Qt::UpArrow, QStringLiteral("Up"));
  down_ = ArrowButton(this, Qt::DownArrow, QStringLiteral("Down"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetBuddy(TNumEdit* buddy) {
  if (buddy_) buddy_->removeEventFilter(this);
  buddy_ = buddy;
  if (buddy_) buddy_->installEventFilter(this);
}

void TUpDown::SetRange(int32_t min, int32_t max) {
  min_ = std::min(min, max);
  max_ = std::max(min, max);
}

int32_t TUpDown::Position() const { return std::clamp(buddy_ ? buddy_->GetIntValue() : min_, min_, max_); }

void TUpDown::SetPosition(int32_t position) {
  if (buddy_) buddy_->SetIntValue(std::clamp(position, min_, max_));
}

void TUpDown::Step(int32_t delta) {
  int64_t next = static_cast<int64_t>(Position()) + delta;
  SetPosition(static_cast<int32_t>(std::clamp<int64_t>(next, min_, max_)));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  // The event's type first: a field being destroyed still sends events, and
  // looking at buddy_ then would treat a half-destroyed widget as a TNumEdit.
  if (event->type() == QEvent::KeyPress && watched == buddy_) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      Step(key->key() == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return false;
}

}  // namespace tvx
