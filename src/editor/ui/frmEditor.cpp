#include "editor/ui/frmEditor.h"

#include <cmath>
#include <limits>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineF>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/Session.h"
#include "controls/Zoom.h"
#include "controls/ui/AngleSelector.h"
#include "controls/ui/CaptionBar.h"
#include "controls/ui/FormHelpers.h"
#include "controls/ui/ImgView2.h"
#include "controls/ui/NumEdit.h"
#include "controls/ui/UpDown.h"
#include "editor/EditorRules.h"
#include "editor/ui/Navigator.h"
#include "editor/ui/frmBitmapLayerConfig.h"
#include "editor/ui/frmTextLayerConfig.h"
#include "imageio/ui/frmSetupExif.h"
#include "styles/Styles.h"
#include "styles/ui/frmFilters.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkDocument.h"

namespace tvx {
namespace {

constexpr const char* kTitle = "Watermark Editor";
// How far the pointer may travel between press and release for a click.
constexpr double kClickSlop = 3;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The caption as assistive technology reads it: without the mnemonic marker.
QString Plain(const QString& caption) {
  QString text = caption;
  return text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

int AskWithBox(QWidget* parent, const QString& title, const QString& text, int buttons) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::StandardButtons(buttons), parent);
  return box.exec();
}

QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAccessibleName(Plain(caption));
  // Enter in a field must never apply or cancel the whole watermark.
  button->setAutoDefault(false);
  return button;
}

QToolButton* MakeTool(QWidget* parent, const char* objectName, const QString& caption) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setText(caption);
  button->setAccessibleName(caption);
  button->setCheckable(true);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return button;
}

Qt::CursorShape CursorFor(TDragKind kind) {
  switch (kind) {
    case dkMove:
      return Qt::SizeAllCursor;
    case dkLeft:
    case dkRight:
      return Qt::SizeHorCursor;
    case dkTop:
    case dkBottom:
      return Qt::SizeVerCursor;
    case dkTopLeft:
    case dkBottomRight:
      return Qt::SizeFDiagCursor;
    case dkTopRight:
    case dkBottomLeft:
      return Qt::SizeBDiagCursor;
    default:
      return Qt::ArrowCursor;
  }
}

TImgViewMode ViewMode(TEditorMode mode) {
  switch (mode) {
    case TEditorMode::Move:
      return ivmMove;
    case TEditorMode::Resize:
      return ivmEdit;
    default:
      return ivmView;
  }
}

}  // namespace

