#include "app/ui/Form1.h"

#include <algorithm>
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Preview.h"
#include "app/QuickWatermark.h"
#include "app/RunSummary.h"
#include "app/Session.h"
#include "app/ui/Guard.h"
#include "app/ui/frmAbout.h"
#include "app/ui/frmExtYesNoCancel.h"
#include "app/ui/frmRunSummary.h"
#include "app/ui/frmTutorial.h"
#include "app/ui/frmWMProgress.h"
#include "controls/Zoom.h"
#include "controls/ui/CaptionBar.h"
#include "controls/ui/FileListBox2.h"
#include "controls/ui/ImgView2.h"
#include "editor/ui/frmEditor.h"
#include "imageio/PluginManager.h"
#include "output/ui/frmOutputSettings.h"
#include "output/ui/frmResizeSettings.h"
#include "util/Paths.h"
#include "watermark/WatermarkDocument.h"

namespace tvx {
namespace {

constexpr const char* kVersion = "2.2";
constexpr const char* kGlobal = "GlobalOptions";
constexpr const char* kDefaultInfoUrl = "https://tarvex.example.org/";
constexpr const char* kSupportUrl = "https://tarvex.example.org/support";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// "All files|*.bmp;*.jpg;|BMP files|*.bmp|" as Qt's name filters.
QString QtFilter(const std::string& filter) {
  QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
  }
  return filters.join(QStringLiteral(";;"));
}

QToolBar* MakeToolBar(const QString& name, QWidget* parent) {
  auto* bar = new QToolBar(name, parent);
  bar->setAccessibleName(name);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  bar->setIconSize(QSize(16, 16));
  return bar;
}

// A tool button with its own caption that runs a menu command.
QAction* ToolAction(QToolBar* bar, const QString& text, const QString& hint, QAction* command,
                    QStyle::StandardPixmap icon) {
  QAction* action = bar->addAction(bar->style()->standardIcon(icon), text);
  action->setToolTip(hint.isEmpty() ? text : hint);
  QObject::connect(action, &QAction::triggered, command, &QAction::trigger);
  QObject::connect(command, &QAction::enabledChanged, action, &QAction::setEnabled);
  return action;
}

}  // namespace

TForm1::TForm1(TSession& session, const TCommandLine& commandLine, QWidget* parent)
    : QMainWindow(parent), session_(session), commandLine_(commandLine) {
  setWindowTitle(QStringLiteral("Tarvex %1").arg(QLatin1String(kVersion)));
  CreateActions();
  CreateMenus();
  setCentralWidget(CreatePanels());
  resize(1100, 720);

  // The preview loader posts its results back to this thread.
  preview_ = std::make_unique<TPreview>(session_, QueuedPost(this));
  preview_->OnPictureChanged = [this] { PreviewChanged(); };
  preview_->OnError = [](std::exception_ptr error) { ReportException(error); };

  const std::vector<std::string> formatRows = OutputFormatNames(session_.Plugins().Formats());
  frmOutputSettings_ = new TfrmOutputSettings(session_.Config(), formatRows, this);
  frmResizeSettings_ = new TfrmResizeSettings(session_.Config(), formatRows, this);
  frmWMProgress_ = new TfrmWMProgress(this);
  frmExtYesNoCancel_ = new TfrmExtYesNoCancel(this);
  session_.Question().SetAsk(frmExtYesNoCancel_->AskFunc());
  documentSubscription_ = session_.Document().Subscribe([this] { UpdateCommandStates(); });
  UpdateCommandStates();
}

TForm1::~TForm1() {
  // The loader must be stopped before the plug-ins it calls are unloaded.
  if (preview_) preview_->Stop();
  session_.Question().SetAsk(nullptr);
  // the session may outlive the window
  session_.Document().Unsubscribe(documentSubscription_);
}

