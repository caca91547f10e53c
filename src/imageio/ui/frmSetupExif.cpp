#include "imageio/ui/frmSetupExif.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/ui/FormHelpers.h"
#include "util/Utils.h"

namespace tvx {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

template <typename TEdit>
TEdit* MakeInput(QWidget* parent, const char* objectName, const QString& caption) {
  auto* edit = new TEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  // Known by the caption of the box beside it, which is its label.
  edit->setAccessibleName(caption);
  return edit;
}

}  // namespace

TfrmSetupExif::TfrmSetupExif(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSetupExif"));
  setWindowTitle(QStringLiteral("JPEG Properties"));

  auto* intro = new QLabel(QStringLiteral("We will write the following values when watermarking."), this);
  chkTitle = MakeControl<QCheckBox>(this, "chkTitle", QStringLiteral("Write title"));
  chkCopyright = MakeControl<QCheckBox>(this, "chkCopyright", QStringLiteral("Write copyright"));
  chkArtist = MakeControl<QCheckBox>(this, "chkArtist", QStringLiteral("Write artist"));
  chkComment = MakeControl<QCheckBox>(this, "chkComment", QStringLiteral("Write comment"));
  txtTitle = MakeInput<QLineEdit>(this, "txtTitle", chkTitle->text());
  txtCopyright = MakeInput<QLineEdit>(this, "txtCopyright", chkCopyright->text());
  txtArtist = MakeInput<QLineEdit>(this, "txtArtist", chkArtist->text());
  memComment = MakeInput<QPlainTextEdit>(this, "memComment", chkComment->text());
  memComment->setTabChangesFocus(true);
  memComment->setFixedHeight(80);

  btnOK = MakeControl<QPushButton>(this, "btnOK", QStringLiteral("OK"));
  btnOK->setDefault(true);
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  int row = 0;
  for (auto [box, input] : {std::pair<QCheckBox*, QWidget*>{chkTitle, txtTitle},
                            {chkCopyright, txtCopyright},
                            {chkArtist, txtArtist},
                            {chkComment, memComment}}) {
    grid->addWidget(box, row, 0, Qt::AlignTop);
    grid->addWidget(input, row, 1);
    Pair(box, input);
    ++row;
  }
  grid->setColumnMinimumWidth(1, 300);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(intro);
  column->addLayout(grid);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
}

void TfrmSetupExif::Pair(QCheckBox* box, QWidget* input) {
  connect(box, &QCheckBox::toggled, this, [input](bool on) {
    if (on) input->setFocus(Qt::OtherFocusReason);
  });
  auto tick = [this, box] {
    if (!filling_ && !box->isChecked()) box->setChecked(true);
  };
  if (auto* line = qobject_cast<QLineEdit*>(input)) connect(line, &QLineEdit::textChanged, this, tick);
  if (auto* memo = qobject_cast<QPlainTextEdit*>(input))
    connect(memo, &QPlainTextEdit::textChanged, this, tick);
}

void TfrmSetupExif::SetValues(const Watermark::TWatermarkExif& exif) {
  filling_ = true;
  chkTitle->setChecked(exif.WriteTitle);
  chkCopyright->setChecked(exif.WriteCopyright);
  chkArtist->setChecked(exif.WriteArtist);
  chkComment->setChecked(exif.WriteComment);
  txtTitle->setText(Q(exif.Title));
  txtCopyright->setText(Q(exif.Copyright));
  txtArtist->setText(Q(exif.Artist));
  memComment->setPlainText(Q(ToLfLineBreaks(exif.Comment)));
  filling_ = false;
}

Watermark::TWatermarkExif TfrmSetupExif::Values() const {
  Watermark::TWatermarkExif exif;
  exif.WriteTitle = chkTitle->isChecked();
  exif.WriteCopyright = chkCopyright->isChecked();
  exif.WriteArtist = chkArtist->isChecked();
  exif.WriteComment = chkComment->isChecked();
  exif.Title = S(txtTitle->text());
  exif.Copyright = S(txtCopyright->text());
  exif.Artist = S(txtArtist->text());
  exif.Comment = ToCrLfLineBreaks(S(memComment->toPlainText()));
  return exif;
}

bool TfrmSetupExif::Edit(Watermark::TWatermarkExif& exif) {
  SetValues(exif);
  txtTitle->setFocus(Qt::OtherFocusReason);
  if (exec() != QDialog::Accepted) return false;
  exif = Values();
  return true;
}

}  // namespace tvx