TfrmEditor::TfrmEditor(TSession& session, QWidget* parent)
    : QDialog(parent), Ask(AskWithBox), session_(session) {
  // The style dialog saves named styles where the session keeps them.
  EditLayerStyle = [&session](QWidget* owner, const TBaseLayer& layer) {
    LayerStyleDialog(owner).SetStylesFolder(session.StylesFolder());
    return tvx::EditLayerStyle(owner, layer);
  };
  setObjectName(QStringLiteral("frmEditor"));
  setWindowTitle(QString::fromLatin1(kTitle));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setSizeGripEnabled(true);

  canvas_ = new TImgView2(this);
  canvas_->setObjectName(QStringLiteral("ImgView"));
  canvas_->setAccessibleName(QStringLiteral("Canvas"));
  canvas_->SetLayers(&model_.Canvas());
  canvas_->installEventFilter(this);
  navigator_ = new TNavigator(*canvas_, this);
  textDialog_ = new TfrmTextLayerConfig(this);
  textDialog_->OnPlaced = [this](TTextLayer& layer) {
    model_.Relocate(layer);
    navigator_->Refresh();
  };
  bitmapDialog_ = new TfrmBitmapLayerConfig(session_.Config(), session_.Plugins(), this);
  // The layers' Configure opens these.
  TTextLayer::ConfigureDialog = [this](TTextLayer& layer) { return textDialog_->Configure(layer); };
  TBitmapLayer::ConfigureDialog = [this](TBitmapLayer& layer) { return bitmapDialog_->Configure(layer); };

  CreateActions();

  chkView = MakeTool(this, "chkView", QStringLiteral("View Image"));
  chkMove = MakeTool(this, "chkMove", QStringLiteral("Move Layer"));
  chkEdit = MakeTool(this, "chkEdit", QStringLiteral("Resize Layer"));
  auto* modes = new QButtonGroup(this);
  for (QToolButton* b : {chkView, chkMove, chkEdit}) modes->addButton(b);
  btnApply2 = MakeButton(this, "btnApply2", QStringLiteral("Apply Transform"));
  btnCancel2 = MakeButton(this, "btnCancel2", QStringLiteral("Rollback Transform"));
  lstZoom = new QComboBox(this);
  lstZoom->setObjectName(QStringLiteral("lstZoom"));
  lstZoom->setEditable(true);
  lstZoom->setInsertPolicy(QComboBox::NoInsert);
  lstZoom->setCompleter(nullptr);
  {
    QSignalBlocker blocker(lstZoom);
    for (const std::string& row : ZoomRows()) lstZoom->addItem(Q(row));
    lstZoom->setCurrentText(QStringLiteral("100%"));
  }
  auto* zoomLabel = MakeBuddyLabel(this, QStringLiteral("Zoom:"), lstZoom);
  lstZoom->lineEdit()->setAccessibleName(QStringLiteral("Zoom:"));

  auto* tools = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{chkView, chkMove, chkEdit}) tools->addWidget(w);
  tools->addSpacing(12);
  tools->addWidget(btnApply2);
  tools->addWidget(btnCancel2);
  tools->addStretch(1);
  tools->addWidget(zoomLabel);
  tools->addWidget(lstZoom);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(CreateLayerPanel());
  splitter->addWidget(canvas_);
  splitter->addWidget(CreateOptionsPanel());
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setStretchFactor(2, 0);
  splitter->setCollapsible(1, false);
  splitter->setSizes({240, 640, 300});

  btnConfirm = MakeButton(this, "btnConfirm", QStringLiteral("&Apply Watermark Changes"));
  btnRollback = MakeButton(this, "btnRollback", QStringLiteral("&Cancel Watermark Changes"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnConfirm);
  buttons->addWidget(btnRollback);

  auto* column = new QVBoxLayout(this);
  column->setMenuBar(mnuMain);
  column->addLayout(tools);
  column->addWidget(splitter, 1);
  column->addLayout(buttons);

  Connect();
  model_.Handles().AskApplyTransform = [this] {
    return Question(QStringLiteral("Layer Transform"),
                    QStringLiteral("Layer has been changed. Apply transformation?"),
                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };
  model_.OnHandlesChanged = [this](bool final) {
    FillCoords();
    if (final) UpdateCommandStates();
  };
  model_.OnTransformModeChanged = [this] { UpdateCommandStates(); };
  // The thumbnail shows what the canvas shows, each time it is painted.
  canvas_->SetBufferHook([this](TBitmap32&) { navigator_->Refresh(); });
  Styles().AddListener(&TfrmEditor::StylesChanged, this);
  RebuildStyleList();
  resize(1180, 780);
  Refresh();
}

TfrmEditor::~TfrmEditor() {
  Styles().RemoveListener(&TfrmEditor::StylesChanged, this);
  TTextLayer::ConfigureDialog = nullptr;
  TBitmapLayer::ConfigureDialog = nullptr;
  // The view (a child, destroyed after the model) must let go of the model's layers first.
  canvas_->SetBufferHook(nullptr);
  canvas_->SetLayers(nullptr);
  canvas_->SetBitmap(nullptr);
  model_.OnHandlesChanged = nullptr;
  model_.OnTransformModeChanged = nullptr;
}

TfrmSetupExif& TfrmEditor::ExifDialog() {
  if (!exifDialog_) exifDialog_ = new TfrmSetupExif(this);
  return *exifDialog_;
}

// ---- building the window -----------------------------------------------------------------

void TfrmEditor::CreateActions() {
  auto make = [this](const char* name, const QString& text, const QList<QKeySequence>& keys = {}) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    return action;
  };
  actApplyWatermark =
      make("actApplyWatermark", QStringLiteral("&Apply Watermark Changes"), {QKeySequence("Ctrl+S")});
  actCancelWatermark = make("actCancelWatermark", QStringLiteral("&Cancel Watermark Changes"));
  actCloseWindow = make("actCloseWindow", QStringLiteral("Close Window"));
  actUndo = make("actUndo", QStringLiteral("&Undo"), {QKeySequence("Ctrl+Z")});
  actRedo = make("actRedo", QStringLiteral("&Redo"), {QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
  actNewPictureLayer = make("actNewPictureLayer", QStringLiteral("&Picture Layer"), {QKeySequence("Ctrl+N")});
  actNewTextLayer = make("actNewTextLayer", QStringLiteral("&Text Layer"), {QKeySequence("Ctrl+T")});
  actDuplicateLayer = make("actDuplicateLayer", QStringLiteral("&Duplicate Layer"), {QKeySequence("Ctrl+D")});
  actDeleteLayer = make("actDeleteLayer", QStringLiteral("D&elete Layer"));
  actMoveLayerUp = make("actMoveLayerUp", QStringLiteral("Move Layer &Up"), {QKeySequence("Ctrl+Up")});
  actMoveLayerDown =
      make("actMoveLayerDown", QStringLiteral("Move Layer Do&wn"), {QKeySequence("Ctrl+Down")});
  actLayerConfiguration =
      make("actLayerConfiguration", QStringLiteral("Layer &Configuration"), {QKeySequence("Ctrl+W")});
  actResizeLayer = make("actResizeLayer", QStringLiteral("&Resize Layer"), {QKeySequence("Ctrl+R")});
  actEditLayerStyle = make("actEditLayerStyle", QStringLiteral("Edit Layer Style"));
  actJPEGProperties = make("actJPEGProperties", QStringLiteral("&Set Properties"), {QKeySequence("Ctrl+J")});

  mnuMain = new QMenuBar(this);
  mnuWatermark = mnuMain->addMenu(QStringLiteral("&Watermark"));
  mnuWatermark->addAction(actApplyWatermark);
  mnuWatermark->addAction(actCancelWatermark);
  mnuWatermark->addSeparator();
  mnuWatermark->addAction(actCloseWindow);
  mnuEdit = mnuMain->addMenu(QStringLiteral("&Edit"));
  mnuEdit->addAction(actUndo);
  mnuEdit->addAction(actRedo);
  mnuLayer = mnuMain->addMenu(QStringLiteral("&Layer"));
  mnuNew = mnuLayer->addMenu(QStringLiteral("&New"));
  mnuNew->addAction(actNewPictureLayer);
  mnuNew->addAction(actNewTextLayer);
  mnuLayer->addAction(actDuplicateLayer);
  mnuLayer->addAction(actDeleteLayer);
  mnuLayer->addSeparator();
  mnuLayer->addAction(actMoveLayerUp);
  mnuLayer->addAction(actMoveLayerDown);
  mnuLayer->addSeparator();
  mnuLayer->addAction(actLayerConfiguration);
  mnuLayer->addAction(actResizeLayer);
  mnuLayer->addAction(actEditLayerStyle);
  mnuJPEGProperties = mnuMain->addMenu(QStringLiteral("JPEG Properties"));
  mnuJPEGProperties->addAction(actJPEGProperties);
}

QWidget* TfrmEditor::CreateLayerPanel() {
  auto* panel = new QWidget(this);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 4, 0);
  column->setSpacing(2);
  column->addWidget(new TCaptionBar(QStringLiteral("Layers"), panel));

  tbLayers = new QToolBar(QStringLiteral("Layer commands"), panel);
  tbLayers->setObjectName(QStringLiteral("tbLayers"));
  tbLayers->setAccessibleName(QStringLiteral("Layer commands"));
  tbLayers->setIconSize(QSize(16, 16));
  tbLayers->setToolButtonStyle(Qt::ToolButtonIconOnly);
  // Tool buttons with captions of their own that run the menu commands.
  auto tool = [this](const QString& caption, QAction* command, QStyle::StandardPixmap icon) {
    QAction* action = tbLayers->addAction(style()->standardIcon(icon), caption);
    action->setToolTip(caption);
    connect(action, &QAction::triggered, command, &QAction::trigger);
    connect(command, &QAction::enabledChanged, action, &QAction::setEnabled);
    action->setEnabled(command->isEnabled());
  };
  tool(QStringLiteral("Add Picture Layer"), actNewPictureLayer, QStyle::SP_DialogOpenButton);
  tool(QStringLiteral("Add Text Layer"), actNewTextLayer, QStyle::SP_FileIcon);
  tool(QStringLiteral("Duplicate Layer"), actDuplicateLayer, QStyle::SP_FileLinkIcon);
  tool(QStringLiteral("Delete Layer"), actDeleteLayer, QStyle::SP_TrashIcon);
  tool(QStringLiteral("Move Layer Up"), actMoveLayerUp, QStyle::SP_ArrowUp);
  tool(QStringLiteral("Move Layer Down"), actMoveLayerDown, QStyle::SP_ArrowDown);
  tool(QStringLiteral("Layer Configuration"), actLayerConfiguration, QStyle::SP_FileDialogContentsView);
  column->addWidget(tbLayers);

  lstLayers = new QListWidget(panel);
  lstLayers->setObjectName(QStringLiteral("lstLayers"));
  lstLayers->setAccessibleName(QStringLiteral("Layers"));
  lstLayers->setContextMenuPolicy(Qt::CustomContextMenu);
  lstLayers->setSelectionMode(QAbstractItemView::SingleSelection);
  lstLayers->installEventFilter(this);
  column->addWidget(lstLayers, 1);

  column->addWidget(new TCaptionBar(QStringLiteral("Navigator"), panel));
  column->addWidget(navigator_, 0, Qt::AlignHCenter);
  return panel;
}

QWidget* TfrmEditor::CreateOptionsPanel() {
  scrOptions = new QScrollArea(this);
  scrOptions->setObjectName(QStringLiteral("scrOptions"));
  scrOptions->setWidgetResizable(true);
  scrOptions->setMinimumWidth(280);
  pnlOptions = new QWidget(scrOptions);
  pnlOptions->setObjectName(QStringLiteral("pnlOptions"));
  auto* column = new QVBoxLayout(pnlOptions);

  lblPanelCaption = new QLabel(pnlOptions);
  lblPanelCaption->setObjectName(QStringLiteral("lblPanelCaption"));
  QFont bold = lblPanelCaption->font();
  bold.setBold(true);
  lblPanelCaption->setFont(bold);
  column->addWidget(lblPanelCaption);

  auto numberField = [this](const char* name, bool floats) {
    auto* field = new TNumEdit(pnlOptions);
    field->setObjectName(QString::fromLatin1(name));
    field->SetAcceptFloat(floats);
    return field;
  };
  auto list = [this](const char* name, std::initializer_list<const char*> rows) {
    QComboBox* combo = MakeList(pnlOptions, name, rows);
    combo->setFocusPolicy(Qt::StrongFocus);
    combo->installEventFilter(this);
    return combo;
  };

  auto* placement = new QGroupBox(QStringLiteral("Placement"), pnlOptions);
  placement->setObjectName(QStringLiteral("grpPlacement"));
  auto* grid = new QGridLayout(placement);
  txtXCoord = numberField("txtXCoord", true);
  txtYCoord = numberField("txtYCoord", true);
  lstXUnit = list("lstXUnit", {"px", "%", "% of shorter side"});
  lstYUnit = list("lstYUnit", {"px", "%", "% of shorter side"});
  lstXUnit->setAccessibleName(QStringLiteral("X unit"));
  lstYUnit->setAccessibleName(QStringLiteral("Y unit"));
  lstXUnit->setToolTip(QStringLiteral("X unit"));
  lstYUnit->setToolTip(QStringLiteral("Y unit"));
  lstHAlign = list("lstHAlign", {"left", "right", "center"});
  lstVAlign = list("lstVAlign", {"top", "bottom", "middle"});
  lstTransparency = list("lstTransparency", {});
  lstTransparency->setEditable(true);
  lstTransparency->setInsertPolicy(QComboBox::NoInsert);
  // A typed number is a percentage of its own, not the start of a row.
  lstTransparency->setCompleter(nullptr);
  {
    QSignalBlocker blocker(lstTransparency);
    for (const std::string& row : OpacityRows()) lstTransparency->addItem(Q(row));
  }
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("X:"), txtXCoord), 0, 0);
  grid->addWidget(txtXCoord, 0, 1);
  grid->addWidget(lstXUnit, 0, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Y:"), txtYCoord), 1, 0);
  grid->addWidget(txtYCoord, 1, 1);
  grid->addWidget(lstYUnit, 1, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Horizontal alignment:"), lstHAlign), 2, 0, 1, 2);
  grid->addWidget(lstHAlign, 2, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Vertical alignment:"), lstVAlign), 3, 0, 1, 2);
  grid->addWidget(lstVAlign, 3, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Opacity:"), lstTransparency), 4, 0, 1, 2);
  grid->addWidget(lstTransparency, 4, 2);
  lstTransparency->lineEdit()->setAccessibleName(QStringLiteral("Opacity:"));
  // Fitting the layer to each picture: its size, the pictures it is drawn
  // on, and its turn (degrees, clockwise, as the dial points).
  lstSizeMode = list("lstSizeMode", {"fixed", "% width", "% height", "% shorter side", "% longer side",
                                     "height % shorter side"});
  txtSizePercent = numberField("txtSizePercent", true);
  txtSizePercent->SetMin(0);
  txtSizePercent->SetMax(int32_t(kMaxPanelSizePercent));
  lstOrientation = list("lstOrientation", {"any", "landscape", "portrait"});
  txtAngle = numberField("txtAngle", true);
  txtAngle->SetMin(-360);
  txtAngle->SetMax(360);
  selAngle = new TAngleSelector(placement);
  selAngle->setObjectName(QStringLiteral("selAngle"));
  selAngle->setFixedSize(40, 40);
  selAngle->setAccessibleName(QStringLiteral("Angle dial"));
  selAngle->setToolTip(QStringLiteral("Angle dial"));
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Size:"), lstSizeMode), 5, 0, 1, 2);
  grid->addWidget(lstSizeMode, 5, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Percentage:"), txtSizePercent), 6, 0, 1, 2);
  grid->addWidget(txtSizePercent, 6, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Orientation:"), lstOrientation), 7, 0, 1, 2);
  grid->addWidget(lstOrientation, 7, 2);
  grid->addWidget(MakeBuddyLabel(placement, QStringLiteral("Angle:"), txtAngle), 8, 0);
  grid->addWidget(selAngle, 8, 1);
  grid->addWidget(txtAngle, 8, 2);
  column->addWidget(placement);

  auto* styleGroup = new QGroupBox(QStringLiteral("Layer Style"), pnlOptions);
  styleGroup->setObjectName(QStringLiteral("grpStyle"));
  auto* styleGrid = new QGridLayout(styleGroup);
  lstStyles = list("lstStyles", {});
  btnEditStyle = MakeButton(styleGroup, "btnEditStyle", QStringLiteral("Edit Layer Style"));
  styleGrid->addWidget(MakeBuddyLabel(styleGroup, QStringLiteral("Style:"), lstStyles), 0, 0);
  styleGrid->addWidget(lstStyles, 0, 1);
  styleGrid->addWidget(btnEditStyle, 1, 0, 1, 2);
  column->addWidget(styleGroup);

  auto* tileGroup = new QGroupBox(QStringLiteral("Tiling"), pnlOptions);
  tileGroup->setObjectName(QStringLiteral("grpTile"));
  auto* tileGrid = new QGridLayout(tileGroup);
  chkTile = MakeControl<QCheckBox>(tileGroup, "chkTile", QStringLiteral("Tile"));
  txtXTileOffs = numberField("txtXTileOffs", false);
  txtYTileOffs = numberField("txtYTileOffs", false);
  udXTileOffs = new TUpDown(tileGroup);
  udYTileOffs = new TUpDown(tileGroup);
  for (auto [field, spin] : {std::pair{txtXTileOffs, udXTileOffs}, {txtYTileOffs, udYTileOffs}}) {
    field->SetMin(0);
    field->SetMax(1000);
    spin->SetBuddy(field);
    spin->SetRange(0, 1000);
    field->installEventFilter(this);
  }
  tileGrid->addWidget(chkTile, 0, 0, 1, 3);
  tileGrid->addWidget(MakeBuddyLabel(tileGroup, QStringLiteral("Horizontal gap:"), txtXTileOffs), 1, 0);
  tileGrid->addWidget(txtXTileOffs, 1, 1);
  tileGrid->addWidget(udXTileOffs, 1, 2);
  tileGrid->addWidget(MakeBuddyLabel(tileGroup, QStringLiteral("Vertical gap:"), txtYTileOffs), 2, 0);
  tileGrid->addWidget(txtYTileOffs, 2, 1);
  tileGrid->addWidget(udYTileOffs, 2, 2);
  column->addWidget(tileGroup);

  auto* noiseGroup = new QGroupBox(QStringLiteral("Noise"), pnlOptions);
  noiseGroup->setObjectName(QStringLiteral("grpNoise"));
  auto* noiseGrid = new QGridLayout(noiseGroup);
  chkNoisy = MakeControl<QCheckBox>(noiseGroup, "chkNoisy", QStringLiteral("Add noise"));
  tbNoiseIntensity = new QSlider(Qt::Horizontal, noiseGroup);
  tbNoiseIntensity->setObjectName(QStringLiteral("tbNoiseIntensity"));
  tbNoiseIntensity->setRange(0, 255);
  tbNoiseIntensity->setFocusPolicy(Qt::StrongFocus);
  tbNoiseIntensity->installEventFilter(this);
  noiseGrid->addWidget(chkNoisy, 0, 0, 1, 2);
  noiseGrid->addWidget(MakeBuddyLabel(noiseGroup, QStringLiteral("Intensity:"), tbNoiseIntensity), 1, 0);
  noiseGrid->addWidget(tbNoiseIntensity, 1, 1);
  column->addWidget(noiseGroup);
  column->addStretch(1);

  scrOptions->setWidget(pnlOptions);
  return scrOptions;
}

void TfrmEditor::Connect() {
  auto command = [this](QAction* action, void (TfrmEditor::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] { GuardedCall([&] { (this->*handler)(); }); });
  };
  command(actApplyWatermark, &TfrmEditor::actApplyWatermarkExecute);
  command(actCancelWatermark, &TfrmEditor::actCancelWatermarkExecute);
  command(actCloseWindow, &TfrmEditor::actCloseWindowExecute);
  command(actUndo, &TfrmEditor::actUndoExecute);
  command(actRedo, &TfrmEditor::actRedoExecute);
  command(actNewPictureLayer, &TfrmEditor::actNewPictureLayerExecute);
  command(actNewTextLayer, &TfrmEditor::actNewTextLayerExecute);
  command(actDuplicateLayer, &TfrmEditor::actDuplicateLayerExecute);
  command(actDeleteLayer, &TfrmEditor::actDeleteLayerExecute);
  command(actMoveLayerUp, &TfrmEditor::actMoveLayerUpExecute);
  command(actMoveLayerDown, &TfrmEditor::actMoveLayerDownExecute);
  command(actLayerConfiguration, &TfrmEditor::actLayerConfigurationExecute);
  command(actResizeLayer, &TfrmEditor::actResizeLayerExecute);
  command(actEditLayerStyle, &TfrmEditor::actEditLayerStyleExecute);
  command(actJPEGProperties, &TfrmEditor::actJPEGPropertiesExecute);
  auto click = [this](QAbstractButton* button, auto handler) {
    connect(button, &QAbstractButton::clicked, this, [this, handler] { GuardedCall([&] { handler(); }); });
  };
  click(chkView, [this] { SetMode(TEditorMode::View); });
  click(chkMove, [this] { SetMode(TEditorMode::Move); });
  click(chkEdit, [this] { SetMode(TEditorMode::Resize); });
  click(btnApply2, [this] { btnApply2Click(); });
  click(btnCancel2, [this] { btnCancel2Click(); });
  click(btnConfirm, [this] { actApplyWatermark->trigger(); });
  click(btnRollback, [this] { actCancelWatermark->trigger(); });
  click(btnEditStyle, [this] { actEditLayerStyle->trigger(); });

  connect(lstZoom, &QComboBox::textActivated, this, [this] { GuardedCall([this] { ApplyZoom(); }); });
  connect(lstZoom->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { GuardedCall([this] { ApplyZoom(); }); });
  connect(canvas_, &TImgView2::resized, this, [this] {
    if (lstZoom->currentText() == QLatin1String(kFitToView)) GuardedCall([this] { ApplyZoom(); });
  });
  connect(canvas_, &TImgView2::scrolled, navigator_, &TNavigator::Refresh);
  connect(canvas_, &TImgView2::scaleChanged, navigator_, &TNavigator::Refresh);
  connect(canvas_, &TImgView2::mousePressed, this,
          [this](const TViewMouseEvent& e) { GuardedCall([&] { CanvasPressed(e); }); });
  connect(canvas_, &TImgView2::mouseMoved, this,
          [this](const TViewMouseEvent& e) { GuardedCall([&] { CanvasMoved(e); }); });
  connect(canvas_, &TImgView2::mouseReleased, this,
          [this](const TViewMouseEvent& e) { GuardedCall([&] { CanvasReleased(e); }); });
  connect(canvas_, &TImgView2::mouseDoubleClicked, this,
          [this](const TViewMouseEvent& e) { GuardedCall([&] { CanvasDoubleClicked(e); }); });

  connect(lstLayers, &QListWidget::currentRowChanged, this, [this](int row) {
    if (filling_) return;
    GuardedCall([&] {
      model_.Select(row);
      FillPanel(true);
      UpdateCommandStates();
    });
  });
  connect(lstLayers, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (filling_) return;
    GuardedCall([&] {
      model_.SetLayerVisible(lstLayers->row(item), item->checkState() == Qt::Checked);
      Refresh();
    });
  });
  connect(lstLayers, &QListWidget::itemDoubleClicked, this, [this] { actLayerConfiguration->trigger(); });
  connect(lstLayers, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { GuardedCall([&] { LayerListMenu(at); }); });

  for (auto [field, vertical] : {std::pair{txtXCoord, false}, {txtYCoord, true}}) {
    connect(field, &TNumEdit::changed, this,
            [this, vertical] { GuardedCall([&] { CoordEdited(vertical); }); });
    connect(field, &QLineEdit::editingFinished, this,
            [this, vertical] { GuardedCall([&] { CoordFinished(vertical); }); });
  }
  auto listChanged = [this](QComboBox* combo, auto handler) {
    connect(combo, &QComboBox::currentIndexChanged, this, [this, handler](int index) {
      if (filling_ || index < 0) return;
      GuardedCall([&] {
        handler(index);
        FillCoords();
        UpdateCommandStates();
      });
    });
  };
  listChanged(lstXUnit, [this](int i) { model_.SetUnit(false, uint8_t(i)); });
  listChanged(lstYUnit, [this](int i) { model_.SetUnit(true, uint8_t(i)); });
  listChanged(lstHAlign, [this](int i) { model_.SetAlign(false, uint8_t(i)); });
  listChanged(lstVAlign, [this](int i) { model_.SetAlign(true, uint8_t(i)); });
  listChanged(lstSizeMode, [this](int i) {
    model_.SetSizeMode(uint8_t(i));
    txtSizePercent->setEnabled(i != lsFixed);
  });
  listChanged(lstOrientation, [this](int i) { model_.SetOrientation(uint8_t(i)); });
  connect(txtSizePercent, &TNumEdit::changed, this, [this] {
    if (filling_) return;
    GuardedCall([&] {
      // An empty or zero field while typing leaves the size as it is.
      const double percent = txtSizePercent->GetFloatValue();
      if (percent > 0) model_.SetSizePercent(percent);
      UpdateCommandStates();
    });
  });
  connect(txtSizePercent, &QLineEdit::editingFinished, this, [this] {
    GuardedCall([&] {
      model_.CloseMerge();
      FillFitting();
    });
  });
  connect(txtAngle, &TNumEdit::changed, this, [this] {
    if (filling_) return;
    GuardedCall([&] {
      model_.SetAngle(txtAngle->GetFloatValue());
      QSignalBlocker blocker(selAngle);
      if (const TBaseLayer* layer = model_.SelectedLayer())
        selAngle->SetAngle(float(DegreesToRadians(layer->Angle)));
      UpdateCommandStates();
    });
  });
  connect(txtAngle, &QLineEdit::editingFinished, this, [this] {
    GuardedCall([&] {
      model_.CloseMerge();
      FillFitting();
    });
  });
  connect(selAngle, &TAngleSelector::angleChanged, this, [this](float radians) {
    if (filling_) return;
    GuardedCall([&] {
      // Whole degrees while pointing: the dial is coarser than that anyway.
      model_.SetAngle(std::round(RadiansToDegrees(radians)));
      FillFitting();
      UpdateCommandStates();
    });
  });
  listChanged(lstStyles, [this](int i) {
    // Row 0 ("Custom") is what the layer has; the others replace it.
    if (i >= 1) model_.SetStyles(Styles().GetStyle(S(lstStyles->itemText(i))), "Layer Style");
  });
  connect(lstTransparency, &QComboBox::textActivated, this,
          [this](const QString& text) { GuardedCall([&] { OpacityEdited(text, true); }); });
  connect(lstTransparency->lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString& text) { GuardedCall([&] { OpacityEdited(text, false); }); });
  connect(lstTransparency->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { GuardedCall([&] { OpacityEdited(lstTransparency->currentText(), true); }); });

  connect(chkTile, &QCheckBox::toggled, this, [this](bool on) {
    if (filling_) return;
    GuardedCall([&] {
      model_.SetTile(on);
      UpdateCommandStates();
    });
  });
  for (auto [field, vertical] : {std::pair{txtXTileOffs, false}, {txtYTileOffs, true}}) {
    connect(field, &TNumEdit::changed, this, [this, field = field, vertical = vertical] {
      if (filling_) return;
      GuardedCall([&] {
        model_.SetTileOffset(vertical, field->GetIntValue());
        UpdateCommandStates();
      });
    });
    connect(field, &QLineEdit::editingFinished, this, [this] { model_.CloseMerge(); });
  }
  connect(chkNoisy, &QCheckBox::toggled, this, [this](bool on) {
    if (filling_) return;
    GuardedCall([&] {
      model_.SetNoisy(on);
      UpdateCommandStates();
    });
  });
  connect(tbNoiseIntensity, &QSlider::valueChanged, this, [this](int value) {
    if (filling_) return;
    GuardedCall([&] {
      model_.SetNoiseIntensity(value);
      UpdateCommandStates();
    });
  });
  connect(tbNoiseIntensity, &QSlider::sliderReleased, this, [this] { model_.CloseMerge(); });
}

// ---- showing the session -------------------------------------------------------------------

void TfrmEditor::Refresh(bool resetStyleRow) {
  RebuildLayerList();
  FillPanel(resetStyleRow);
  UpdateCommandStates();
  canvas_->viewport()->update();
  navigator_->Refresh();
}

void TfrmEditor::RebuildLayerList() {
  filling_ = true;
  {
    QSignalBlocker blocker(lstLayers);
    lstLayers->clear();
    for (int32_t i = 0; i < model_.LayerCount(); ++i) {
      const TBaseLayer& layer = model_.Layer(i);
      auto* item = new QListWidgetItem(Q(layer.Name), lstLayers);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(layer.Visible() ? Qt::Checked : Qt::Unchecked);
    }
    lstLayers->setCurrentRow(model_.Selected());
  }
  filling_ = false;
}

void TfrmEditor::FillCoords() {
  const TBaseLayer* layer = model_.SelectedLayer();
  if (!layer) return;
  filling_ = true;
  for (auto [field, value] : {std::pair{txtXCoord, layer->XCoord}, {txtYCoord, layer->YCoord}}) {
    // A field being typed in keeps the user's text while it says the same.
    if (field->hasFocus() && float(field->GetFloatValue()) == value) continue;
    QSignalBlocker blocker(field);
    field->SetValueText(Q(CoordText(value)));
  }
  filling_ = false;
}

void TfrmEditor::FillPanel(bool resetStyleRow) {
  const TPanelState state = model_.PanelState();
  const TBaseLayer* layer = model_.SelectedLayer();
  switch (state) {
    case TPanelState::NoSelection:
      lblPanelCaption->setText(QStringLiteral("No layer selected"));
      break;
    case TPanelState::EmptyLayer:
      lblPanelCaption->setText(QStringLiteral("Layer is empty"));
      break;
    case TPanelState::Layer:
      lblPanelCaption->setText(Q(layer->Name));
      break;
  }
  if (state != TPanelState::Layer) return;
  FillCoords();
  filling_ = true;
  QWidget* controls[] = {lstXUnit,         lstYUnit,    lstHAlign,     lstVAlign,    lstTransparency,
                         lstStyles,        chkTile,     txtXTileOffs,  txtYTileOffs, chkNoisy,
                         tbNoiseIntensity, lstSizeMode, lstOrientation};
  std::vector<std::unique_ptr<QSignalBlocker>> blockers;
  for (QWidget* w : controls) blockers.push_back(std::make_unique<QSignalBlocker>(w));
  SelectRow(lstXUnit, layer->XUnit, 0);
  SelectRow(lstYUnit, layer->YUnit, 0);
  SelectRow(lstHAlign, layer->HAlign, 0);
  SelectRow(lstVAlign, layer->VAlign, 0);
  lstTransparency->setCurrentText(Q(OpacityText(model_.Opacity())));
  if (resetStyleRow) lstStyles->setCurrentIndex(0);
  chkTile->setChecked(layer->Tile);
  txtXTileOffs->SetIntValue(layer->XTileOffs);
  txtYTileOffs->SetIntValue(layer->YTileOffs);
  chkNoisy->setChecked(layer->Noisy);
  tbNoiseIntensity->setValue(int(std::min<uint32_t>(layer->NoiseIntensity, 255)));
  SelectRow(lstSizeMode, layer->SizeMode, 0);
  SelectRow(lstOrientation, layer->Orientation, 0);
  filling_ = false;
  FillFitting();
}

void TfrmEditor::FillFitting() {
  const TBaseLayer* layer = model_.SelectedLayer();
  if (!layer) return;
  filling_ = true;
  txtSizePercent->setEnabled(layer->SizeMode != lsFixed);
  for (auto [field, value] :
       {std::pair{txtSizePercent, double(layer->SizePercent)}, {txtAngle, double(layer->Angle)}}) {
    // A field being typed in keeps the user's text while it says the same.
    if (field->hasFocus() && float(field->GetFloatValue()) == float(value)) continue;
    QSignalBlocker blocker(field);
    field->SetFloatValue(std::round(value * 100) / 100);
  }
  {
    QSignalBlocker blocker(selAngle);
    selAngle->SetAngle(float(DegreesToRadians(layer->Angle)));
  }
  filling_ = false;
}

void TfrmEditor::UpdateCommandStates() {
  const TEditorCommandStates s = model_.CommandStates();
  for (QAction* a : {actApplyWatermark, actCancelWatermark, actNewPictureLayer, actNewTextLayer})
    a->setEnabled(s.WatermarkCommands);
  for (QWidget* w : std::initializer_list<QWidget*>{btnConfirm, btnRollback, lstLayers, tbLayers})
    w->setEnabled(s.WatermarkCommands);
  mnuWatermark->menuAction()->setEnabled(s.WatermarkCommands);
  mnuLayer->menuAction()->setEnabled(s.WatermarkCommands);
  for (QAction* a : {actDuplicateLayer, actDeleteLayer, actLayerConfiguration, actEditLayerStyle})
    a->setEnabled(s.LayerCommands);
  actMoveLayerUp->setEnabled(s.MoveUp);
  actMoveLayerDown->setEnabled(s.MoveDown);
  actResizeLayer->setEnabled(s.Tools && s.WatermarkCommands);
  chkMove->setEnabled(s.Tools);
  chkEdit->setEnabled(s.Tools);
  btnApply2->setEnabled(s.TransformCommands);
  btnCancel2->setEnabled(s.TransformCommands);
  pnlOptions->setEnabled(model_.PanelState() == TPanelState::Layer && s.WatermarkCommands);
  btnEditStyle->setEnabled(s.LayerCommands);

  actUndo->setEnabled(s.Undo);
  actRedo->setEnabled(s.Redo);
  actUndo->setText(s.Undo ? QStringLiteral("&Undo %1").arg(Q(model_.UndoName())) : QStringLiteral("&Undo"));
  actRedo->setText(s.Redo ? QStringLiteral("&Redo %1").arg(Q(model_.RedoName())) : QStringLiteral("&Redo"));

  const TEditorMode mode = model_.Mode();
  for (auto [button, m] : {std::pair{chkView, TEditorMode::View},
                           {chkMove, TEditorMode::Move},
                           {chkEdit, TEditorMode::Resize}}) {
    QSignalBlocker blocker(button);
    button->setChecked(mode == m);
  }
  if (canvas_->Mode() != ViewMode(mode)) canvas_->SetMode(ViewMode(mode));
}

void TfrmEditor::RebuildStyleList() {
  const QString current = lstStyles->currentText();
  std::vector<std::string> names;
  Styles().GetNames(names);
  QSignalBlocker blocker(lstStyles);
  lstStyles->clear();
  for (const std::string& name : names) lstStyles->addItem(Q(name));
  const int row = lstStyles->findText(current);
  lstStyles->setCurrentIndex(row >= 0 ? row : 0);
}

void TfrmEditor::StylesChanged(void* owner) {
  auto* editor = static_cast<TfrmEditor*>(owner);
  GuardedCall([editor] { editor->RebuildStyleList(); });
}

// ---- the session --------------------------------------------------------------------------------

int TfrmEditor::Edit(TWatermarkDocument& document, const TBitmap32& picture, bool newWatermark) {
  document_ = &document;
  newWatermark_ = newWatermark;
  closing_ = false;
  dragging_ = false;
  clickPending_ = false;
  struct TEnd {
    TfrmEditor* Editor;
    ~TEnd() {
      // Whatever happened, nothing of the session stays in the window.
      GuardedCall([this] {
        if (Editor->isVisible()) Editor->hide();
        Editor->model_.Close();
        Editor->canvas_->SetBitmap(nullptr);
        Editor->navigator_->SetPicture(nullptr);
        Editor->document_ = nullptr;
        Editor->Refresh();
      });
    }
  } end{this};

  // On screen first: a stand-in picture takes its size from the canvas as laid out.
  setWindowModality(Qt::ApplicationModal);
  show();
  TBitmap32 canvasPicture;
  if (picture.Empty()) {
    const QSize area = canvas_->viewport()->size() * canvas_->devicePixelRatioF();
    canvasPicture = TEditorDocument::WhiteCanvas(area.width() * 2 / 3, area.height() * 2 / 3);
  } else {
    canvasPicture = picture;
  }
  const TLayerCollection none;
  const Watermark::TWatermarkExif fresh;
  model_.Open(newWatermark ? none : document.Layers(), newWatermark ? fresh : document.Exif(),
              std::move(canvasPicture), &session_.PictureParameters(), picture.Empty());
  canvas_->SetBitmap(&model_.Picture());
  navigator_->SetPicture(&model_.Picture());
  scrOptions->verticalScrollBar()->setValue(0);
  Refresh();
  ApplyZoom();
  const int result = exec();
  return result == erOK ? erOK : result == erCancel ? erCancel : erAbort;
}

void TfrmEditor::actApplyWatermarkExecute() {
  if (!document_ || model_.Mode() == TEditorMode::Resize) return;
  model_.HandBack(*document_, newWatermark_);
  closing_ = true;
  done(erOK);
}

void TfrmEditor::actCancelWatermarkExecute() {
  if (model_.Mode() == TEditorMode::Resize) return;
  closing_ = true;
  done(erCancel);
}

void TfrmEditor::actCloseWindowExecute() { CloseRequested(); }

void TfrmEditor::CloseRequested() {
  if (closing_ || !isVisible()) return;
  SetMode(TEditorMode::View);  // a pending stretch is asked about first
  if (!model_.Modified()) {
    closing_ = true;
    done(erAbort);
    return;
  }
  const int answer = Question(QString::fromLatin1(kTitle), QStringLiteral("Apply watermark changes?"),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Yes)
    actApplyWatermarkExecute();
  else if (answer == QMessageBox::No)
    actCancelWatermarkExecute();
}

int TfrmEditor::Question(const QString& title, const QString& text, int buttons) {
  return Ask ? Ask(this, title, text, buttons) : AskWithBox(this, title, text, buttons);
}

void TfrmEditor::closeEvent(QCloseEvent* event) {
  event->ignore();
  GuardedCall([this] { CloseRequested(); });
}

void TfrmEditor::reject() {
  GuardedCall([this] { CloseRequested(); });
}

// ---- commands -------------------------------------------------------------------------------------

void TfrmEditor::SetMode(TEditorMode mode) {
  dragging_ = false;
  model_.SetMode(mode);
  Refresh();
}

void TfrmEditor::ApplyZoom() {
  const QString text = lstZoom->currentText();
  if (text == QLatin1String(kFitToView)) {
    if (model_.Picture().Empty()) return;
    if (auto scale = canvas_->FitToViewScale()) canvas_->SetScale(*scale);
  } else {
    canvas_->SetScale(ZoomTextScale(S(text)));
  }
  navigator_->Refresh();
}

void TfrmEditor::NewLayer(bool text) {
  TBaseLayer& layer = model_.BeginNewLayer(text);
  bool keep = false;
  try {
    keep = layer.Configure() != 2;
  } catch (...) {
    model_.EndNewLayer(layer, false);
    Refresh();
    throw;
  }
  model_.EndNewLayer(layer, keep);
  Refresh();
}

void TfrmEditor::actNewPictureLayerExecute() { NewLayer(false); }

void TfrmEditor::actNewTextLayerExecute() { NewLayer(true); }

void TfrmEditor::actDuplicateLayerExecute() {
  if (model_.Selected() < 0) return;
  model_.DuplicateLayer(model_.Selected());
  Refresh();
}

void TfrmEditor::actDeleteLayerExecute() {
  if (model_.Selected() < 0) return;
  model_.DeleteLayer(model_.Selected());
  Refresh();
}

void TfrmEditor::actMoveLayerUpExecute() {
  if (model_.Selected() < 0) return;
  model_.MoveLayer(model_.Selected(), -1);
  Refresh();
}

void TfrmEditor::actMoveLayerDownExecute() {
  if (model_.Selected() < 0) return;
  model_.MoveLayer(model_.Selected(), 1);
  Refresh();
}

void TfrmEditor::ConfigureLayer(TBaseLayer& layer) {
  layer.Configure();
  model_.LayerConfigured(layer);
  Refresh();
}

void TfrmEditor::actLayerConfigurationExecute() {
  if (TBaseLayer* layer = model_.SelectedLayer()) ConfigureLayer(*layer);
}

void TfrmEditor::actResizeLayerExecute() { SetMode(TEditorMode::Resize); }

void TfrmEditor::actEditLayerStyleExecute() {
  TBaseLayer* layer = model_.SelectedLayer();
  if (!layer || !EditLayerStyle) return;
  if (std::optional<TFiltersParams> styles = EditLayerStyle(this, *layer))
    model_.SetStyles(*styles, "Layer Style");
  Refresh();
}

void TfrmEditor::actJPEGPropertiesExecute() {
  Watermark::TWatermarkExif exif = model_.Exif();
  if (ExifDialog().Edit(exif)) model_.SetExif(exif);
  UpdateCommandStates();
}

void TfrmEditor::actUndoExecute() {
  model_.Undo();
  Refresh();
}

void TfrmEditor::actRedoExecute() {
  model_.Redo();
  Refresh();
}

void TfrmEditor::btnApply2Click() {
  model_.ApplyTransform();
  Refresh();
}

void TfrmEditor::btnCancel2Click() {
  model_.RollbackTransform();
  Refresh();
}

// ---- the panel ---------------------------------------------------------------------------------------

void TfrmEditor::CoordEdited(bool vertical) {
  if (filling_) return;
  const TNumEdit* field = vertical ? txtYCoord : txtXCoord;
  model_.SetCoord(vertical, field->GetFloatValue());
  UpdateCommandStates();
}

void TfrmEditor::CoordFinished(bool vertical) {
  model_.CloseMerge();
  const TBaseLayer* layer = model_.SelectedLayer();
  if (!layer) return;
  TNumEdit* field = vertical ? txtYCoord : txtXCoord;
  QSignalBlocker blocker(field);
  field->SetValueText(Q(CoordText(vertical ? layer->YCoord : layer->XCoord)));
}

void TfrmEditor::OpacityEdited(const QString& text, bool finished) {
  if (filling_ || !model_.SelectedLayer()) return;
  const std::optional<int32_t> percent = ParseOpacityText(S(text));
  if (percent) model_.SetOpacity(*percent);
  if (finished) model_.CloseMerge();
  // The field says what the layer has, the caret where it was.
  const QString shown = Q(OpacityText(model_.Opacity()));
  if ((percent || finished) && shown != lstTransparency->currentText()) {
    QLineEdit* edit = lstTransparency->lineEdit();
    const int caret = edit->cursorPosition();
    QSignalBlocker blocker(lstTransparency);
    QSignalBlocker editBlocker(edit);
    edit->setText(shown);
    edit->setCursorPosition(std::min(caret, int(shown.size()) - 1));
  }
  UpdateCommandStates();
}

// ---- the canvas --------------------------------------------------------------------------------------

void TfrmEditor::CanvasPressed(const TViewMouseEvent& e) {
  if (e.Button != Qt::LeftButton) return;
  pressAt_ = e.View;
  clickPending_ = true;
  const TEditorMode mode = model_.Mode();
  if (mode == TEditorMode::View) return;  // the view pans; a click selects on release
  TRubberbandLayer& frame = model_.Handles();
  if (frame.MouseDown(e.View.x(), e.View.y())) {
    dragging_ = true;
    clickPending_ = false;
    return;
  }
  if (mode != TEditorMode::Move) return;
  // Another layer under the pointer: select it and drag it at once.
  const int32_t index = model_.LayerAt(e.Picture.x(), e.Picture.y());
  if (index < 0 || index == model_.Selected()) return;
  model_.Select(index);
  Refresh();
  if (frame.MouseDown(e.View.x(), e.View.y())) {
    dragging_ = true;
    clickPending_ = false;
  }
}

void TfrmEditor::CanvasMoved(const TViewMouseEvent& e) {
  TRubberbandLayer& frame = model_.Handles();
  if (dragging_) {
    if (!(e.Buttons & Qt::LeftButton)) {
      // the release went elsewhere (a dialog was open)
      dragging_ = false;
      frame.MouseUp();
      UpdateCommandStates();
      return;
    }
    frame.MouseMove(e.View.x(), e.View.y(), e.Modifiers & Qt::ShiftModifier,
                    !(e.Modifiers & Qt::AltModifier));
    return;
  }
  if (clickPending_ && QLineF(pressAt_, e.View).length() > kClickSlop * canvas_->PixelRatio())
    clickPending_ = false;
  if (model_.Mode() != TEditorMode::View && !(e.Buttons & Qt::LeftButton))
    canvas_->viewport()->setCursor(CursorFor(frame.HitTest(e.View.x(), e.View.y())));
}

void TfrmEditor::CanvasReleased(const TViewMouseEvent& e) {
  if (e.Button != Qt::LeftButton) return;
  if (dragging_) {
    dragging_ = false;
    model_.Handles().MouseUp();
    FillCoords();
    UpdateCommandStates();
    return;
  }
  if (!clickPending_) return;
  clickPending_ = false;
  if (model_.Mode() == TEditorMode::Resize) return;
  const int32_t index = model_.LayerAt(e.Picture.x(), e.Picture.y());
  if (index < 0 || index == model_.Selected()) return;
  model_.Select(index);
  Refresh();
}

void TfrmEditor::CanvasDoubleClicked(const TViewMouseEvent& e) {
  if (model_.Mode() == TEditorMode::Resize || e.Button != Qt::LeftButton) return;
  const int32_t index = model_.LayerAt(e.Picture.x(), e.Picture.y());
  if (index < 0) return;
  dragging_ = false;
  clickPending_ = false;
  if (index != model_.Selected()) {
    model_.Select(index);
    Refresh();
  }
  ConfigureLayer(model_.Layer(index));
}

void TfrmEditor::LayerListMenu(const QPoint& at) {
  if (!model_.CommandStates().WatermarkCommands) return;
  const int row = lstLayers->indexAt(at).row();
  if (row >= 0 && row != lstLayers->currentRow()) lstLayers->setCurrentRow(row);
  QMenu menu(this);
  QMenu* newMenu = menu.addMenu(QStringLiteral("&New"));
  auto item = [](QMenu* m, const QString& text, QAction* command, bool enabled) {
    QAction* a = m->addAction(text);
    a->setEnabled(enabled && command->isEnabled());
    QObject::connect(a, &QAction::triggered, command, &QAction::trigger);
  };
  item(newMenu, QStringLiteral("&Picture Layer"), actNewPictureLayer, true);
  item(newMenu, QStringLiteral("&Text Layer"), actNewTextLayer, true);
  item(&menu, QStringLiteral("&Duplicate Layer"), actDuplicateLayer, row >= 0);
  item(&menu, QStringLiteral("D&elete Layer"), actDeleteLayer, row >= 0);
  item(&menu, QStringLiteral("Layer &Configuration"), actLayerConfiguration, row >= 0);
  menu.exec(lstLayers->viewport()->mapToGlobal(at));
}

bool TfrmEditor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == lstLayers && key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      actDeleteLayer->trigger();
      return true;
    }
    if (watched == canvas_ && model_.Mode() == TEditorMode::Move && model_.SelectedLayer() &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      const int step = key->modifiers() & Qt::ShiftModifier ? 10 : 1;
      int dx = 0, dy = 0;
      switch (key->key()) {
        case Qt::Key_Left:
          dx = -step;
          break;
        case Qt::Key_Right:
          dx = step;
          break;
        case Qt::Key_Up:
          dy = -step;
          break;
        case Qt::Key_Down:
          dy = step;
          break;
        default:
          break;
      }
      if (dx || dy) {
        GuardedCall([&] {
          model_.Nudge(dx, dy);
          FillCoords();
          UpdateCommandStates();
        });
        return true;
      }
    }
  } else if (event->type() == QEvent::FocusOut && watched == canvas_) {
    model_.CloseMerge();  // a burst of nudges ends
  } else if (event->type() == QEvent::Wheel) {
    // The wheel over the panel scrolls it; a list or slider changes only when focused.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget != canvas_ && !widget->hasFocus() && pnlOptions->isAncestorOf(widget)) {
      QApplication::sendEvent(scrOptions->verticalScrollBar(), event);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tvx
