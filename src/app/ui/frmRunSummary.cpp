#include "app/ui/frmRunSummary.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/RunSummary.h"
#include "controls/ui/FormHelpers.h"

namespace tvx {

TfrmRunSummary::TfrmRunSummary(const std::string& title, const TRunStats& stats, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("frmRunSummary"));
  setWindowTitle(QString::fromStdString(title));

  lblCounts = new QLabel(QString::fromStdString(RunCounts(stats)), this);
  lblCounts->setObjectName(QStringLiteral("lblCounts"));
  lblCounts->setTextFormat(Qt::PlainText);
  lblCounts->setAccessibleName(lblCounts->text());
  memFailed = new QPlainTextEdit(this);
  memFailed->setObjectName(QStringLiteral("memFailed"));
  memFailed->setReadOnly(true);
  memFailed->setLineWrapMode(QPlainTextEdit::NoWrap);
  QStringList lines;
  for (const std::string& line : FailureLines(stats)) lines << QString::fromStdString(line);
  memFailed->setPlainText(lines.join(QLatin1Char('\n')));
  QLabel* caption = MakeBuddyLabel(this, QStringLiteral("Pictures that failed:"), memFailed);
  btnOK = MakeControl<QPushButton>(this, "btnOK", QStringLiteral("OK"));
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  auto* column = new QVBoxLayout(this);
  column->addWidget(lblCounts);
  column->addWidget(caption);
  column->addWidget(memFailed, 1);
  column->addLayout(buttons);
  resize(640, 320);
}

}  // namespace tvx
