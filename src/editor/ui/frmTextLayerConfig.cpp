#include "editor/ui/frmTextLayerConfig.h"

#include <algorithm>
#include <exception>
#include <map>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/ui/BalloonTip.h"
#include "controls/ui/ColorSelector.h"
#include "controls/ui/FormHelpers.h"
#include "editor/EditorRules.h"
#include "editor/TextEditSession.h"
#include "raster/TextRasterizer.h"
#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

constexpr const char* kTitle = "Text Layer Configuration";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

void ReportWithBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

QToolButton* MakeToggle(QWidget* parent, const char* objectName, const QString& caption) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAccessibleName(caption);
  button->setText(caption);
  button->setCheckable(true);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return button;
}

// Asked once: fontconfig's list does not change while the program runs.
const std::vector<std::string>& FontFamilies() {
  static const std::vector<std::string> families = InstalledFontFamilies();
  return families;
}

}  // namespace

TfrmTextLayerConfig::TfrmTextLayerConfig(QWidget* parent) : QDialog(parent), report_(ReportWithBox) {
  setObjectName(QStringLiteral("frmTextLayerConfig"));
  setWindowTitle(QString::fromLatin1(kTitle));

  memText = new QPlainTextEdit(this);
  memText->setObjectName(QStringLiteral("memText"));
  memText->setTabChangesFocus(true);
  memText->setMinimumSize(360, 110);
  lstFont = new QComboBox(this);
  lstFont->setObjectName(QStringLiteral("lstFont"));
  lstFont->setMinimumWidth(200);
  lstSize = new QComboBox(this);
  lstSize->setObjectName(QStringLiteral("lstSize"));
  lstSize->setEditable(true);
  lstSize->setInsertPolicy(QComboBox::NoInsert);
  lstSize->setCompleter(nullptr);
  {
    QSignalBlocker blocker(lstSize);
    for (const std::string& row : FontSizeRows()) lstSize->addItem(Q(row));
    lstSize->setEditText(QStringLiteral("18"));
  }
  TextColor = new TColorSelector(this);
  TextColor->setObjectName(QStringLiteral("TextColor"));

  chkBold = MakeToggle(this, "chkBold", QStringLiteral("Bold"));
  chkItalic = MakeToggle(this, "chkItalic", QStringLiteral("Italic"));
  chkUnderline = MakeToggle(this, "chkUnderline", QStringLiteral("Underline"));
  chkStrikeOut = MakeToggle(this, "chkStrikeOut", QStringLiteral("Strike Out"));
  chkLeftJustify = MakeToggle(this, "chkLeftJustify", QStringLiteral("Left"));
  chkCenter = MakeToggle(this, "chkCenter", QStringLiteral("Center"));
  chkRightJustify = MakeToggle(this, "chkRightJustify", QStringLiteral("Right"));
  justification_ = new QButtonGroup(this);
  justification_->setExclusive(true);
  justification_->addButton(chkLeftJustify, tjLeft);
  justification_->addButton(chkRightJustify, tjRight);
  justification_->addButton(chkCenter, tjCentered);

  btnAddMacros = MakeControl<QPushButton>(this, "btnAddMacros", QStringLiteral("Add Macros"));
  btnAddMacros->setAutoDefault(false);
  mnuMacros = new QMenu(btnAddMacros);
  std::map<QString, QMenu*> submenus;
  for (const TMacroMenuEntry& entry : MacroMenu()) {
    QMenu* menu = mnuMacros;
    QString path;
    for (size_t i = 0; i + 1 < entry.Path.size(); ++i) {
      path += Q(entry.Path[i]) + QLatin1Char('/');
      QMenu*& sub = submenus[path];
      if (!sub) sub = menu->addMenu(Q(entry.Path[i]));
      menu = sub;
    }
    const QString text = Q(entry.Text);
    QAction* action = menu->addAction(Q(entry.Path.back()));
    connect(action, &QAction::triggered, this, [this, text] { GuardedCall([&] { InsertMacro(text); }); });
  }
  btnAddMacros->setMenu(mnuMacros);

  btnOK = MakeControl<QPushButton>(this, "btnOK", QStringLiteral("OK"));
  btnOK->setAutoDefault(false);
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
  btnCancel->setAutoDefault(false);

  auto* grid = new QGridLayout;
  grid->addWidget(MakeBuddyLabel(this, QStringLiteral("Text:"), memText), 0, 0, Qt::AlignTop);
  grid->addWidget(memText, 0, 1, 1, 3);
  grid->addWidget(MakeBuddyLabel(this, QStringLiteral("Font:"), lstFont), 1, 0);
  grid->addWidget(lstFont, 1, 1);
  grid->addWidget(MakeBuddyLabel(this, QStringLiteral("Size:"), lstSize), 1, 2);
  grid->addWidget(lstSize, 1, 3);
  grid->addWidget(MakeBuddyLabel(this, QStringLiteral("Color:"), TextColor), 2, 0);
  grid->addWidget(TextColor, 2, 1, Qt::AlignLeft);
  auto* styles = new QHBoxLayout;
  for (QToolButton* b : {chkBold, chkItalic, chkUnderline, chkStrikeOut}) styles->addWidget(b);
  styles->addSpacing(16);
  for (QToolButton* b : {chkLeftJustify, chkCenter, chkRightJustify}) styles->addWidget(b);
  styles->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnAddMacros);
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* column = new QVBoxLayout(this);
  column->addLayout(grid);
  column->addLayout(styles);
  column->addLayout(buttons);

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(memText, &QPlainTextEdit::textChanged, this, [this] {
    const std::string text = S(memText->toPlainText());
    Change([&](TTextEditSession& s) { s.SetText(text); });
  });
  connect(lstFont, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    const std::string name = S(lstFont->itemData(index).toString());
    Change([&](TTextEditSession& s) { s.SetFontName(name); });
  });
  connect(lstSize, &QComboBox::editTextChanged, this,
          [this](const QString& text) { GuardedCall([&] { SizeEdited(text); }); });
  connect(TextColor, &TColorSelector::colorChanged, this,
          [this](uint32_t color) { Change([&](TTextEditSession& s) { s.SetColor(color); }); });
  for (QToolButton* b : {chkBold, chkItalic, chkUnderline, chkStrikeOut})
    connect(b, &QToolButton::clicked, this, [this] { StyleClicked(); });
  connect(justification_, &QButtonGroup::idClicked, this,
          [this](int id) { Change([&](TTextEditSession& s) { s.SetJustification(uint8_t(id)); }); });
}

