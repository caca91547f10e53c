#pragma once

#include <QWidget>

#include "output/Resize.h"

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace tvx {

class TNumEdit;
class TUpDown;

/// The resize frame: by a percentage of the original, or to an actual or
/// print size. Only the panel of the chosen method shows. Embedded in the
/// output settings and the resize settings dialogs; its model is
/// TResizeSettings, stored under "ResizeOptions".
class TfrmResize : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmResize(QWidget* parent = nullptr);

  /// Controls := stored settings, then ValidateValues. Never opens a window.
  void LoadSettings(const TConfig& config);
  /// ValidateValues, then stored settings := controls.
  void SaveSettings(TConfig& config);
  /// Percentage below 3 becomes 3; a width or height whose integer reading
  /// is below 1 becomes 1; a resolution of 0 or below becomes 1.
  void ValidateValues();
  TResizeParams GetResizeParams() const { return Settings().GetResizeParams(); }

  /// The frame as the runs read it (the fields' lenient readings).
  TResizeSettings Settings() const;
  void SetSettings(const TResizeSettings& settings);

  /// Shows the panel of the chosen method.
  void UpdatePanels();

  QRadioButton* rbPercentageOfOriginal;
  QRadioButton* rbActualSize;
  QWidget* pnlPercentageOfOriginal;
  TNumEdit* txtPercentage;
  TUpDown* udPercentage;
  QComboBox* lstApplyTo;
  QWidget* pnlActualSize;
  TNumEdit* txtWidth;
  QComboBox* lstXUnits;
  TNumEdit* txtHeight;
  QComboBox* lstYUnits;
  TNumEdit* txtResolution;
  QComboBox* lstResolutionUnits;
  QComboBox* lstResize;
  QCheckBox* chkPreserveAspectRatio;
  QComboBox* lstFitWithin;
};

}  // namespace tvx
