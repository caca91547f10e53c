#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "output/OutputSettings.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QTabWidget;
class QWidget;

namespace tvx {

class TfrmDestination;
class TfrmResize;

/// Every setting of the watermarking run: created once, hidden between uses;
/// its controls are the one copy of the settings that a run reads
/// (Settings()). Every showing starts on the "Destination" page from the
/// stored settings. OK stores them when "Save this settings as defaults" is
/// on; Cancel (Escape, the close box) brings back the stored ones.
class TfrmOutputSettings : public QDialog {
  Q_OBJECT

 public:
  /// config: the program's store, which outlives the dialog.
  TfrmOutputSettings(TConfig& config, const std::vector<std::string>& formatRows, QWidget* parent = nullptr);

  /// Controls := stored settings. The run calls it without showing the
  /// dialog when the stored settings are accepted.
  void LoadSettings();
  /// Stored settings := controls.
  void SaveSettings();
  /// The settings the run uses.
  TOutputSettings Settings() const;

  /// OK and Cancel, whichever way they are given.
  void done(int result) override;

  QTabWidget* pgcSettings;
  QWidget* tsGeneral;
  QWidget* tsDestination;
  QWidget* tsResize;
  QCheckBox* chkAcceptDefaults;
  QCheckBox* chkSaveAsDefaults;
  QCheckBox* chkStopOnError;  ///< "StopOnError": off, a picture that fails is reported and the run goes on
  TfrmDestination* frmDestination;
  QCheckBox* chkJpegKeepBlocks;
  QCheckBox* chkResizeImages;
  QComboBox* lstResizePriority;
  TfrmResize* frmResize;
  QPushButton* btnWatermark;
  QPushButton* btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void chkResizeImagesClick();

  TConfig& config_;
};

/// The hint on "Accept defaults and start watermarking".
inline constexpr const char* kAcceptDefaultsTitle = "Accept defaults";
inline constexpr const char* kAcceptDefaultsHint =
    "\"Output settings\" dialog will be skipped next time is this option is on.\n"
    "But you can always cancel this option with \"Settings / Output settings\"\n"
    "menu item of the main window.";

}  // namespace tvx
