#include "styles/ui/frmFilters.h"

#include <exception>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/ui/BalloonTip.h"
#include "controls/ui/CaptionBar.h"
#include "controls/ui/CheckListBox.h"
#include "controls/ui/FormHelpers.h"
#include "controls/ui/ImgView2.h"
#include "styles/ui/FilterConfig.h"
#include "util/Guard.h"
#include "watermark/BaseLayer.h"

namespace tvx {
namespace {

constexpr int kWidth = 594;
constexpr int kHeight = 409;
constexpr int kLayerPaneHeight = 160;

// The help text's paragraphs wrap to the panel's width.
const char* const kHelpText =
    "Layer Style Editor.\n"
    "\n"
    "Each style can be made up from different filters. They are on the left. When you select one, its "
    "configuration will appear instead of this message.\n"
    "\n"
    "Also, you can select one of the predefined styles from the list on the top.";

QString Q(const std::string& text) { return QString::fromStdString(text); }

bool AskWithMessageBox(QWidget* parent, const QString& title, const QString& question) {
  return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void TellWithMessageBox(QWidget* parent, const QString& title, const QString& message) {
  QMessageBox::warning(parent, title, message);
}

QToolButton* MakeSpeedButton(QWidget* parent, const char* objectName, const QString& hint,
                             QStyle::StandardPixmap icon) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAutoRaise(true);  // flat until the pointer is over it
  button->setIcon(parent->style()->standardIcon(icon));
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

}  // namespace

TfrmFilters::TfrmFilters(QWidget* parent, TStyles& styles)
    : QDialog(parent), model_(styles), ask_(AskWithMessageBox), tell_(TellWithMessageBox) {
  setObjectName(QStringLiteral("frmFilters"));
  setWindowTitle(QString::fromLatin1(kLayerStyleTitle));
  setFixedSize(kWidth, kHeight);
  CreateControls();

  QStringList rows;
  for (const std::string& kind : model_.Rows()) rows << Q(kind);
  lstFilters->SetRows(rows);
  RebuildStyleList();
  model_.SavedStyles().AddListener(&TfrmFilters::StylesChanged, this);
  connect(qApp, &QApplication::focusChanged, this, &TfrmFilters::FocusChanged);
  RefreshPreview();
}

TfrmFilters::~TfrmFilters() {
  // Hiding in the base destructor moves the focus, whose signal must not reach
  // this half-destroyed dialog.
  disconnect(qApp, &QApplication::focusChanged, this, nullptr);
  model_.SavedStyles().RemoveListener(&TfrmFilters::StylesChanged, this);
}

void TfrmFilters::CreateControls() {
  lstStyles = new QComboBox(this);
  lstStyles->setObjectName(QStringLiteral("lstStyles"));
  Label1 = MakeBuddyLabel(this, QStringLiteral("Predefined style:"), lstStyles);
  Label1->setObjectName(QStringLiteral("Label1"));
  const int labelWidth = Label1->sizeHint().width();
  Label1->setGeometry(8, 8, labelWidth, 24);
  const int listLeft = 8 + labelWidth + 4;
  lstStyles->setGeometry(listLeft, 8, 176, 24);
  btnSaveStyle = MakeSpeedButton(this, "btnSaveStyle", QStringLiteral("Save current style"),
                                 QStyle::SP_DialogSaveButton);
  btnSaveStyle->setGeometry(listLeft + 180, 8, 24, 24);
  btnDeleteStyle =
      MakeSpeedButton(this, "btnDeleteStyle", QStringLiteral("Delete style"), QStyle::SP_TrashIcon);
  btnDeleteStyle->setGeometry(listLeft + 206, 8, 24, 24);

  lstFilters = new TCheckListBox(this);
  lstFilters->setObjectName(QStringLiteral("lstFilters"));
  lstFilters->setAccessibleName(QStringLiteral("Filters"));
  lstFilters->setGeometry(8, 40, 153, 345);
  lstFilters->setFrameShape(QFrame::Box);
  lstFilters->setBackgroundRole(QPalette::Button);
  lstFilters->viewport()->setBackgroundRole(QPalette::Button);

  pnlOptions = new QWidget(this);
  pnlOptions->setObjectName(QStringLiteral("pnlOptions"));
  pnlOptions->setGeometry(169, 40, 305, 345);
  Memo1 = new QPlainTextEdit(pnlOptions);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setPlainText(QString::fromLatin1(kHelpText));
  Memo1->setGeometry(0, 0, 305, 345);
  Memo1->setFocusPolicy(Qt::NoFocus);
  Memo1->setAccessibleName(QStringLiteral("Layer Style Editor."));
  Memo1->setBackgroundRole(QPalette::Window);
  Memo1->viewport()->setBackgroundRole(QPalette::Window);

  btnOK = MakeControl<QPushButton>(this, "btnOK", QStringLiteral("OK"));
  btnOK->setGeometry(482, 40, 104, 25);
  btnOK->setDefault(true);
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
  btnCancel->setGeometry(482, 71, 104, 25);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Panel);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setLineWidth(1);
  Bevel1->setGeometry(494, 112, 81, 81);
  imgPreview = new TImgView2(Bevel1);
  imgPreview->setObjectName(QStringLiteral("imgPreview"));
  imgPreview->setAccessibleName(QStringLiteral("Style Preview"));
  imgPreview->setFrameShape(QFrame::NoFrame);
  imgPreview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  imgPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  imgPreview->setFocusPolicy(Qt::NoFocus);
  imgPreview->SetFrameIntensity(0);
  imgPreview->setGeometry(1, 1, TLayerStylePreview::OutputSize, TLayerStylePreview::OutputSize);
  imgPreview->SetBitmap(&previewBitmap_);
  // One preview pixel per widget pixel: the square fills its bevel on a
  // high-density screen too.
  connect(imgPreview, &TImgView2::resized, this, [this] { imgPreview->SetScale(imgPreview->PixelRatio()); });