TfrmTextLayerConfig::~TfrmTextLayerConfig() = default;

void TfrmTextLayerConfig::SetErrorReporter(TErrorFunc report) {
  report_ = report ? std::move(report) : ReportWithBox;
}

TTextLayer* TfrmTextLayerConfig::OwnerLayer() const { return session_ ? &session_->Layer() : nullptr; }

int TfrmTextLayerConfig::Configure(TTextLayer& layer) {
  try {
    session_ = std::make_unique<TTextEditSession>(layer, [this](TTextLayer& l) {
      if (OnPlaced) OnPlaced(l);
    });
  } catch (const std::exception& e) {
    session_.reset();
    report_(parentWidget(), QString::fromUtf8(e.what()));
    return 2;
  }
  Fill();
  const int result = exec();
  // A session that neither OK nor Cancel ended puts the layer back.
  session_.reset();
  return result == QDialog::Accepted ? 1 : 2;
}

void TfrmTextLayerConfig::FillFonts(const std::string& current) {
  QSignalBlocker blocker(lstFont);
  lstFont->clear();
  int selected = -1;
  if (!current.empty() && !IsFontFamilyInstalled(current)) {
    lstFont->addItem(Q(current) + QStringLiteral(" (not installed)"), Q(current));
    selected = 0;
  }
  for (const std::string& family : FontFamilies()) {
    if (family == current) selected = lstFont->count();
    lstFont->addItem(Q(family), Q(family));
  }
  lstFont->setCurrentIndex(selected >= 0 ? selected : 0);
}

