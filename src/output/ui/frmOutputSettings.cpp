#include "output/ui/frmOutputSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/ui/BalloonTip.h"
#include "controls/ui/FormHelpers.h"
#include "output/ui/frmDestination.h"
#include "output/ui/frmResize.h"
#include "util/Config.h"

namespace tvx {
namespace {

constexpr const char* kWatermarking = "WatermarkingOptions";
constexpr const char* kResize = "ResizeOptions";

QWidget* MakePage(QTabWidget* pages, const char* objectName, const char* caption) {
  auto* page = new QWidget(pages);
  page->setObjectName(QString::fromLatin1(objectName));
  pages->addTab(page, QString::fromLatin1(caption));
  return page;
}

}  // namespace

TfrmOutputSettings::TfrmOutputSettings(TConfig& config, const std::vector<std::string>& formatRows,
                                       QWidget* parent)
    : QDialog(parent), config_(config) {
  setObjectName(QStringLiteral("frmOutputSettings"));
  setWindowTitle(QStringLiteral("Output Settings"));

  pgcSettings = new QTabWidget(this);
  pgcSettings->setObjectName(QStringLiteral("pgcSettings"));
  tsGeneral = MakePage(pgcSettings, "tsGeneral", "General");
  tsDestination = MakePage(pgcSettings, "tsDestination", "Destination");
  tsResize = MakePage(pgcSettings, "tsResize", "Resize");

  chkAcceptDefaults =
      MakeControl<QCheckBox>(tsGeneral, "chkAcceptDefaults", "Accept defaults and start watermarking");
  chkSaveAsDefaults =
      MakeControl<QCheckBox>(tsGeneral, "chkSaveAsDefaults", "Save this settings as defaults");
  chkStopOnError =
      MakeControl<QCheckBox>(tsGeneral, "chkStopOnError", "Stop at the first picture that fails");
  chkStopOnError->setToolTip(QStringLiteral(
      "When off, a picture that cannot be read, drawn or written is left out and the run goes on;\n"
      "the pictures left out are listed at the end."));
  AttachBalloonHint(chkAcceptDefaults, TBalloonIcon::Info, QString::fromLatin1(kAcceptDefaultsTitle),
                    QString::fromLatin1(kAcceptDefaultsHint));
  {
    auto* column = new QVBoxLayout(tsGeneral);
    column->addWidget(chkAcceptDefaults);
    column->addWidget(chkSaveAsDefaults);
    column->addWidget(chkStopOnError);
    column->addStretch(1);
  }

  frmDestination = new TfrmDestination(formatRows, tsDestination);
  // Beside the JPEG quality it overrides for the pictures it applies to; only
  // the watermarking run has it, so it is not part of the shared frame.
  chkJpegKeepBlocks = MakeControl<QCheckBox>(tsDestination, "chkJpegKeepBlocks",
                                             "Keep JPEG quality: re-encode only the watermarked blocks");
  {
    auto* column = new QVBoxLayout(tsDestination);
    column->addWidget(frmDestination);
    column->addWidget(chkJpegKeepBlocks);
  }

  chkResizeImages = MakeControl<QCheckBox>(tsResize, "chkResizeImages", "Resize Images");
  lstResizePriority = MakeList(tsResize, "lstResizePriority", {"Before watermarking", "After watermarking"});
  // No caption of its own: it says when "Resize Images" happens.
  lstResizePriority->setAccessibleName(QStringLiteral("Resize priority"));
  frmResize = new TfrmResize(tsResize);
  {
    auto* head = new QHBoxLayout;
    head->addWidget(chkResizeImages);
    head->addWidget(lstResizePriority);
    head->addStretch(1);
    auto* column = new QVBoxLayout(tsResize);
    column->addLayout(head);
    column->addWidget(frmResize);
    column->addStretch(1);
  }

  btnWatermark = MakeControl<QPushButton>(this, "btnWatermark", "OK");
  btnWatermark->setDefault(true);
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", "Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnWatermark);
  buttons->addWidget(btnCancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(pgcSettings);
  column->addLayout(buttons);

  connect(btnWatermark, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(chkResizeImages, &QCheckBox::toggled, this, &TfrmOutputSettings::chkResizeImagesClick);

  chkSaveAsDefaults->setChecked(true);
  chkStopOnError->setChecked(true);
  chkResizeImagesClick();
}

void TfrmOutputSettings::LoadSettings() {
  TOutputSettings s;
  s.LoadSettings(config_);
  chkAcceptDefaults->setChecked(s.AcceptDefaults);
  chkSaveAsDefaults->setChecked(s.SaveAsDefaults);
  frmDestination->SetSettings(s.Destination);
  chkJpegKeepBlocks->setChecked(s.JpegKeepBlocks);
  chkResizeImages->setChecked(s.DoResize);
  chkResizeImagesClick();
  SelectRow(lstResizePriority, s.ResizePriority, 0);
  frmResize->SetSettings(s.Resize);
  frmResize->ValidateValues();
  chkStopOnError->setChecked(s.StopOnError);
}

void TfrmOutputSettings::SaveSettings() {
  frmResize->ValidateValues();
  TOutputSettings s = Settings();
  s.SaveSettings(config_);
}

TOutputSettings TfrmOutputSettings::Settings() const {
  TOutputSettings s;
  s.AcceptDefaults = chkAcceptDefaults->isChecked();
  s.SaveAsDefaults = chkSaveAsDefaults->isChecked();
  s.Destination = frmDestination->Settings();
  s.DoResize = chkResizeImages->isChecked();
  s.ResizePriority = lstResizePriority->currentIndex() == 1 ? 1 : 0;
  s.Resize = frmResize->Settings();
  s.JpegKeepBlocks = chkJpegKeepBlocks->isChecked();
  s.StopOnError = chkStopOnError->isChecked();
  return s;
}

void TfrmOutputSettings::done(int result) {
  GuardedCall([&] {
    if (result == QDialog::Accepted) {
      // The run reads the fields as they are left, stored or not.
      frmResize->ValidateValues();
      if (chkSaveAsDefaults->isChecked()) SaveSettings();
    } else {
      LoadSettings();
    }
  });
  QDialog::done(result);
}

void TfrmOutputSettings::showEvent(QShowEvent* event) {
  // A window restored from the task bar is not a new showing.
  if (!event->spontaneous()) {
    pgcSettings->setCurrentWidget(tsDestination);
    GuardedCall([this] { LoadSettings(); });
  }
  QDialog::showEvent(event);
}

void TfrmOutputSettings::chkResizeImagesClick() {
  const bool on = chkResizeImages->isChecked();
  lstResizePriority->setVisible(on);
  frmResize->setVisible(on);
  frmResize->UpdatePanels();
}

}  // namespace tvx
