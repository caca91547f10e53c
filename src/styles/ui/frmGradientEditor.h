#pragma once

#include <QDialog>
#include <QWidget>

#include "controls/ui/ColorSelector.h"
#include "styles/Gradient.h"
#include "styles/GradientMarkers.h"

class QPushButton;

namespace tvx {

/// The ramp of the gradient editor with its colour markers below it (the
/// editor's upper part, in the editor's coordinates; see TGradientMarkers).
///
/// Mouse: pressing a marker selects it and drags it along the ramp within
/// its range; a double click opens the colour chooser for it; releasing the
/// mouse below the ramp, away from the markers, adds a black marker there.
/// Keyboard: Left and Right move the selected marker by 1 % (Shift: 10 %),
/// Up and Down select the previous and next marker along the ramp, Insert
/// adds a marker, Delete removes the selected one, Space chooses its colour.
class TGradientRampEdit : public QWidget {
  Q_OBJECT

 public:
  explicit TGradientRampEdit(QWidget* parent = nullptr);

  TGradientMarkers& Markers() { return markers_; }
  const TGradientMarkers& Markers() const { return markers_; }
  void Load(const TGradient& gradient);
  /// Asks for a marker's colour; the default is the program's colour chooser.
  void SetChooser(TColorSelector::TChooser chooser);
  /// What a double click on a marker does.
  void ChooseColor(int marker);

  QSize sizeHint() const override;

 signals:
  /// The markers changed: the gradient they stand for may differ.
  void changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Changed();
  void DescribeSelection();

  TGradientMarkers markers_;
  TColorSelector::TChooser chooser_;
  int dragged_ = -1;            // the marker being dragged
  int grabOffset_ = 0;          // mouse x - the dragged marker's left at the press
  bool pressedOnRamp_ = false;  // a press away from the markers, which a release may turn into a marker
};

/// "Gradient Editor": edits the colours and stops of a gradient on a ramp;
/// the type and the angle pass through unchanged.
class TfrmGradientEditor : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmGradientEditor(QWidget* parent = nullptr);

  void SetGradient(const TGradient& gradient);
  /// The gradient the markers stand for.
  TGradient Gradient() const { return Image1->Markers().Gradient(); }

  TGradientRampEdit* Image1;
  QPushButton* Button1;
  QPushButton* Button2;
};

}  // namespace tvx