void TForm1::CreateActions() {
  auto make = [this](const QString& text, const QKeySequence& shortcut, void (TForm1::*slot)()) {
    auto* action = new QAction(text, this);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, [this, slot] { GuardedCall([this, slot] { (this->*slot)(); }); });
    return action;
  };
  actNewWatermark_ = make(QStringLiteral("&New Watermark"), QKeySequence(QStringLiteral("Ctrl+N")),
                          &TForm1::actNewWatermarkExecute);
  actOpenWatermark_ = make(QStringLiteral("&Open Watermark"), QKeySequence(QStringLiteral("Ctrl+O")),
                           &TForm1::actOpenWatermarkExecute);
  actSaveWatermark_ = make(QStringLiteral("&Save Watermark"), QKeySequence(QStringLiteral("Ctrl+S")),
                           &TForm1::actSaveWatermarkExecute);
  actEditWatermark_ = make(QStringLiteral("Edit &Watermark"), QKeySequence(QStringLiteral("Ctrl+E")),
                           &TForm1::actEditWatermarkExecute);
  actAddImages_ = make(QStringLiteral("&Add Images"), {}, &TForm1::AddFilesClick);
  actRemoveSelected_ = make(QStringLiteral("&Remove Selected Images"), {}, &TForm1::RemFilesClick);
  actClearList_ = make(QStringLiteral("&Clear Image List"), {}, &TForm1::ClearListClick);
  actQuit_ = new QAction(QStringLiteral("&Quit"), this);
  connect(actQuit_, &QAction::triggered, this, &QWidget::close);
  actOutSettings_ = make(QStringLiteral("&Output Settings"), {}, &TForm1::actOutSettingsExecute);
  actProcess_ = make(QStringLiteral("Protect"), {}, &TForm1::btnProcessClick);
  actResize_ = make(QStringLiteral("Resize"), {}, &TForm1::btnResizeClick);
  actHelp_ = make(QStringLiteral("Show &Help"), QKeySequence(Qt::Key_F1), &TForm1::actHelpExecute);
  actWelcome_ = make(QStringLiteral("Show &Welcome"), QKeySequence(Qt::CTRL | Qt::Key_F1), &TForm1::actWelcomeExecute);
  actSupport_ = make(QStringLiteral("Get Support"), {}, &TForm1::actSupportExecute);
  actAbout_ = make(QStringLiteral("&About Tarvex"), {}, &TForm1::actAboutExecute);
}

void TForm1::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(actNewWatermark_);
  file->addAction(actOpenWatermark_);
  file->addAction(actSaveWatermark_);
  file->addSeparator();
  file->addAction(actAddImages_);
  file->addAction(actRemoveSelected_);
  file->addAction(actClearList_);
  file->addSeparator();
  file->addAction(actQuit_);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->addAction(actEditWatermark_);
  QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
  settings->addAction(actOutSettings_);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(actHelp_);
  help->addAction(actWelcome_);
  help->addAction(actSupport_);
  help->addSeparator();
  help->addAction(actAbout_);
}

