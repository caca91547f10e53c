#include "app/ui/frmExtYesNoCancel.h"

#include <algorithm>

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/QuestionLayout.h"
#include "controls/ui/FormHelpers.h"

namespace tvx {
namespace {

constexpr int kFrameAllowance = 16;  // the window manager's frame around the client area

}  // namespace

TfrmExtYesNoCancel::TfrmExtYesNoCancel(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmExtYesNoCancel"));
  setModal(true);

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setTextFormat(Qt::PlainText);
  Label1->setWordWrap(false);  // lines are broken by BreakLines, where a path allows it
  btnYes = MakeControl<QPushButton>(this, "btnYes", QStringLiteral("Yes"));
  btnNo = MakeControl<QPushButton>(this, "btnNo", QStringLiteral("No"));
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
  btnYesToAll = MakeControl<QPushButton>(this, "btnYesToAll", QStringLiteral("Yes To All"));
  btnNoToAll = MakeControl<QPushButton>(this, "btnNoToAll", QStringLiteral("No To All"));
  btnYes->setDefault(true);

  auto* grid = new QGridLayout;
  grid->addWidget(btnYes, 0, 0);
  grid->addWidget(btnNo, 0, 1);
  grid->addWidget(btnCancel, 0, 2);
  grid->addWidget(btnYesToAll, 1, 0);
  grid->addWidget(btnNoToAll, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addLayout(grid);
  buttons->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kQuestionMargin / 2, kQuestionMargin / 2, kQuestionMargin / 2, 12);
  column->addWidget(Label1);
  column->addSpacing(8);
  column->addLayout(buttons);

  connect(btnYes, &QPushButton::clicked, this, [this] { Answer(TAnswer::Yes); });
  connect(btnNo, &QPushButton::clicked, this, [this] { Answer(TAnswer::No); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { Answer(TAnswer::Cancel); });
  connect(btnYesToAll, &QPushButton::clicked, this, [this] { Answer(TAnswer::YesToAll); });
  connect(btnNoToAll, &QPushButton::clicked, this, [this] { Answer(TAnswer::NoToAll); });
}

void TfrmExtYesNoCancel::Prepare(const QString& title, const QString& question) {
  setWindowTitle(title);
  setAccessibleName(title);
  ensurePolished();
  QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const int maxClient = std::max(kQuestionMinWidth, available.width() - kFrameAllowance);

  const QFontMetrics metrics = Label1->fontMetrics();
  auto measure = [&metrics](std::string_view piece) {
    return metrics.horizontalAdvance(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())));
  };
  QStringList lines;
  for (const std::string& line : BreakLines(question.toStdString(), maxClient - kQuestionMargin, measure))
    lines << QString::fromStdString(line);
  Label1->setText(lines.join(QLatin1Char('\n')));
  Label1->setAccessibleName(question);

  const int labelWidth = std::min(Label1->sizeHint().width(), maxClient - kQuestionMargin);
  setFixedWidth(QuestionClientWidth(labelWidth, maxClient));
  adjustSize();
  setFixedHeight(sizeHint().height());
  move(available.center() - rect().center());
}

TAnswer TfrmExtYesNoCancel::Ask(const std::string& title, const std::string& question) {
  Prepare(QString::fromStdString(title), QString::fromStdString(question));
  answer_ = TAnswer::Cancel;
  // The progress window disables the main window, and with it this child window.
  setEnabled(true);
  btnYes->setFocus();
  exec();
  return answer_;
}

void TfrmExtYesNoCancel::Answer(TAnswer answer) {
  answer_ = answer;
  done(answer == TAnswer::Cancel ? QDialog::Rejected : QDialog::Accepted);
}

void TfrmExtYesNoCancel::reject() {
  answer_ = TAnswer::Cancel;
  QDialog::reject();
}

}  // namespace tvx
