#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>

#include "app/CommandLine.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;

namespace tvx {

class TSession;
class TPreview;
class TImgView2;
class TFileListBox2;
class TfrmOutputSettings;
class TfrmResizeSettings;
class TfrmWMProgress;
class TfrmExtYesNoCancel;
class TfrmTutorial;
class TfrmAbout;

/// The main window ("Tarvex 2.2"): the image list, the preview with the
/// watermark over it, the watermark commands and both runs. It coordinates
/// the session's operations; what a run needs lives in the core.
class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  TForm1(TSession& session, const TCommandLine& commandLine, QWidget* parent = nullptr);
  ~TForm1() override;

  // The commands, public for tests and the command line.
  void actNewWatermarkExecute();
  void actOpenWatermarkExecute();
  void actSaveWatermarkExecute();
  void actEditWatermarkExecute();
  void AddFilesClick();
  void RemFilesClick();
  void ClearListClick();
  void actOutSettingsExecute();
  void btnProcessClick();
  void btnResizeClick();
  void actHelpExecute();
  void actWelcomeExecute();
  void actSupportExecute();
  void actAboutExecute();

  /// Opens what another start of the program hands over (app/HandOver.h):
  /// its "-w", "-a" and "-ar" options and its files. They are opened as soon
  /// as no run and no dialog is in progress (a run walks the image list, the
  /// editor holds the watermark); the window then comes to the front.
  void OpenArguments(const TCommandLine& arguments);

  /// Re-expands the macros and places the layers for the preview picture.
  void RefreshWatermark();
  /// Whether a run is in progress (the window refuses to close then).
  bool Running() const { return running_; }

  TImgView2& ImageView() { return *imgView_; }
  TFileListBox2& FileListBox() { return *fileListBox_; }
  TPreview& Preview() { return *preview_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  QWidget* CreatePanels();
  void FirstShow();
  void ApplyCommandLine();
  void ApplyArguments(const TCommandLine& arguments);
  void OpenPendingArguments();
  void RowSelected();
  void ApplyZoom();
  void PreviewChanged();
  void UpdateCommandStates();
  void ShowInfo(const QString& title, const QString& text);
  QString ProgramFile(const char* relative) const;
  /// Runs the editor on the current watermark (resetFirst: a new, empty one).
  /// Only the editor's Apply changes the watermark; a failure on the way gives
  /// back the snapshot taken before.
  void EditWatermark(bool resetFirst);

  TSession& session_;
  TCommandLine commandLine_;
  std::unique_ptr<TPreview> preview_;
  bool shown_ = false;
  bool running_ = false;
  /// The run started by "-r": the command line's output settings apply to it.
  bool commandLineRun_ = false;
  uint64_t documentSubscription_ = 0;
  int selectedIndex_ = 0;  // 1-based row of the picture in the preview
  std::vector<TCommandLine> pendingArguments_;  // handed over, not opened yet

  TImgView2* imgView_ = nullptr;
  TFileListBox2* fileListBox_ = nullptr;
  QComboBox* lstZoom_ = nullptr;
  QLabel* pictureInfo_ = nullptr;

  TfrmOutputSettings* frmOutputSettings_ = nullptr;
  TfrmResizeSettings* frmResizeSettings_ = nullptr;
  TfrmWMProgress* frmWMProgress_ = nullptr;
  TfrmExtYesNoCancel* frmExtYesNoCancel_ = nullptr;
  TfrmTutorial* frmTutorial_ = nullptr;
  TfrmAbout* frmAbout_ = nullptr;

  QAction* actNewWatermark_ = nullptr;
  QAction* actOpenWatermark_ = nullptr;
  QAction* actSaveWatermark_ = nullptr;
  QAction* actEditWatermark_ = nullptr;
  QAction* actAddImages_ = nullptr;
  QAction* actRemoveSelected_ = nullptr;
  QAction* actClearList_ = nullptr;
  QAction* actQuit_ = nullptr;
  QAction* actOutSettings_ = nullptr;
  QAction* actProcess_ = nullptr;
  QAction* actResize_ = nullptr;
  QAction* actHelp_ = nullptr;
  QAction* actWelcome_ = nullptr;
  QAction* actSupport_ = nullptr;
  QAction* actAbout_ = nullptr;
};

}  // namespace tvx
