#include "app/ui/frmWMProgress.h"

#include <algorithm>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "controls/ui/FormHelpers.h"

namespace tvx {

TfrmWMProgress::TfrmWMProgress(QWidget* owner) : QDialog(owner), owner_(owner) {
  setObjectName(QStringLiteral("frmWMProgress"));
  setWindowTitle(QStringLiteral("Progress"));
  // no help or other buttons in the title bar; the close box is refused anyway
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(false);

  Label1 = new QLabel(QStringLiteral("Watermarking files..."), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setTextFormat(Qt::PlainText);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setRange(0, 0);
  ProgressBar->setTextVisible(false);
  ProgressBar->setAccessibleName(QStringLiteral("Progress"));
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
  btnCancel->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnCancel);
  buttons->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->addWidget(Label1);
  column->addWidget(ProgressBar);
  column->addLayout(buttons);
  setFixedWidth(360);

  catchUp_.setSingleShot(true);
  connect(&catchUp_, &QTimer::timeout, this, &TfrmWMProgress::ShowPosition);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmWMProgress::btnCancelClick);
}

void TfrmWMProgress::Begin(const std::string& label, int32_t maximum) {
  Label1->setText(QString::fromStdString(label));
  cancelled_ = false;
  btnCancel->setEnabled(true);
  maximum_ = std::max(maximum, 0);
  position_ = 0;
  ProgressBar->setRange(0, maximum_);
  ShowPosition();
  if (!isVisible()) show();
  // let the window appear before the first picture is loaded
  QCoreApplication::processEvents();
}

bool TfrmWMProgress::AdvanceAndCheckCancel(int32_t n) {
  position_ += n;
  if (!sincePaint_.isValid() || sincePaint_.elapsed() >= kRepaintMs)
    ShowPosition();
  else if (!catchUp_.isActive())
    catchUp_.start(kRepaintMs);
  QCoreApplication::processEvents();
  return cancelled_;
}

bool TfrmWMProgress::CheckCancel() {
  QCoreApplication::processEvents();
  return cancelled_;
}

void TfrmWMProgress::ShowPosition() {
  catchUp_.stop();
  ProgressBar->setValue(std::min(position_, maximum_));
  sincePaint_.start();
}

void TfrmWMProgress::btnCancelClick() {
  cancelled_ = true;
  btnCancel->setEnabled(false);
  Label1->setText(QStringLiteral("Terminating..."));
}

void TfrmWMProgress::reject() {
  if (btnCancel->isEnabled()) btnCancelClick();
}

void TfrmWMProgress::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    cancelled_ = false;
    btnCancel->setEnabled(true);
    if (owner_) {
      owner_->setEnabled(false);
      // Disabling the owner disables its child windows too; this one stays usable.
      setEnabled(true);
    }
  }
  QDialog::showEvent(event);
}

void TfrmWMProgress::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) {
    catchUp_.stop();
    if (owner_) owner_->setEnabled(true);
  }
  QDialog::hideEvent(event);
}

void TfrmWMProgress::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace tvx
