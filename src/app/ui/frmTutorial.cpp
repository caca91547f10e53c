#include "app/ui/frmTutorial.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tvx {

TfrmTutorial::TfrmTutorial(const std::string& programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(programFolder), pages_(programFolder + "Tutorial/") {
  setWindowTitle(QStringLiteral("Welcome"));
  setModal(false);

  picture_ = new QLabel(this);
  picture_->setFixedSize(360, 240);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setAccessibleName(QStringLiteral("Tutorial picture"));
  text_ = new QTextBrowser(this);
  text_->setOpenExternalLinks(true);
  text_->setMinimumWidth(340);
  text_->setAccessibleName(QStringLiteral("Tutorial text"));

  chkOpenTutorial_ = new QCheckBox(QStringLiteral("Open Tutorial"), this);
  btnBack_ = new QPushButton(QStringLiteral("< Back"), this);
  btnNext_ = new QPushButton(QStringLiteral("Next >"), this);
  btnClose_ = new QPushButton(QStringLiteral("Close"), this);
  btnNext_->setDefault(true);

  auto* page = new QHBoxLayout;
  page->addWidget(picture_, 0, Qt::AlignTop);
  page->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(chkOpenTutorial_);
  buttons->addStretch(1);
  buttons->addWidget(btnBack_);
  buttons->addWidget(btnNext_);
  buttons->addSpacing(12);
  buttons->addWidget(btnClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(page, 1);
  layout->addLayout(buttons);
  resize(760, 320);

  connect(btnBack_, &QPushButton::clicked, this, &TfrmTutorial::Back);
  connect(btnNext_, &QPushButton::clicked, this, &TfrmTutorial::NextOrFinish);
  connect(btnClose_, &QPushButton::clicked, this, &QDialog::close);
}

void TfrmTutorial::ShowTour() {
  pages_.Start();
  chkOpenTutorial_->setChecked(true);
  ShowPage();
  show();
  raise();
  activateWindow();
}

void TfrmTutorial::ShowPage() {
  const int page = pages_.Page();
  QPixmap pixmap;
  if (pages_.Exists(page) && pixmap.load(QString::fromStdString(pages_.PictureFile(page))))
    picture_->setPixmap(pixmap.scaled(picture_->size() * devicePixelRatioF(), Qt::KeepAspectRatio,
                                      Qt::SmoothTransformation));
  else
    picture_->clear();
  if (pages_.Exists(page)) {
    QFile file(QString::fromStdString(pages_.TextFile(page)));
    text_->setHtml(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
  } else {
    // A missing tour shows an empty page; the main window gives no message for it.
    text_->clear();
  }
  btnBack_->setEnabled(pages_.CanGoBack());
  const bool last = pages_.IsLast();
  btnNext_->setText(last ? QStringLiteral("Finish") : QStringLiteral("Next >"));
  chkOpenTutorial_->setVisible(last);
}

void TfrmTutorial::Back() {
  if (pages_.Back()) ShowPage();
}

void TfrmTutorial::NextOrFinish() {
  if (!pages_.IsLast()) {
    if (pages_.Next()) ShowPage();
    return;
  }
  if (chkOpenTutorial_->isChecked()) {
    // A failure to open the tutorial is of no consequence.
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QString::fromStdString(programFolder_ + "help/Tutorials/main.htm")));
  }
  close();
}

}  // namespace tvx