  chkShowLayer = MakeControl<QCheckBox>(this, "chkShowLayer", QStringLiteral("Show layer"));
  chkShowLayer->setGeometry(482, 200, 104, 22);
  chkShowLayer->setToolTip(QStringLiteral("Show the style on the layer itself, at its real size"));
  chkShowLayer->setEnabled(false);

  imgLayerPreview = new TImgView2(this);
  imgLayerPreview->setObjectName(QStringLiteral("imgLayerPreview"));
  imgLayerPreview->setAccessibleName(QStringLiteral("Layer Preview"));
  imgLayerPreview->SetFrameIntensity(0);
  imgLayerPreview->setGeometry(8, kHeight - 8 + 4, kWidth - 16, kLayerPaneHeight - 8);
  imgLayerPreview->SetBitmap(&layerPreview_);
  imgLayerPreview->hide();

  // The new-style panel lies over the top of the dialog while it is open.
  pnlNewStyleName = new QFrame(this);
  pnlNewStyleName->setObjectName(QStringLiteral("pnlNewStyleName"));
  pnlNewStyleName->setFrameShape(QFrame::StyledPanel);
  pnlNewStyleName->setFrameShadow(QFrame::Raised);
  pnlNewStyleName->setAutoFillBackground(true);
  pnlNewStyleName->setGeometry(listLeft, 34, 193, 121);
  auto* caption = new TCaptionBar(QStringLiteral("New Style"), pnlNewStyleName);
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  caption->setGeometry(2, 2, 189, 20);
  txtNewStyleName = new QLineEdit(pnlNewStyleName);
  txtNewStyleName->setObjectName(QStringLiteral("txtNewStyleName"));
  txtNewStyleName->setGeometry(8, 50, 177, 23);
  Label2 = MakeBuddyLabel(pnlNewStyleName, QStringLiteral("New style name:"), txtNewStyleName);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(8, 28, 177, 18);
  btnSaveNewStyle = MakeControl<QPushButton>(pnlNewStyleName, "btnSaveNewStyle", QStringLiteral("OK"));
  btnSaveNewStyle->setGeometry(30, 84, 75, 25);
  btnCancelNewStyle =
      MakeControl<QPushButton>(pnlNewStyleName, "btnCancelNewStyle", QStringLiteral("Cancel"));
  btnCancelNewStyle->setGeometry(110, 84, 75, 25);
  pnlNewStyleName->hide();

