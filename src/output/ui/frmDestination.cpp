#include "output/ui/frmDestination.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "controls/ui/FormHelpers.h"

namespace tvx {
namespace {

constexpr const char* kChooseFolder = "Choose a folder";

}  // namespace

QString BrowseForFolder(QWidget* parent, const QString& title, const QString& initialFolder) {
  return QFileDialog::getExistingDirectory(parent, title, initialFolder, QFileDialog::ShowDirsOnly);
}

TfrmDestination::TfrmDestination(const std::vector<std::string>& formatRows, QWidget* parent)
    : QWidget(parent), browse_(&BrowseForFolder) {
  setObjectName(QStringLiteral("frmDestination"));
  rbPlaceInSourceFolder =
      MakeControl<QRadioButton>(this, "rbPlaceInSourceFolder",
                                "Place modified images in the source folder and overwrite original images.");
  tbRenameAndPlaceInSourceFolder = MakeControl<QRadioButton>(
      this, "tbRenameAndPlaceInSourceFolder", "Rename modified images and place them in the source folder.");
  rbPlaceInOtherFolder = MakeControl<QRadioButton>(this, "rbPlaceInOtherFolder",
                                                   "Place modified images in the following folder");
  auto* placement = new QButtonGroup(this);
  for (QRadioButton* choice : {rbPlaceInSourceFolder, tbRenameAndPlaceInSourceFolder, rbPlaceInOtherFolder})
    placement->addButton(choice);

  txtOtherFolder = new QLineEdit(this);
  txtOtherFolder->setObjectName(QStringLiteral("txtOtherFolder"));
  // Its caption is the choice above it.
  txtOtherFolder->setAccessibleName(rbPlaceInOtherFolder->text());
  btnBrowseOtherFolder = MakeControl<QPushButton>(this, "btnBrowseOtherFolder", "Browse");

  lstOverwriteExisting = MakeList(this, "lstOverwriteExisting", {"Ask", "Skip", "Replace", "Rename"});
  chkRemoveOriginalFiles = MakeControl<QCheckBox>(this, "chkRemoveOriginalFiles", "Remove original files");
  lstDefaultFileFormat = MakeList(this, "lstDefaultFileFormat", {});
  {
    QSignalBlocker blocker(lstDefaultFileFormat);
    for (const std::string& row : formatRows) lstDefaultFileFormat->addItem(QString::fromStdString(row));
  }
  chkKeepOriginalFormat =
      MakeControl<QCheckBox>(this, "chkKeepOriginalFormat", "Keep original format, if possible");
  tbJPEGQuality = new QSlider(Qt::Horizontal, this);
  tbJPEGQuality->setObjectName(QStringLiteral("tbJPEGQuality"));
  tbJPEGQuality->setRange(0, 100);
  tbJPEGQuality->setTickInterval(10);
  tbJPEGQuality->setTickPosition(QSlider::TicksBelow);
  tbJPEGQuality->setPageStep(10);
  lblJPEGQuality = new QLabel(this);
  lblJPEGQuality->setObjectName(QStringLiteral("lblJPEGQuality"));
  lblJPEGQuality->setMinimumWidth(lblJPEGQuality->fontMetrics().horizontalAdvance(QStringLiteral("100%")));

  auto* folderRow = new QHBoxLayout;
  folderRow->setContentsMargins(20, 0, 0, 0);  // under its choice
  folderRow->addWidget(txtOtherFolder, 1);
  folderRow->addWidget(btnBrowseOtherFolder);

  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  grid->addWidget(MakeBuddyLabel(this, "Overwrite existing files:", lstOverwriteExisting), 0, 0);
  grid->addWidget(lstOverwriteExisting, 0, 1);
  grid->addWidget(chkRemoveOriginalFiles, 0, 2, 1, 2);
  grid->addWidget(MakeBuddyLabel(this, "Output file format:", lstDefaultFileFormat), 1, 0);
  grid->addWidget(lstDefaultFileFormat, 1, 1);
  grid->addWidget(chkKeepOriginalFormat, 1, 2, 1, 2);
  grid->addWidget(MakeBuddyLabel(this, "JPEG quality:", tbJPEGQuality), 2, 0);
  grid->addWidget(tbJPEGQuality, 2, 1, 1, 2);
  grid->addWidget(lblJPEGQuality, 2, 3);

  auto* column = new QVBoxLayout(this);
  column->addWidget(rbPlaceInSourceFolder);
  column->addWidget(tbRenameAndPlaceInSourceFolder);
  column->addWidget(rbPlaceInOtherFolder);
  column->addLayout(folderRow);
  column->addSpacing(8);
  column->addLayout(grid);
  column->addStretch(1);

  for (QRadioButton* choice : {rbPlaceInSourceFolder, tbRenameAndPlaceInSourceFolder, rbPlaceInOtherFolder})
    connect(choice, &QRadioButton::toggled, this, &TfrmDestination::UpdateFolderControls);
  // clicked, not toggled: only the user's choice opens the browser, never loading
  connect(rbPlaceInOtherFolder, &QRadioButton::clicked, this, &TfrmDestination::rbPlaceInOtherFolderClick);
  connect(btnBrowseOtherFolder, &QPushButton::clicked, this, &TfrmDestination::btnBrowseOtherFolderClick);
  connect(tbJPEGQuality, &QSlider::valueChanged, this, &TfrmDestination::tbJPEGQualityChange);

  SetSettings(TDestinationSettings{});
  tbJPEGQualityChange(tbJPEGQuality->value());
}

void TfrmDestination::LoadSettings(const TConfig& config) {
  TDestinationSettings settings;
  settings.LoadSettings(config);
  SetSettings(settings);
}

void TfrmDestination::SaveSettings(TConfig& config) const { Settings().SaveSettings(config); }

TDestinationSettings TfrmDestination::Settings() const {
  TDestinationSettings s;
  s.DestFolder = txtOtherFolder->text().toStdString();
  s.Placement = rbPlaceInOtherFolder->isChecked()    ? plOtherFolder
                : rbPlaceInSourceFolder->isChecked() ? plSourceFolderOverwrite
                                                     : plSourceFolderRename;
  s.DefaultFileFormat = lstDefaultFileFormat->currentIndex();
  s.KeepOriginalFormat = chkKeepOriginalFormat->isChecked();
  s.JPEGQuality = tbJPEGQuality->value();
  s.OverwriteExisting = lstOverwriteExisting->currentIndex();
  s.RemoveOriginalFiles = chkRemoveOriginalFiles->isChecked();
  return s;
}

void TfrmDestination::SetSettings(const TDestinationSettings& s) {
  txtOtherFolder->setText(QString::fromStdString(s.DestFolder));
  switch (s.Placement) {
    case plSourceFolderOverwrite:
      rbPlaceInSourceFolder->setChecked(true);
      break;
    case plOtherFolder:
      rbPlaceInOtherFolder->setChecked(true);
      break;
    default:
      tbRenameAndPlaceInSourceFolder->setChecked(true);
      break;
  }
  // A stored row that no longer exists (a plug-in was removed) shows the
  // first row, which is the format a run then uses.
  SelectRow(lstDefaultFileFormat, s.DefaultFileFormat, 0);
  chkKeepOriginalFormat->setChecked(s.KeepOriginalFormat);
  tbJPEGQuality->setValue(s.JPEGQuality);
  SelectRow(lstOverwriteExisting, s.OverwriteExisting, owAsk);
  chkRemoveOriginalFiles->setChecked(s.RemoveOriginalFiles);
  UpdateFolderControls();
}

void TfrmDestination::UpdateFolderControls() {
  const bool other = rbPlaceInOtherFolder->isChecked();
  txtOtherFolder->setEnabled(other);
  btnBrowseOtherFolder->setEnabled(other);
}

void TfrmDestination::rbPlaceInOtherFolderClick() {
  if (rbPlaceInOtherFolder->isChecked() && txtOtherFolder->text().isEmpty()) btnBrowseOtherFolderClick();
}

void TfrmDestination::btnBrowseOtherFolderClick() {
  GuardedCall([this] {
    QString folder =
        browse_ ? browse_(this, QString::fromLatin1(kChooseFolder), txtOtherFolder->text()) : QString();
    if (folder.isEmpty()) return;  // cancelled: the text stays
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    txtOtherFolder->setText(folder);
  });
}

void TfrmDestination::tbJPEGQualityChange(int position) {
  lblJPEGQuality->setText(QString::number(position) + QLatin1Char('%'));
}

}  // namespace tvx
