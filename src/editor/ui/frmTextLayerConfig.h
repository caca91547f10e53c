#pragma once

#include <functional>
#include <memory>

#include <QDialog>
#include <QString>

class QButtonGroup;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace tvx {

class TColorSelector;
class TTextEditSession;
class TTextLayer;

/// "Text Layer Configuration": the text, font, size, colour, style and
/// justification of a text layer, with a live preview on the layer itself
/// (see TTextEditSession). OK keeps the edits (the name becomes the text's
/// first line), Cancel puts the layer back as it was.
///
/// The font list holds the families the text rasteriser draws with their
/// own faces; a layer's font that is not installed stays in the list (as
/// "(not installed)") and stays the layer's font unless another is chosen.
class TfrmTextLayerConfig : public QDialog {
  Q_OBJECT

 public:
  /// Shows an error (the default is a message box).
  using TErrorFunc = std::function<void(QWidget* parent, const QString& text)>;

  explicit TfrmTextLayerConfig(QWidget* parent = nullptr);
  ~TfrmTextLayerConfig() override;

  /// The layer's Configure: edits the layer with the dialog. 1 OK, 2 Cancel.
  int Configure(TTextLayer& layer);
  /// Called after every live rendering with the layer (the editor places it).
  std::function<void(TTextLayer&)> OnPlaced;
  void SetErrorReporter(TErrorFunc report);

  /// Replaces the selected text (or inserts at the caret) with text; the
  /// caret ends after it and the focus returns to the text.
  void InsertMacro(const QString& text);
  /// The layer being edited; null while the dialog is not open.
  TTextLayer* OwnerLayer() const;

  QPlainTextEdit* memText;
  QComboBox* lstFont;
  QComboBox* lstSize;
  TColorSelector* TextColor;
  QToolButton* chkBold;
  QToolButton* chkItalic;
  QToolButton* chkUnderline;
  QToolButton* chkStrikeOut;
  QToolButton* chkLeftJustify;
  QToolButton* chkCenter;
  QToolButton* chkRightJustify;
  QPushButton* btnAddMacros;
  QMenu* mnuMacros;
  QPushButton* btnOK;
  QPushButton* btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void Fill();
  void FillFonts(const std::string& current);
  /// Runs a change of the session; an error the layer cannot render is shown
  /// and the controls go back to what the layer still shows.
  void Change(const std::function<void(TTextEditSession&)>& change);
  void SizeEdited(const QString& text);
  void StyleClicked();

  std::unique_ptr<TTextEditSession> session_;
  QButtonGroup* justification_;
  TErrorFunc report_;
};

}  // namespace tvx