QWidget* TForm1::CreatePanels() {
  // Left: the watermark commands, the image list and the actions; right: the preview.
  auto* left = new QWidget(this);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(4, 4, 2, 4);
  leftLayout->setSpacing(2);

  leftLayout->addWidget(new TCaptionBar(QStringLiteral("Watermark"), left));
  QToolBar* watermarkBar = MakeToolBar(QStringLiteral("Watermark"), left);
  ToolAction(watermarkBar, QStringLiteral("Create"), QStringLiteral("New Watermark"), actNewWatermark_,
             QStyle::SP_FileIcon);
  ToolAction(watermarkBar, QStringLiteral("Open"), QStringLiteral("Open Watermark"), actOpenWatermark_,
             QStyle::SP_DialogOpenButton);
  ToolAction(watermarkBar, QStringLiteral("Save"), QStringLiteral("Save Watermark"), actSaveWatermark_,
             QStyle::SP_DialogSaveButton);
  ToolAction(watermarkBar, QStringLiteral("Edit"), QStringLiteral("Edit Watermark"), actEditWatermark_,
             QStyle::SP_FileDialogDetailedView);
  leftLayout->addWidget(watermarkBar);

  leftLayout->addWidget(new TCaptionBar(QStringLiteral("Image List"), left));
  QToolBar* listBar = MakeToolBar(QStringLiteral("Image List toolbar"), left);
  ToolAction(listBar, QStringLiteral("Add"), QStringLiteral("Add Images"), actAddImages_, QStyle::SP_FileDialogNewFolder);
  ToolAction(listBar, QStringLiteral("Remove"), QStringLiteral("Remove Selected Images"), actRemoveSelected_,
             QStyle::SP_DialogDiscardButton);
  ToolAction(listBar, QStringLiteral("Clear"), QStringLiteral("Clear Image List"), actClearList_,
             QStyle::SP_DialogResetButton);
  leftLayout->addWidget(listBar);

  fileListBox_ = new TFileListBox2(session_.Images(), left);
  fileListBox_->SetStripesIntensity(20);
  fileListBox_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* popup = new QMenu(fileListBox_);
  auto popupAction = [this, popup](const QString& text, QAction* command) {
    QAction* action = popup->addAction(text);
    connect(action, &QAction::triggered, command, &QAction::trigger);
  };
  popupAction(QStringLiteral("Add Images"), actAddImages_);
  popupAction(QStringLiteral("Remove Selected"), actRemoveSelected_);
  popupAction(QStringLiteral("Clear List"), actClearList_);
  connect(fileListBox_, &QWidget::customContextMenuRequested, this,
          [this, popup](const QPoint& at) { popup->popup(fileListBox_->mapToGlobal(at)); });
  connect(fileListBox_, &TFileListBox2::removeSelectedRequested, this, [this] { actRemoveSelected_->trigger(); });
  // A click on the row that is already current changes only the selection.
  connect(fileListBox_, &TFileListBox2::currentRowChanged, this, [this] { GuardedCall([this] { RowSelected(); }); });
  connect(fileListBox_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { GuardedCall([this] { RowSelected(); }); });
  leftLayout->addWidget(fileListBox_, 1);

  leftLayout->addWidget(new TCaptionBar(QStringLiteral("Actions"), left));
  QToolBar* actionsBar = MakeToolBar(QStringLiteral("Actions"), left);
  ToolAction(actionsBar, QStringLiteral("Protect"), QStringLiteral("Protect images"), actProcess_,
             QStyle::SP_DialogApplyButton);
  ToolAction(actionsBar, QStringLiteral("Resize"), QStringLiteral("Resize images"), actResize_,
             QStyle::SP_TitleBarMaxButton);
  ToolAction(actionsBar, QStringLiteral("Get Help"), QStringLiteral("Get Support"), actSupport_,
             QStyle::SP_DialogHelpButton);
  leftLayout->addWidget(actionsBar);

  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(2, 4, 4, 4);
  rightLayout->setSpacing(2);
  rightLayout->addWidget(new TCaptionBar(QStringLiteral("Preview"), right));
  auto* zoomRow = new QHBoxLayout;
  auto* zoomLabel = new QLabel(QStringLiteral("Zoom:"), right);
  lstZoom_ = new QComboBox(right);
  lstZoom_->setEditable(true);
  lstZoom_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& row : ZoomRows()) lstZoom_->addItem(Q(row));
  lstZoom_->setCurrentText(QStringLiteral("100%"));
  lstZoom_->setAccessibleName(QStringLiteral("Zoom"));
  lstZoom_->lineEdit()->setAccessibleName(QStringLiteral("Zoom"));
  zoomLabel->setBuddy(lstZoom_);
  connect(lstZoom_, &QComboBox::textActivated, this, [this] { GuardedCall([this] { ApplyZoom(); }); });
  connect(lstZoom_->lineEdit(), &QLineEdit::editingFinished, this, [this] { GuardedCall([this] { ApplyZoom(); }); });
  pictureInfo_ = new QLabel(right);
  zoomRow->addWidget(zoomLabel);
  zoomRow->addWidget(lstZoom_);
  zoomRow->addStretch(1);
  zoomRow->addWidget(pictureInfo_);
  rightLayout->addLayout(zoomRow);
  imgView_ = new TImgView2(right);
  imgView_->setAccessibleName(QStringLiteral("Preview"));
  connect(imgView_, &TImgView2::resized, this, [this] {
    if (lstZoom_->currentText() == QLatin1String(kFitToView)) GuardedCall([this] { ApplyZoom(); });
  });
  rightLayout->addWidget(imgView_, 1);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({380, 720});
  return splitter;
}

QString TForm1::ProgramFile(const char* relative) const { return Q(ProgramFolder()) + QLatin1String(relative); }

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // After the window is on screen: the tutorial, the command line, the run.
  QTimer::singleShot(0, this, [this] { GuardedCall([this] { FirstShow(); }); });
}

