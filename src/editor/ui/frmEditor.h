#pragma once

#include <functional>
#include <optional>

#include <QDialog>
#include <QString>

#include "editor/EditorDocument.h"
#include "styles/FilterParams.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QSlider;
class QToolBar;
class QToolButton;
class QWidget;

namespace tvx {

class TBaseLayer;
class TImgView2;
class TNavigator;
class TNumEdit;
class TSession;
class TUpDown;
class TAngleSelector;
class TWatermarkDocument;
class TfrmBitmapLayerConfig;
class TfrmSetupExif;
class TfrmTextLayerConfig;
struct TViewMouseEvent;

/// What the editor window returns.
enum TEditorResult : int { erOK = 1, erCancel = 2, erAbort = 3 };

/// "Watermark Editor": the window in which the user builds the watermark on
/// a sample picture. A thin window over TEditorDocument, which holds the
/// session: every command and field goes there and the window shows the
/// result. Created once and kept.
class TfrmEditor : public QDialog {
  Q_OBJECT

 public:
  /// Opens the layer style dialog on a layer; the edited styles, or nothing
  /// when cancelled.
  using TStyleEditor = std::function<std::optional<TFiltersParams>(QWidget* parent, const TBaseLayer& layer)>;
  /// Asks a question: title, text and the buttons offered; returns the button pressed.
  using TAskFunc =
      std::function<int(QWidget* parent, const QString& title, const QString& text, int buttons)>;

  TfrmEditor(TSession& session, QWidget* parent = nullptr);
  ~TfrmEditor() override;

  /// Edits document's watermark over picture (the main window's preview
  /// picture; empty: a white canvas of two thirds of the canvas control),
  /// or a new, empty watermark when newWatermark is set. Only Apply changes
  /// document (its layers and EXIF settings, after a reset for a new
  /// watermark); the caller announces the change. Returns erOK after Apply,
  /// erCancel after Cancel and erAbort when closed without either.
  int Edit(TWatermarkDocument& document, const TBitmap32& picture, bool newWatermark);

  /// "Edit Layer Style". The default shows that the dialog is not available.
  TStyleEditor EditLayerStyle;
  /// Questions ("Apply watermark changes?", "Layer Transform"); the default
  /// is a message box. Tests answer without a window.
  TAskFunc Ask;

  TEditorDocument& Model() { return model_; }
  TImgView2& Canvas() { return *canvas_; }
  TNavigator& Navigator() { return *navigator_; }
  TfrmTextLayerConfig& TextDialog() { return *textDialog_; }
  TfrmBitmapLayerConfig& BitmapDialog() { return *bitmapDialog_; }
  TfrmSetupExif& ExifDialog();

  // ---- commands (public for tests) ----
  void actApplyWatermarkExecute();
  void actCancelWatermarkExecute();
  void actCloseWindowExecute();
  void actNewPictureLayerExecute();
  void actNewTextLayerExecute();
  void actDuplicateLayerExecute();
  void actDeleteLayerExecute();
  void actMoveLayerUpExecute();
  void actMoveLayerDownExecute();
  void actLayerConfigurationExecute();
  void actResizeLayerExecute();
  void actEditLayerStyleExecute();
  void actJPEGPropertiesExecute();
  void actUndoExecute();
  void actRedoExecute();
  void btnApply2Click();
  void btnCancel2Click();
  void SetMode(TEditorMode mode);
  /// Applies the zoom list's text ("Fit to view" or a percentage).
  void ApplyZoom();
  /// The size percentage, the angle field and the dial from the selected layer.
  void FillFitting();

  // ---- controls (public for tests) ----
  QMenuBar* mnuMain;
  QMenu* mnuWatermark;
  QMenu* mnuEdit;
  QMenu* mnuLayer;
  QMenu* mnuNew;
  QMenu* mnuJPEGProperties;
  QAction* actApplyWatermark;
  QAction* actCancelWatermark;
  QAction* actCloseWindow;
  QAction* actUndo;
  QAction* actRedo;
  QAction* actNewPictureLayer;
  QAction* actNewTextLayer;
  QAction* actDuplicateLayer;
  QAction* actDeleteLayer;
  QAction* actMoveLayerUp;
  QAction* actMoveLayerDown;
  QAction* actLayerConfiguration;
  QAction* actResizeLayer;
  QAction* actEditLayerStyle;
  QAction* actJPEGProperties;
  QToolButton* chkView;
  QToolButton* chkMove;
  QToolButton* chkEdit;
  QPushButton* btnApply2;
  QPushButton* btnCancel2;
  QComboBox* lstZoom;
  QToolBar* tbLayers;
  QListWidget* lstLayers;
  QMenu* mnuLayersPopup;
  QScrollArea* scrOptions;
  QWidget* pnlOptions;
  QLabel* lblPanelCaption;
  TNumEdit* txtXCoord;
  TNumEdit* txtYCoord;
  QComboBox* lstXUnit;
  QComboBox* lstYUnit;
  QComboBox* lstHAlign;
  QComboBox* lstVAlign;
  QComboBox* lstTransparency;
  QComboBox* lstSizeMode;
  TNumEdit* txtSizePercent;
  QComboBox* lstOrientation;
  TNumEdit* txtAngle;
  TAngleSelector* selAngle;
  QComboBox* lstStyles;
  QPushButton* btnEditStyle;
  QCheckBox* chkTile;
  TNumEdit* txtXTileOffs;
  TNumEdit* txtYTileOffs;
  TUpDown* udXTileOffs;
  TUpDown* udYTileOffs;
  QCheckBox* chkNoisy;
  QSlider* tbNoiseIntensity;
  QPushButton* btnConfirm;
  QPushButton* btnRollback;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  QWidget* CreateLayerPanel();
  QWidget* CreateOptionsPanel();
  void Connect();

  /// After every command: the list, the panel and the command states.
  void Refresh(bool resetStyleRow = true);
  void RebuildLayerList();
  void FillPanel(bool resetStyleRow);
  void FillCoords();
  void UpdateCommandStates();
  void RebuildStyleList();
  static void StylesChanged(void* owner);

  void CloseRequested();
  int Question(const QString& title, const QString& text, int buttons);
  void NewLayer(bool text);
  void ConfigureLayer(TBaseLayer& layer);

  void CanvasPressed(const TViewMouseEvent& e);
  void CanvasMoved(const TViewMouseEvent& e);
  void CanvasReleased(const TViewMouseEvent& e);
  void CanvasDoubleClicked(const TViewMouseEvent& e);
  void LayerListMenu(const QPoint& at);

  void OpacityEdited(const QString& text, bool finished);
  void CoordEdited(bool vertical);
  void CoordFinished(bool vertical);

  TSession& session_;
  TEditorDocument model_;
  TWatermarkDocument* document_ = nullptr;
  bool newWatermark_ = false;
  bool closing_ = false;
  bool filling_ = false;
  bool dragging_ = false;
  bool clickPending_ = false;
  QPointF pressAt_;

  TImgView2* canvas_ = nullptr;
  TNavigator* navigator_ = nullptr;
  TfrmTextLayerConfig* textDialog_ = nullptr;
  TfrmBitmapLayerConfig* bitmapDialog_ = nullptr;
  TfrmSetupExif* exifDialog_ = nullptr;
};

}  // namespace tvx