  setTabOrder(lstStyles, btnSaveStyle);
  setTabOrder(btnSaveStyle, btnDeleteStyle);
  setTabOrder(btnDeleteStyle, lstFilters);
  setTabOrder(lstFilters, pnlOptions);
  setTabOrder(pnlOptions, btnOK);
  setTabOrder(btnOK, btnCancel);
  setTabOrder(btnCancel, chkShowLayer);
  setTabOrder(chkShowLayer, imgLayerPreview);
  setTabOrder(txtNewStyleName, btnSaveNewStyle);
  setTabOrder(btnSaveNewStyle, btnCancelNewStyle);

  connect(lstStyles, &QComboBox::activated, this, [this](int row) { Call([&] { lstStylesChoose(row); }); });
  connect(lstStyles, &QComboBox::currentIndexChanged, this, [this] { UpdateDeleteButton(); });
  connect(btnSaveStyle, &QToolButton::clicked, this, [this] { Call([&] { btnSaveStyleClick(); }); });
  connect(btnDeleteStyle, &QToolButton::clicked, this, [this] { Call([&] { btnDeleteStyleClick(); }); });
  connect(btnSaveNewStyle, &QPushButton::clicked, this, [this] { Call([&] { btnSaveNewStyleClick(); }); });
  connect(btnCancelNewStyle, &QPushButton::clicked, this, [this] { HideNewStylePanel(); });
  connect(lstFilters, &TCheckListBox::currentRowChanged, this,
          [this](int row) { Call([&] { lstFiltersSelect(row); }); });
  connect(lstFilters, &TCheckListBox::checkClicked, this,
          [this](int row) { Call([&] { lstFiltersCheck(row); }); });
  connect(btnOK, &QPushButton::clicked, this, [this] { Call([&] { btnOKClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(chkShowLayer, &QCheckBox::toggled, this, [this](bool on) { Call([&] { ShowLayerPreview(on); }); });
}

template <class F>
void TfrmFilters::Call(F&& fn) noexcept {
  try {
    fn();
  } catch (const std::exception& e) {
    Tell(QString::fromUtf8(e.what()));
  } catch (...) {
    Tell(QStringLiteral("An unknown error occurred."));
  }
}

void TfrmFilters::Tell(const QString& message) noexcept {
  GuardedCall([&] { tell_(this, QString::fromLatin1(kLayerStyleTitle), message); });
}

void TfrmFilters::SetPrompts(TAsk ask, TTell tell) {
  ask_ = ask ? std::move(ask) : AskWithMessageBox;
  tell_ = tell ? std::move(tell) : TellWithMessageBox;
}

TFilterConfig* TfrmFilters::CurrentFrame() const { return frame_; }

bool TfrmFilters::NewStylePanelShown() const { return pnlNewStyleName->isVisible(); }

// ---- the working copy and the filter list ------------------------------------------

void TfrmFilters::SetStyle(const TFiltersParams& style) {
  model_.SetStyle(style);
  ShowFrame();
  SyncFilterList();
  RefreshPreview();
}

std::optional<TFilterParams> TfrmFilters::FrameParams() const {
  if (!frame_) return std::nullopt;
  return frame_->GetParams();
}

void TfrmFilters::lstFiltersSelect(int row) {
  const std::optional<TFilterParams> frame = FrameParams();
  if (model_.Select(row, frame ? &*frame : nullptr)) ShowFrame();
  SyncFilterList();
  RefreshPreview();
}

void TfrmFilters::lstFiltersCheck(int row) {
  const std::optional<TFilterParams> frame = FrameParams();
  if (model_.Toggle(row, frame ? &*frame : nullptr)) ShowFrame();
  SyncFilterList();
  RefreshPreview();
}

void TfrmFilters::ShowFrame() {
  const std::string kind = model_.CurrentKind();
  if (frame_ && frame_->Kind() == kind) return;
  // No frame sends anything while it goes: its values are stored already.
  if (frame_) {
    frame_->disconnect(this);
    delete frame_;
  }
  frame_ = kind.empty() ? nullptr : CreateFilterConfig(kind, pnlOptions);
  Memo1->setVisible(!frame_);
  if (!frame_) return;
  frame_->move(0, 0);
  frame_->SetParams(model_.Entry(kind));
  connect(frame_, &TFilterConfig::changed, this, [this] { Call([&] { FrameChanged(); }); });
  // Tab goes from the filter list through the frame's fields to OK.
  QWidget* previous = lstFilters;
  for (QWidget* field : frame_->findChildren<QWidget*>()) {
    if (!(field->focusPolicy() & Qt::TabFocus)) continue;
    setTabOrder(previous, field);
    previous = field;
  }
  setTabOrder(previous, btnOK);
  frame_->show();
  model_.StoreFrame(frame_->GetParams());
}

void TfrmFilters::FrameChanged() {
  if (!frame_) return;
  model_.StoreFrame(frame_->GetParams());
  RefreshPreview();
}

void TfrmFilters::SyncFilterList() {
  QSignalBlocker blocker(lstFilters);
  for (int row = 0; row < lstFilters->count(); ++row) lstFilters->SetChecked(row, model_.Checked(row));
  if (lstFilters->currentRow() != model_.CurrentRow()) {
    lstFilters->setCurrentRow(model_.CurrentRow());
    if (model_.CurrentRow() < 0) lstFilters->clearSelection();
  }
}

void TfrmFilters::btnOKClick() {
  if (frame_) model_.StoreFrame(frame_->GetParams());
  accept();
}

// ---- the previews ---------------------------------------------------------------

void TfrmFilters::RefreshPreview() {
  preview_.Update(previewBitmap_, TLayerStylePreview::OutputSize, model_.Style());
  imgPreview->PictureChanged();
  if (imgLayerPreview->isVisible()) RefreshLayerPreview();
}

void TfrmFilters::RefreshLayerPreview() {
  if (!hasLayer_) {
    layerPreview_.SetSize(0, 0);
  } else {
    TStyledLayer styled = RenderStyledLayer(layerSource_, model_.Style(), layerAlpha_);
    layerPreview_ = std::move(styled.Bitmap);
  }
  imgLayerPreview->PictureChanged();
}

void TfrmFilters::SetLayer(const TBaseLayer* layer) {
  hasLayer_ = layer != nullptr;
  if (layer) {
    layerSource_ = layer->SourceBitmap();
    layerAlpha_ = static_cast<uint8_t>(layer->GetMasterAlpha());
  } else {
    layerSource_ = TBitmap32();
  }
  chkShowLayer->setEnabled(hasLayer_);
  ShowLayerPreview(hasLayer_ && chkShowLayer->isChecked());
}

void TfrmFilters::ShowLayerPreview(bool show) {
  const bool was = imgLayerPreview->isVisible();
  imgLayerPreview->setVisible(show);
  setFixedSize(kWidth, show ? kHeight + kLayerPaneHeight : kHeight);
  if (!show) {
    layerPreview_.SetSize(0, 0);
    imgLayerPreview->PictureChanged();
    return;
  }
  RefreshLayerPreview();
  if (!was) imgLayerPreview->ScrollToCenter(layerPreview_.Width() / 2.0, layerPreview_.Height() / 2.0);
}

// ---- the saved styles -------------------------------------------------------------

void TfrmFilters::StylesChanged(void* owner) {
  auto* self = static_cast<TfrmFilters*>(owner);
  self->Call([self] { self->RebuildStyleList(); });
}

void TfrmFilters::RebuildStyleList() {
  const int old = lstStyles->currentIndex();
  const std::vector<std::string> rows = model_.StyleRows();
  {
    // rebuilding the list never applies a style
    QSignalBlocker blocker(lstStyles);
    lstStyles->clear();
    for (const std::string& row : rows) lstStyles->addItem(Q(row));
    lstStyles->setCurrentIndex(TStyleDialogModel::KeptStyleRow(old, lstStyles->count()));
  }
  UpdateDeleteButton();
}

void TfrmFilters::UpdateDeleteButton() {
  btnDeleteStyle->setEnabled(TStyleDialogModel::CanDelete(lstStyles->currentIndex()));
}

void TfrmFilters::lstStylesChoose(int row) {
  if (!model_.ChooseStyle(row, lstStyles->itemText(row).toStdString())) return;
  ShowFrame();
  SyncFilterList();
  RefreshPreview();
}

void TfrmFilters::btnSaveStyleClick() {
  txtNewStyleName->clear();
  pnlNewStyleName->show();
  pnlNewStyleName->raise();
  // Enter now saves the name, Escape closes the panel instead of the dialog
  btnOK->setDefault(false);
  btnSaveNewStyle->setDefault(true);
  txtNewStyleName->setFocus(Qt::OtherFocusReason);
}

void TfrmFilters::HideNewStylePanel() {
  if (!pnlNewStyleName->isVisible()) return;
  HideBalloonTip(txtNewStyleName);
  const bool hadFocus = pnlNewStyleName->isAncestorOf(QApplication::focusWidget());
  pnlNewStyleName->hide();
  btnSaveNewStyle->setDefault(false);
  btnOK->setDefault(true);
  if (hadFocus) btnSaveStyle->setFocus(Qt::OtherFocusReason);
}

void TfrmFilters::btnSaveNewStyleClick() {
  if (frame_) model_.StoreFrame(frame_->GetParams());
  const std::string name = txtNewStyleName->text().toStdString();
  switch (model_.SaveStyle(name)) {
    case TStyleDialogModel::TSaveResult::Refused:
      ShowBalloonTip(txtNewStyleName, TBalloonIcon::Error, QString::fromLatin1(kStyleNameTitle),
                     Q(CheckStyleName(name).value_or(std::string())));
      txtNewStyleName->setFocus(Qt::OtherFocusReason);
      return;
    case TStyleDialogModel::TSaveResult::Exists:
      if (!ask_(this, QString::fromLatin1(kLayerStyleTitle), Q(StyleExistsQuestion(name)))) {
        // another name, then: the panel stays open with the name ready to change
        txtNewStyleName->setFocus(Qt::OtherFocusReason);
        txtNewStyleName->selectAll();
        return;
      }
      model_.ReplaceStyle(name);
      break;
    case TStyleDialogModel::TSaveResult::Saved:
      break;
  }
  HideNewStylePanel();
  WriteStylesFile();
}

void TfrmFilters::btnDeleteStyleClick() {
  const int row = lstStyles->currentIndex();
  if (!TStyleDialogModel::CanDelete(row)) return;
  const std::string name = lstStyles->itemText(row).toStdString();
  if (!ask_(this, QString::fromLatin1(kLayerStyleTitle), Q(DeleteStyleQuestion(name)))) return;
  model_.DeleteStyle(name);
  WriteStylesFile();
  {
    QSignalBlocker blocker(lstStyles);
    lstStyles->setCurrentIndex(0);
  }
  UpdateDeleteButton();
}

void TfrmFilters::WriteStylesFile() {
  try {
    model_.WriteStylesFile();
  } catch (const std::exception& e) {
    Tell(Q(StylesNotSavedMessage(model_.StylesFile(), e.what())));
  }
}

void TfrmFilters::FocusChanged(QWidget*, QWidget* now) {
  // The panel closes when the focus moves to another control of this
  // dialog; a message box over it (another window) leaves it open.
  if (!now || !pnlNewStyleName->isVisible() || now->window() != this) return;
  if (!pnlNewStyleName->isAncestorOf(now)) HideNewStylePanel();
}

// ---- showing --------------------------------------------------------------------

void TfrmFilters::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    Call([this] {
      HideNewStylePanel();
      {
        QSignalBlocker blocker(lstStyles);
        lstStyles->setCurrentIndex(0);
      }
      UpdateDeleteButton();
      lstFilters->setFocus(Qt::OtherFocusReason);
    });
  }
  QDialog::showEvent(event);
}

void TfrmFilters::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && pnlNewStyleName->isVisible()) {
    event->accept();
    HideNewStylePanel();
    return;
  }
  QDialog::keyPressEvent(event);
}

// ---- the program's dialog ------------------------------------------------------------

TfrmFilters& LayerStyleDialog(QWidget* parent) {
  static QPointer<TfrmFilters> dialog;
  QWidget* owner = parent ? parent->window() : nullptr;
  if (!dialog) dialog = new TfrmFilters(owner);
  if (dialog->parentWidget() != owner) dialog->setParent(owner, dialog->windowFlags());
  return *dialog;
}

std::optional<TFiltersParams> EditLayerStyle(QWidget* parent, const TBaseLayer& layer) {
  TfrmFilters& dialog = LayerStyleDialog(parent);
  dialog.SetStyle(layer.Styles());
  dialog.SetLayer(&layer);
  const int result = dialog.exec();
  dialog.SetLayer(nullptr);
  if (result != QDialog::Accepted) return std::nullopt;
  return dialog.GetStyle();
}

}  // namespace tvx
