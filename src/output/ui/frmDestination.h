#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "output/OutputSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tvx {

/// The destination frame: where outputs go, what happens to existing files
/// and to the originals, the output format and the JPEG quality. Embedded in
/// the output settings and the resize settings dialogs; its model is
/// TDestinationSettings, stored under "WatermarkingOptions".
class TfrmDestination : public QWidget {
  Q_OBJECT

 public:
  /// The folder browser: the chosen folder, or an empty text when cancelled.
  using TBrowseFunc =
      std::function<QString(QWidget* parent, const QString& title, const QString& initialFolder)>;

  /// formatRows: the output format list (OutputFormatNames of the plug-ins).
  explicit TfrmDestination(const std::vector<std::string>& formatRows, QWidget* parent = nullptr);

  /// Replaces the folder browser (tests; the default is the platform's).
  void SetBrowseFunc(TBrowseFunc browse) { browse_ = std::move(browse); }

  /// Controls := stored settings. Never opens a window.
  void LoadSettings(const TConfig& config);
  /// Stored settings := controls.
  void SaveSettings(TConfig& config) const;

  /// The frame as the runs read it.
  TDestinationSettings Settings() const;
  void SetSettings(const TDestinationSettings& settings);

  QRadioButton* rbPlaceInSourceFolder;
  QRadioButton* tbRenameAndPlaceInSourceFolder;
  QRadioButton* rbPlaceInOtherFolder;
  QLineEdit* txtOtherFolder;
  QPushButton* btnBrowseOtherFolder;
  QComboBox* lstOverwriteExisting;
  QCheckBox* chkRemoveOriginalFiles;
  QComboBox* lstDefaultFileFormat;
  QCheckBox* chkKeepOriginalFormat;
  QSlider* tbJPEGQuality;
  QLabel* lblJPEGQuality;

 private:
  void UpdateFolderControls();
  void rbPlaceInOtherFolderClick();
  void btnBrowseOtherFolderClick();
  void tbJPEGQualityChange(int position);

  TBrowseFunc browse_;
};

/// The platform's folder browser, titled "Choose a folder", folders only.
QString BrowseForFolder(QWidget* parent, const QString& title, const QString& initialFolder);

}  // namespace tvx