void TForm1::FirstShow() {
  if (session_.Config().ReadBool(kGlobal, "FirstRun", true)) actWelcomeExecute();
  ApplyCommandLine();
  if (commandLine_.Run) {
    commandLineRun_ = true;
    struct TReset {
      bool& Flag;
      ~TReset() { Flag = false; }
    } reset{commandLineRun_};
    btnProcessClick();
  }
}

void TForm1::ApplyCommandLine() { ApplyArguments(commandLine_); }

void TForm1::ApplyArguments(const TCommandLine& arguments) {
  const int firstNew = static_cast<int>(session_.Images().Paths.size());
  TSession::TOpenReport report;
  {
    // "-a" and "-ar" add to the session's list directly; the list view follows.
    struct TReload {
      TForm1* Window;
      ~TReload() {
        Window->fileListBox_->Reload();
        Window->RefreshWatermark();
      }
    } reload{this};
    report = session_.ApplyCommandLine(arguments);
  }
  if (!report.Notices.empty()) {
    QStringList lines;
    for (const std::string& notice : report.Notices) {
      std::fprintf(stderr, "tarvex: %s\n", notice.c_str());
      lines << Q(notice);
    }
    statusBar()->showMessage(lines.join(QStringLiteral("; ")), 15000);
  }
  // Pictures opened from the file manager are meant to be seen: the first
  // of them is previewed when nothing is.
  if (!arguments.Files.empty() && report.PicturesAdded > 0 && selectedIndex_ == 0)
    fileListBox_->setCurrentIndex(fileListBox_->model()->index(firstNew, 0));
}

void TForm1::OpenArguments(const TCommandLine& arguments) {
  pendingArguments_.push_back(arguments);
  QTimer::singleShot(0, this, [this] { GuardedCall([this] { OpenPendingArguments(); }); });
}

void TForm1::OpenPendingArguments() {
  if (pendingArguments_.empty()) return;
  if (running_ || !shown_ || QApplication::activeModalWidget()) {
    QTimer::singleShot(250, this, [this] { GuardedCall([this] { OpenPendingArguments(); }); });
    return;
  }
  std::vector<TCommandLine> pending;
  pending.swap(pendingArguments_);
  // Each start's files on their own: a damaged watermark in one is reported
  // and the others still open.
  for (const TCommandLine& arguments : pending) GuardedCall([&] { ApplyArguments(arguments); });
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // The window manager's close request reaches a disabled window too.
  if (running_) {
    event->ignore();
    return;
  }
  session_.Config().WriteBool(kGlobal, "FirstRun", false);
  if (frmTutorial_) frmTutorial_->close();
  event->accept();
}

void TForm1::ShowInfo(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
  box.exec();
}

void TForm1::UpdateCommandStates() {
  const bool idle = !running_;
  for (QAction* a : {actNewWatermark_, actOpenWatermark_, actSaveWatermark_, actEditWatermark_, actAddImages_,
                     actRemoveSelected_, actClearList_, actOutSettings_, actProcess_, actResize_})
    a->setEnabled(idle);
}

// ---- the preview --------------------------------------------------------------

void TForm1::RowSelected() {
  // The current row alone (after rows were added) is not a choice of the user's.
  const int row = fileListBox_->CurrentRow();
  const std::vector<int> selected = fileListBox_->SelectedRows();
  if (row < 0 || std::find(selected.begin(), selected.end(), row) == selected.end()) return;
  const std::string& path = session_.Images().Paths[static_cast<size_t>(row)];
  if (path == preview_->RequestedPath() && row + 1 == selectedIndex_) return;
  selectedIndex_ = row + 1;
  preview_->Select(path, selectedIndex_);
  if (lstZoom_->currentText() == QLatin1String(kFitToView)) ApplyZoom();
}

void TForm1::ApplyZoom() {
  const QString text = lstZoom_->currentText();
  if (text == QLatin1String(kFitToView)) {
    if (preview_->Picture().Empty()) return;
    if (auto scale = imgView_->FitToViewScale()) imgView_->SetScale(*scale);
  } else {
    imgView_->SetScale(ZoomTextScale(S(text)));
  }
}

void TForm1::PreviewChanged() {
  const TBitmap32& picture = preview_->Picture();
  imgView_->SetBitmap(&preview_->Composite());
  pictureInfo_->setText(picture.Empty() ? QString() : QStringLiteral("%1 x %2").arg(picture.Width()).arg(picture.Height()));
}

