#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDialog>
#include <QPointer>

#include "raster/Bitmap32.h"
#include "styles/FilterParams.h"
#include "styles/LayerStylePreview.h"
#include "styles/StyleDialogModel.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace tvx {

class TBaseLayer;
class TCheckListBox;
class TFilterConfig;
class TImgView2;

/// "Layer Style": edits a copy of one layer's styles. The filter list
/// checks the enabled filters; selecting a row shows its settings frame,
/// whose every change updates the working copy and the 79 x 79 preview at
/// once. Saved styles can be chosen, saved (the new-style panel) and
/// deleted; the styles file is written after each save and delete. The
/// preview can also show the current layer itself with the style.
///
/// Created once and reused: SetStyle, optionally SetLayer, exec, and on OK
/// GetStyle. The dialog listens to the saved styles for its whole life.
/// No error of the core leaves it: each is shown as a message.
class TfrmFilters : public QDialog {
  Q_OBJECT

 public:
  /// Asks a yes/no question; true for yes. Tests put in one that opens no window.
  using TAsk = std::function<bool(QWidget* parent, const QString& title, const QString& question)>;
  /// Tells the user something went wrong.
  using TTell = std::function<void(QWidget* parent, const QString& title, const QString& message)>;

  explicit TfrmFilters(QWidget* parent = nullptr, TStyles& styles = Styles());
  ~TfrmFilters() override;

  /// The working copy := style; no row selected, the help text shows, the
  /// rows are checked exactly for the style's filters, the preview follows.
  void SetStyle(const TFiltersParams& style);
  /// The working copy.
  TFiltersParams GetStyle() const { return model_.Style(); }
  /// The layer the "Show layer" preview shows, or none (the toggle is then
  /// disabled). Its content is copied; the layer need not outlive the call.
  void SetLayer(const TBaseLayer* layer);
  /// The folder of the styles file; empty: the program's own.
  void SetStylesFolder(const std::string& folder) { model_.SetStylesFolder(folder); }
  /// nullptr restores the message boxes.
  void SetPrompts(TAsk ask, TTell tell);

  const TStyleDialogModel& Model() const { return model_; }
  /// The settings frame shown, or null.
  TFilterConfig* CurrentFrame() const;
  /// What the 79 x 79 preview shows.
  const TBitmap32& PreviewBitmap() const { return previewBitmap_; }
  /// What the layer preview shows (empty without a layer).
  const TBitmap32& LayerPreviewBitmap() const { return layerPreview_; }
  /// Whether the new-style panel is open.
  bool NewStylePanelShown() const;

  QLabel* Label1;
  QComboBox* lstStyles;
  QToolButton* btnSaveStyle;
  QToolButton* btnDeleteStyle;
  TCheckListBox* lstFilters;
  QWidget* pnlOptions;
  QPlainTextEdit* Memo1;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QFrame* Bevel1;
  TImgView2* imgPreview;
  QCheckBox* chkShowLayer;
  TImgView2* imgLayerPreview;
  QFrame* pnlNewStyleName;
  QLabel* Label2;
  QLineEdit* txtNewStyleName;
  QPushButton* btnSaveNewStyle;
  QPushButton* btnCancelNewStyle;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  static void StylesChanged(void* owner);

  void CreateControls();
  /// Runs fn; an error it raises is shown as a message, never passed on.
  template <class F>
  void Call(F&& fn) noexcept;
  void Tell(const QString& message) noexcept;

  void RebuildStyleList();
  void lstStylesChoose(int row);
  void btnSaveStyleClick();
  void btnSaveNewStyleClick();
  void HideNewStylePanel();
  void btnDeleteStyleClick();
  void WriteStylesFile();
  void UpdateDeleteButton();

  void lstFiltersSelect(int row);
  void lstFiltersCheck(int row);
  void btnOKClick();
  /// What the shown frame holds, or nothing without a frame.
  std::optional<TFilterParams> FrameParams() const;
  /// Shows the frame of the current row, or the help text without one.
  void ShowFrame();
  void FrameChanged();
  /// The list's marks and selection as the model has them.
  void SyncFilterList();
  void RefreshPreview();
  void RefreshLayerPreview();
  void ShowLayerPreview(bool show);
  void FocusChanged(QWidget* old, QWidget* now);

  TStyleDialogModel model_;
  QPointer<TFilterConfig> frame_;
  TLayerStylePreview preview_;
  TBitmap32 previewBitmap_;
  bool hasLayer_ = false;
  TBitmap32 layerSource_;
  uint8_t layerAlpha_ = 255;
  TBitmap32 layerPreview_;
  TAsk ask_;
  TTell tell_;
};

/// The program's one layer style dialog, created at the first call and
/// reused; it becomes a child of parent's window at each call (so it is
/// centred on it and goes away with it).
TfrmFilters& LayerStyleDialog(QWidget* parent);

/// "Edit Layer Style" of the watermark editor: shows the dialog for the
/// layer's styles (and the layer in its preview); the edited styles on OK,
/// nothing on Cancel. The layer is not changed.
std::optional<TFiltersParams> EditLayerStyle(QWidget* parent, const TBaseLayer& layer);

}  // namespace tvx
