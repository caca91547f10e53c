#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QWidget>

namespace tvx {

/// The program's colour chooser (QColorDialog) starting from current, a
/// system colour value 0x00BBGGRR; nothing when cancelled.
std::optional<uint32_t> ChooseColorWithDialog(uint32_t current, QWidget* parent);

/// A colour swatch of 45 x 21 pixels holding a system colour value
/// 0x00BBGGRR (red in the low byte). A double click, or Space or Enter while
/// it has focus, opens a colour chooser with the current colour; confirming
/// takes the chosen colour and signals colorChanged, cancelling changes
/// nothing. Drawn as a frame in the button-shadow colour (the highlight
/// colour while focused), a white frame inside it and the colour within.
class TColorSelector : public QWidget {
  Q_OBJECT

 public:
  /// Asks for a colour starting from current; nothing when cancelled. The
  /// default opens QColorDialog; tests put in one that opens no window.
  using TChooser = std::function<std::optional<uint32_t>(uint32_t current, QWidget* parent)>;

  explicit TColorSelector(QWidget* parent = nullptr);

  /// 0x00BBGGRR.
  uint32_t Color() const { return color_; }
  /// Stores and repaints; no signal (only the user's choice signals).
  void SetColor(uint32_t color);

  /// nullptr restores the default chooser.
  void SetChooser(TChooser chooser);
  /// What a double click does: asks the chooser and takes a confirmed colour.
  void Choose();

  QSize sizeHint() const override { return QSize(45, 21); }

 signals:
  /// The user confirmed a colour in the chooser.
  void colorChanged(uint32_t color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  uint32_t color_ = 0;
  TChooser chooser_;
};

}  // namespace tvx
