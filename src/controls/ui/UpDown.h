#pragma once

#include <cstdint>

#include <QPointer>
#include <QWidget>

class QToolButton;

namespace tvx {

class TNumEdit;

/// Spin buttons beside a numeric field: they step the field's integer value
/// by one inside their own range, as do the Up and Down keys in the field.
class TUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit TUpDown(QWidget* parent = nullptr);

  void SetBuddy(TNumEdit* buddy);
  TNumEdit* Buddy() const { return buddy_; }
  void SetRange(int32_t min, int32_t max);
  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  /// The field's value kept inside the range.
  int32_t Position() const;
  /// Shows the position, kept inside the range, in the field.
  void SetPosition(int32_t position);
  void Step(int32_t delta);

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<TNumEdit> buddy_;
  QToolButton* up_;
  QToolButton* down_;
  int32_t min_ = 0;
  int32_t max_ = 100;
};

}  // namespace tvx