void TfrmTextLayerConfig::Fill() {
  if (!session_) return;
  const TTextLayer& layer = session_->Layer();
  {
    QSignalBlocker b(memText);
    memText->setPlainText(Q(ToLfLineBreaks(layer.Text)));
    memText->moveCursor(QTextCursor::End);
  }
  FillFonts(layer.Font.Name);
  {
    QSignalBlocker b(lstSize);
    lstSize->setEditText(QString::number(layer.Font.Size));
  }
  TextColor->SetColor(layer.Font.Color);
  for (auto [button, on] : {std::pair{chkBold, layer.Font.Bold},
                            {chkItalic, layer.Font.Italic},
                            {chkUnderline, layer.Font.Underline},
                            {chkStrikeOut, layer.Font.StrikeOut}}) {
    QSignalBlocker b(button);
    button->setChecked(on);
  }
  if (QAbstractButton* b = justification_->button(layer.Justification <= tjCentered ? int(layer.Justification)
                                                                                    : int(tjLeft))) {
    QSignalBlocker blocker(b);
    b->setChecked(true);
  }
}

void TfrmTextLayerConfig::Change(const std::function<void(TTextEditSession&)>& change) {
  if (!session_ || session_->Finished()) return;
  try {
    change(*session_);
  } catch (const std::exception& e) {
    report_(this, QString::fromUtf8(e.what()));
    // the controls show what the layer still holds
    GuardedCall([this] {
      const int caret = memText->textCursor().position();
      Fill();
      QTextCursor c = memText->textCursor();
      c.setPosition(std::min(caret, int(memText->toPlainText().size())));
      memText->setTextCursor(c);
    });
  } catch (...) {
    ReportCurrentException();
  }
}

void TfrmTextLayerConfig::SizeEdited(const QString& text) {
  const std::optional<int32_t> size = ParseFontSizeText(S(text));
  if (!size) {
    // nothing yet, or 0: the size stays until a usable one is typed
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
      ShowBalloonTip(lstSize, TBalloonIcon::Error, QStringLiteral("Unacceptable value"),
                     QStringLiteral("The font size must be at least 1."));
    return;
  }
  const QString shown = QString::number(*size);
  if (shown != text) {
    // the sign dropped, the size capped: the caret stays where it was
    QLineEdit* edit = lstSize->lineEdit();
    const int caret = std::min(edit->cursorPosition(), int(shown.size()));
    QSignalBlocker blocker(lstSize);
    edit->setText(shown);
    edit->setCursorPosition(caret);
  }
  Change([&](TTextEditSession& s) { s.SetFontSize(*size); });
}

void TfrmTextLayerConfig::StyleClicked() {
  const bool bold = chkBold->isChecked(), italic = chkItalic->isChecked();
  const bool underline = chkUnderline->isChecked(), strikeOut = chkStrikeOut->isChecked();
  Change([&](TTextEditSession& s) { s.SetStyle(bold, italic, underline, strikeOut); });
}

void TfrmTextLayerConfig::InsertMacro(const QString& text) {
  QTextCursor cursor = memText->textCursor();
  cursor.insertText(text);  // replaces the selection
  memText->setTextCursor(cursor);
  memText->setFocus(Qt::OtherFocusReason);
}

void TfrmTextLayerConfig::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (!session_) {
    GuardedCall([] { RaiseError("TfrmTextLayerConfig::FormShow", 1, "OwnerLayer not set!"); });
    QTimer::singleShot(0, this, [this] { QDialog::done(QDialog::Rejected); });
    return;
  }
  memText->setFocus(Qt::OtherFocusReason);
}

void TfrmTextLayerConfig::done(int result) {
  if (session_ && !session_->Finished()) {
    const bool ok = result == QDialog::Accepted;
    GuardedCall([&] {
      if (ok)
        session_->Ok();
      else
        session_->Cancel();
    });
  }
  QDialog::done(result);
}

}  // namespace tvx
