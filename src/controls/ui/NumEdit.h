#pragma once

#include <cstdint>
#include <limits>

#include <QLineEdit>

#include "controls/NumEditRules.h"

namespace tvx {

/// The one-line field for every number the user types. It refuses letters
/// (and the separator while floats are not accepted) as they are typed,
/// keeps its integer reading inside Min..Max, and reads its text leniently.
/// A value below a positive minimum is clamped when editing ends (focus
/// leaves, Enter), so that "100" can be typed into a field with minimum 3;
/// a value that more typing cannot bring back is clamped at once. Every
/// refusal and clamp shows an error balloon on the field. changed() follows
/// every change of the text, after the range check.
class TNumEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TNumEdit(QWidget* parent = nullptr);

  bool AcceptFloat() const { return acceptFloat_; }
  void SetAcceptFloat(bool accept) { acceptFloat_ = accept; }
  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  /// Store the limit; the text is tested at its next change.
  void SetMin(int32_t value) { min_ = value; }
  void SetMax(int32_t value) { max_ = value; }

  int32_t GetIntValue() const;
  double GetFloatValue() const;

  /// Text set by the program: clamped into the range at once, no balloon.
  void SetValueText(const QString& text);
  void SetIntValue(int32_t value);
  /// The shortest text that reads back as value ("10", "2.5").
  void SetFloatValue(double value);

  /// The check that waits for the end of editing; runs on focus loss and
  /// Enter, and before a dialog reads the field.
  void FinishEditing();

 signals:
  void changed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  /// True when the typed text holds a character the field refuses (and shows why).
  bool RefuseTyped(const QString& typed);
  void OnTextChanged(const QString& text);
  void Apply(const TRangeCheck& check, bool showBalloon);

  bool acceptFloat_ = true;
  int32_t min_ = std::numeric_limits<int32_t>::min();
  int32_t max_ = std::numeric_limits<int32_t>::max();
  bool applying_ = false;  // the text is being replaced by the range check
  bool quiet_ = false;     // the program sets the text
};

}  // namespace tvx
