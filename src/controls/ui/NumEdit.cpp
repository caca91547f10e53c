#include "controls/ui/NumEdit.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>

#include "controls/ui/BalloonTip.h"

namespace tvx {

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, &TNumEdit::OnTextChanged);
}

int32_t TNumEdit::GetIntValue() const { return NumEditIntValue(text().toStdString()); }

double TNumEdit::GetFloatValue() const { return NumEditFloatValue(text().toStdString()); }

void TNumEdit::SetValueText(const QString& value) {
  TRangeCheck check = CheckRange(value.toStdString(), min_, max_, TRangeStage::Finished);
  quiet_ = true;
  setText(check.Clamped ? QString::fromStdString(check.Text) : value);
  quiet_ = false;
}

void TNumEdit::SetIntValue(int32_t value) { SetValueText(QString::number(value)); }

void TNumEdit::SetFloatValue(double value) {
  // fixed notation: an exponent would read back as digits ("1e+20" as 120)
  SetValueText(QString::number(value, 'f', QLocale::FloatingPointShortest));
}

void TNumEdit::FinishEditing() {
  TRangeCheck check = CheckRange(text().toStdString(), min_, max_, TRangeStage::Finished);
  if (check.Clamped) Apply(check, true);
}

bool TNumEdit::RefuseTyped(const QString& typed) {
  for (char32_t c : typed.toUcs4()) {
    if (auto refusal = RefuseTypedChar(c, acceptFloat_)) {
      ShowBalloonTip(this, *refusal);
      return true;
    }
  }
  return false;
}

void TNumEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    FinishEditing();
    QLineEdit::keyPressEvent(event);  // still reaches the dialog's default button
    return;
  }
  // Shortcuts (Ctrl+A, Ctrl+V) carry control characters or none at all;
  // only text that would be inserted is filtered.
  const Qt::KeyboardModifiers shortcut = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  if (!(event->modifiers() & shortcut) && RefuseTyped(event->text())) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TNumEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (RefuseTyped(event->commitString())) {
    event->accept();
    return;
  }
  QLineEdit::inputMethodEvent(event);
}

void TNumEdit::focusOutEvent(QFocusEvent* event) {
  // A context menu takes the focus for a moment: editing goes on after it.
  if (event->reason() != Qt::PopupFocusReason) FinishEditing();
  QLineEdit::focusOutEvent(event);
}

void TNumEdit::OnTextChanged(const QString& value) {
  if (applying_) return;
  TRangeCheck check =
      CheckRange(value.toStdString(), min_, max_, quiet_ ? TRangeStage::Finished : TRangeStage::Typing);
  if (check.Clamped)
    Apply(check, !quiet_);
  else
    emit changed();
}

void TNumEdit::Apply(const TRangeCheck& check, bool showBalloon) {
  applying_ = true;
  setText(QString::fromStdString(check.Text));
  applying_ = false;
  if (showBalloon) ShowBalloonTip(this, check.Balloon);
  emit changed();
}

}  // namespace tvx