void TForm1::RefreshWatermark() {
  if (!isVisible()) return;
  preview_->RefreshWatermark();
}

// ---- watermark commands ---------------------------------------------------------

void TForm1::actNewWatermarkExecute() { EditWatermark(true); }

void TForm1::actEditWatermarkExecute() { EditWatermark(false); }

void TForm1::EditWatermark(bool resetFirst) {
  TWatermarkDocument& document = session_.Document();
  // The editor works on copies and only its Apply hands layers back; the
  // backup in memory covers a failure on the way, so nothing can lose the
  // watermark.
  const TWatermarkDocument::TSnapshot backup = document.Snapshot();
  // Created at first use and kept, as a child of this window.
  auto* editor = findChild<TfrmEditor*>(QString(), Qt::FindDirectChildrenOnly);
  if (!editor) editor = new TfrmEditor(session_, this);
  int result = erAbort;
  try {
    result = editor->Edit(document, preview_->Picture(), resetFirst);
    if (result == erOK) document.Changed();
  } catch (...) {
    if (document.Snapshot().Bytes != backup.Bytes) document.Restore(backup);
    RefreshWatermark();
    throw;
  }
  RefreshWatermark();
}

void TForm1::actOpenWatermarkExecute() {
  TConfig& config = session_.Config();
  const std::string folder = config.ReadString(kGlobal, "OpenWatermarkInitialDir", ProgramFolder() + "Sample Watermarks");
  QFileDialog dialog(this, QStringLiteral("Open Watermark"), Q(folder), QStringLiteral("Watermark Files (*.tvx)"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("tvx"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    const std::string file = S(dialog.selectedFiles().first());
    config.WriteString(kGlobal, "OpenWatermarkInitialDir", ExtractFilePath(file));
    // Read into a fresh document: a damaged file leaves the current watermark as it was.
    session_.OpenWatermarkFile(file);
  }
  RefreshWatermark();
}

void TForm1::actSaveWatermarkExecute() {
  if (session_.WatermarkIsEmpty()) {
    ShowInfo(QStringLiteral("Watermarking"), QStringLiteral("Watermark is empty. Please create watermark."));
    return;
  }
  TConfig& config = session_.Config();
  const std::string folder = config.ReadString(kGlobal, "OpenWatermarkInitialDir", ProgramFolder() + "Sample Watermarks");
  QFileDialog dialog(this, QStringLiteral("Save Watermark"), Q(folder), QStringLiteral("Watermark Files (*.tvx)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("tvx"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string file = S(dialog.selectedFiles().first());
  session_.Document().Save(file);
  config.WriteString(kGlobal, "OpenWatermarkInitialDir", ExtractFilePath(file));
}

// ---- the image list ---------------------------------------------------------------

void TForm1::AddFilesClick() {
  TConfig& config = session_.Config();
  std::vector<std::string> masks;
  const std::string filter = BuildOpenFilter(session_.Plugins().Formats(), masks);
  QFileDialog dialog(this, QStringLiteral("Add Images"), Q(config.ReadString(kGlobal, "OpenPicturesInitialDir", "")),
                     QtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  std::vector<std::string> files;
  for (const QString& f : dialog.selectedFiles()) files.push_back(S(f));
  fileListBox_->AddFiles(files);
  config.WriteString(kGlobal, "OpenPicturesInitialDir", ExtractFilePath(files.front()));
}

void TForm1::RemFilesClick() {
  selectedIndex_ = 0;
  fileListBox_->RemoveSelected();
  // The picture goes with its row, also when no row was selected.
  preview_->Clear();
}

void TForm1::ClearListClick() { fileListBox_->Clear(); }

// ---- settings and runs ---------------------------------------------------------------

void TForm1::actOutSettingsExecute() { frmOutputSettings_->exec(); }

namespace {

// A run that went on past pictures that failed says which at its end.
void ReportFailures(QWidget* owner, const char* title, const TRunStats& stats, bool quitting) {
  if (stats.Failed == 0) return;
  if (quitting) {
    // Nobody waits for a dialog before the program ends: the summary goes to standard error.
    std::fprintf(stderr, "%s: %s\n", title, RunCounts(stats).c_str());
    for (const std::string& line : FailureLines(stats)) std::fprintf(stderr, "  %s\n", line.c_str());
    return;
  }
  TfrmRunSummary summary(title, stats, owner);
  summary.exec();
}

}  // namespace

void TForm1::btnProcessClick() {
  if (session_.Images().Paths.empty()) {
    ShowInfo(QStringLiteral("Watermarking"), Q(kNothingToWatermark));
    return;
  }
  if (session_.WatermarkIsEmpty()) {
    ShowInfo(QStringLiteral("Watermarking"), Q(kWatermarkIsEmpty));
    return;
  }
  if (commandLine_.SkipSettings || session_.Config().ReadBool("WatermarkingOptions", "AcceptDefaults", false))
    frmOutputSettings_->LoadSettings();
  else if (frmOutputSettings_->exec() != QDialog::Accepted)
    return;

  // The pictures are made by workers; this thread answers the window meanwhile.
  TOutputSettings settings = frmOutputSettings_->Settings();
  // The command line's output settings are for the run it started, and are
  // never stored.
  if (commandLineRun_) {
    std::string error = ApplyOutputOverrides(commandLine_, settings, OutputFormatNames(session_.Plugins().Formats()));
    if (error.empty()) error = CreateOutputFolder(commandLine_, settings);
    if (!error.empty()) {
      ShowInfo(QStringLiteral("Watermarking"), Q(error));
      return;
    }
  }
  if (commandLine_.JpegKeepBlocks) settings.JpegKeepBlocks = true;
  TRunOptions options;
  options.Jobs = commandLine_.Jobs ? *commandLine_.Jobs : ReadJobs(session_.Config());
  options.StopOnError = settings.StopOnError && !commandLine_.KeepGoing;
  TRunStats stats;
  running_ = true;
  UpdateCommandStates();
  struct TRunEnd {
    TForm1* Window;
    ~TRunEnd() {
      // Hidden (and the window enabled again) before any error is reported.
      Window->frmWMProgress_->End();
      Window->running_ = false;
      Window->UpdateCommandStates();
    }
  };
  {
    TRunEnd end{this};
    session_.Watermark(settings, *frmWMProgress_, &stats, options);
  }
  ReportFailures(this, "Watermarking", stats, commandLine_.QuitAfterRun);
  RefreshWatermark();
  if (commandLine_.QuitAfterRun) close();
}

void TForm1::btnResizeClick() {
  if (session_.Images().Paths.empty()) {
    ShowInfo(QStringLiteral("Resizing"), Q(kNothingToResize));
    return;
  }
  if (frmResizeSettings_->exec() != QDialog::Accepted) return;
  TRunOptions options;
  options.Jobs = commandLine_.Jobs ? *commandLine_.Jobs : ReadJobs(session_.Config());
  options.StopOnError = ReadStopOnError(session_.Config(), kResizeSection) && !commandLine_.KeepGoing;
  TRunStats stats;
  running_ = true;
  UpdateCommandStates();
  TSession::TStart result;
  {
    struct TRunEnd {
      TForm1* Window;
      ~TRunEnd() {
        Window->frmWMProgress_->End();
        Window->running_ = false;
        Window->UpdateCommandStates();
      }
    } end{this};
    result = session_.Resize(frmResizeSettings_->DestinationSettings(), frmResizeSettings_->ResizeSettings(),
                             *frmWMProgress_, &stats, options);
  }
  ReportFailures(this, "Resizing", stats, commandLine_.QuitAfterRun);
  if (result == TSession::TStart::Completed) RefreshWatermark();
  if (commandLine_.QuitAfterRun) close();
}

// ---- help ------------------------------------------------------------------------------

void TForm1::actHelpExecute() { QDesktopServices::openUrl(QUrl::fromLocalFile(ProgramFile("help/welcome.htm"))); }

void TForm1::actWelcomeExecute() {
  if (!frmTutorial_) frmTutorial_ = new TfrmTutorial(ProgramFolder(), this);
  frmTutorial_->ShowTour();
}

void TForm1::actSupportExecute() { QDesktopServices::openUrl(QUrl(QLatin1String(kSupportUrl))); }

void TForm1::actAboutExecute() {
  if (!frmAbout_)
    frmAbout_ = new TfrmAbout(QLatin1String(kVersion),
                              Q(session_.Config().ReadString(kGlobal, "InfoURL", kDefaultInfoUrl)), this);
  frmAbout_->exec();
}

}  // namespace tvx
