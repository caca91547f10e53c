#include "output/ui/frmResizeSettings.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/ui/FormHelpers.h"
#include "output/ui/frmDestination.h"
#include "output/ui/frmResize.h"

namespace tvx {

TfrmResizeSettings::TfrmResizeSettings(TConfig& config, const std::vector<std::string>& formatRows,
                                       QWidget* parent)
    : QDialog(parent), config_(config) {
  setObjectName(QStringLiteral("frmResizeSettings"));
  setWindowTitle(QStringLiteral("Resize Settings"));

  pgcSettings = new QTabWidget(this);
  pgcSettings->setObjectName(QStringLiteral("pgcSettings"));
  tsResize = new QWidget(pgcSettings);
  tsResize->setObjectName(QStringLiteral("tsResize"));
  tsDestination = new QWidget(pgcSettings);
  tsDestination->setObjectName(QStringLiteral("tsDestination"));
  pgcSettings->addTab(tsResize, QStringLiteral("Resize"));
  pgcSettings->addTab(tsDestination, QStringLiteral("Destination"));

  frmResize = new TfrmResize(tsResize);
  {
    auto* column = new QVBoxLayout(tsResize);
    column->addWidget(frmResize);
    column->addStretch(1);
  }
  frmDestination = new TfrmDestination(formatRows, tsDestination);
  (new QVBoxLayout(tsDestination))->addWidget(frmDestination);

  btnResize = MakeControl<QPushButton>(this, "btnResize", "OK");
  btnResize->setDefault(true);
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", "Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnResize);
  buttons->addWidget(btnCancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(pgcSettings);
  column->addLayout(buttons);

  connect(btnResize, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmResizeSettings::LoadSettings() {
  frmDestination->LoadSettings(config_);
  frmResize->LoadSettings(config_);
}

void TfrmResizeSettings::SaveSettings() {
  frmDestination->SaveSettings(config_);
  frmResize->SaveSettings(config_);
}

TDestinationSettings TfrmResizeSettings::DestinationSettings() const { return frmDestination->Settings(); }

TResizeSettings TfrmResizeSettings::ResizeSettings() const { return frmResize->Settings(); }

void TfrmResizeSettings::done(int result) {
  GuardedCall([&] {
    if (result == QDialog::Accepted)
      SaveSettings();
    else
      LoadSettings();
  });
  QDialog::done(result);
}

void TfrmResizeSettings::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    pgcSettings->setCurrentWidget(tsResize);
    GuardedCall([this] { LoadSettings(); });
  }
  QDialog::showEvent(event);
}

}  // namespace tvx
