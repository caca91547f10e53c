#pragma once

#include <functional>

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tvx {

class TBitmapLayer;
class TConfig;
class TPluginManager;

/// "Picture Layer Configuration": the layer's name and its picture file.
/// OK loads a newly chosen picture into the layer; a picture that cannot be
/// loaded shows its error and keeps the dialog open, the layer unchanged.
class TfrmBitmapLayerConfig : public QDialog {
  Q_OBJECT

 public:
  /// Asks for a picture file: the parent, the folder to start in and the
  /// name filters; an empty result is a cancel. The default is a file dialog.
  using TBrowseFunc = std::function<QString(QWidget* parent, const QString& folder, const QString& filter)>;
  /// Shows an error (the default is a message box).
  using TErrorFunc = std::function<void(QWidget* parent, const QString& text)>;

  TfrmBitmapLayerConfig(TConfig& config, const TPluginManager& plugins, QWidget* parent = nullptr);

  /// The layer's Configure: fills the fields from the layer ("New Layer " and
  /// its identifier when it has no name), shows the dialog and applies it on
  /// OK. 1 OK, 2 Cancel.
  int Configure(TBitmapLayer& layer);

  void SetBrowser(TBrowseFunc browse);
  void SetErrorReporter(TErrorFunc report);
  /// "...": the file dialog in the folder of the last chosen picture.
  void btnBrowseClick();

  QLineEdit* txtLayerName;
  QLineEdit* txtFileName;
  QPushButton* btnBrowse;
  QLabel* lblHint;
  QPushButton* btnOK;
  QPushButton* btnCancel;

 protected:
  void done(int result) override;

 private:
  /// Gives the layer the fields' values; false (with the error shown and
  /// the layer as it was) when the picture cannot be loaded.
  bool ApplyToLayer();

  TConfig& config_;
  const TPluginManager& plugins_;
  TBitmapLayer* layer_ = nullptr;
  TBrowseFunc browse_;
  TErrorFunc report_;
};

}  // namespace tvx
