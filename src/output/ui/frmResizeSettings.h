#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "output/OutputSettings.h"
#include "output/Resize.h"

class QPushButton;
class QTabWidget;
class QWidget;

namespace tvx {

class TfrmDestination;
class TfrmResize;

/// The settings of the resize command: how to resize and where to write.
/// Every showing starts on the "Resize" page from the stored settings; OK
/// always stores them, Cancel (Escape, the close box) brings them back.
class TfrmResizeSettings : public QDialog {
  Q_OBJECT

 public:
  /// config: the program's store, which outlives the dialog.
  TfrmResizeSettings(TConfig& config, const std::vector<std::string>& formatRows, QWidget* parent = nullptr);

  /// Controls := stored settings (the destination first).
  void LoadSettings();
  /// Stored settings := controls (the destination first).
  void SaveSettings();
  /// What the resize run reads.
  TDestinationSettings DestinationSettings() const;
  TResizeSettings ResizeSettings() const;

  void done(int result) override;

  QTabWidget* pgcSettings;
  QWidget* tsResize;
  QWidget* tsDestination;
  TfrmResize* frmResize;
  TfrmDestination* frmDestination;
  QPushButton* btnResize;
  QPushButton* btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TConfig& config_;
};

}  // namespace tvx
