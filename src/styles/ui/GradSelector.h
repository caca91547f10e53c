#pragma once

#include <functional>
#include <optional>

#include <QWidget>

#include "styles/Gradient.h"

namespace tvx {

/// The gradient ramp of the gradient frame (75 x 21): a framed strip of the
/// held gradient from its start colour to its end colour. A double click,
/// or Space or Enter while it has focus, opens the gradient editor; a
/// confirmed edit becomes the held gradient.
class TGradSelector : public QWidget {
  Q_OBJECT

 public:
  /// Edits a gradient; nothing when cancelled. The default shows the
  /// "Gradient Editor"; tests put in one that opens no window.
  using TEditor = std::function<std::optional<TGradient>(const TGradient& gradient, QWidget* parent)>;

  explicit TGradSelector(QWidget* parent = nullptr);

  const TGradient& Gradient() const { return gradient_; }
  /// Holds a copy shown as a plain ramp (Linear, angle 0; colours and stops
  /// kept), repaints and signals gradientChanged.
  void SetGradient(const TGradient& gradient);

  /// nullptr restores the default editor.
  void SetEditor(TEditor editor);
  /// What a double click does: edits the held gradient and takes a confirmed result.
  void Edit();

  QSize sizeHint() const override { return QSize(75, 21); }

 signals:
  void gradientChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TGradient gradient_;
  TEditor editor_;
};

/// Shows the "Gradient Editor" for a copy of gradient; the edited gradient
/// when confirmed with OK.
std::optional<TGradient> EditGradientWithDialog(const TGradient& gradient, QWidget* parent);

}  // namespace tvx
