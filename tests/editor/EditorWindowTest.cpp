// The watermark editor window on the offscreen platform: a real session
// (plug-ins, configuration, styles in a temporary folder), real documents,
// the window driven through its controls and actions.

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/Session.h"
#include "controls/ui/AngleSelector.h"
#include "controls/ui/ImgView2.h"
#include "controls/ui/NumEdit.h"
#include "editor/ui/Navigator.h"
#include "editor/ui/frmBitmapLayerConfig.h"
#include "editor/ui/frmEditor.h"
#include "editor/ui/frmTextLayerConfig.h"
#include "imageio/ui/frmSetupExif.h"
#include "styles/Gradient.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "util/Guard.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"
#include "watermark/WatermarkTestUtil.h"

namespace tvx {
namespace {

std::string Bytes(const TWatermarkDocument& doc) {
  const auto snapshot = doc.Snapshot();
  return std::string(snapshot.Bytes.begin(), snapshot.Bytes.end());
}

// Runs body once the editor shows; an editor still open afterwards is
// closed without applying, so a failing check cannot hang the run.
int RunEditor(TfrmEditor& editor, TWatermarkDocument& doc, const TBitmap32& picture, bool fresh,
              std::function<void()> body, bool activate = true) {
  QTimer::singleShot(0, &editor, [&editor, body, activate] {
    if (activate) {
      editor.activateWindow();
      (void)QTest::qWaitForWindowActive(&editor);
    }
    body();
    if (editor.isVisible()) editor.done(erAbort);
  });
  return editor.Edit(doc, picture, fresh);
}

// Runs action once a modal dialog shows, and rejects it if it is still open later.
void WhenShown(QDialog& dialog, std::function<void()> action) {
  auto* poll = new QTimer(&dialog);
  QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll, action] {
    if (!dialog.isVisible()) return;
    poll->deleteLater();
    action();
  });
  poll->start(1);
  QTimer::singleShot(10000, &dialog, [&dialog] {
    if (dialog.isVisible()) dialog.reject();
  });
}

TBitmap32 Photo(int32_t w, int32_t h) {
  TBitmap32 b(w, h);
  for (int32_t y = 0; y < h; ++y) {
    TColor32* row = b.ScanLine(y);
    for (int32_t x = 0; x < w; ++x)
      row[x] = 0xFF000000u | uint32_t((x * 7) & 255) << 16 | uint32_t((y * 3) & 255) << 8;
  }
  return b;
}

TFiltersParams AllFourStyles() {
  TFiltersParams styles;
  styles.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  styles.Items["Glow"] = TShadowRecord::GlowDefaults().ToParams();
  styles.Items["Gradient"] = TGradRecord::ToParams(TGradient());
  return styles;
}

QPoint ViewToWidget(TImgView2& view, double x, double y) {
  const qreal ratio = view.PixelRatio();
  return QPoint(int(std::lround(x / ratio)), int(std::lround(y / ratio)));
}

// The layer's middle on the canvas, in viewport (widget) coordinates.
QPoint LayerMiddle(TfrmEditor& editor, const TBaseLayer& layer) {
  const TFloatRect r = layer.GetAdjustedLocation();
  return ViewToWidget(editor.Canvas(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

void Drag(QWidget* viewport, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
  QTest::mousePress(viewport, Qt::LeftButton, modifiers, from);
  const QPoint middle = (from + to) / 2;
  QMouseEvent step(QEvent::MouseMove, middle, viewport->mapToGlobal(middle), Qt::NoButton, Qt::LeftButton,
                   modifiers);
  QApplication::sendEvent(viewport, &step);
  QMouseEvent last(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, modifiers);
  QApplication::sendEvent(viewport, &last);
  QTest::mouseRelease(viewport, Qt::LeftButton, modifiers, to);
}

}  // namespace

class TEditorWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TTempDir> dir_;
  std::unique_ptr<TSession> session_;
  std::unique_ptr<TfrmEditor> editor_;
  std::vector<std::string> errors_;
  std::vector<QString> questions_;
  int answer_ = QMessageBox::Cancel;

  TfrmEditor& Editor() { return *editor_; }
  TWatermarkDocument& Doc() { return session_->Document(); }

  // A logo placed from the right in percent and a text layer, as a file holds them.
  void FillDocument() {
    TBitmapLayer* logo = test::AddPictureLayer(Doc().Layers(), 80, 40, 0xC0FF8000);
    logo->Name = "Logo";
    logo->HAlign = haRight;
    logo->XUnit = cuPercent;
    logo->XCoord = 5;
    logo->YCoord = 20;
    auto& text = Doc().Layers().Add<TTextLayer>();
    text.Name = "Caption";
    text.Text = "Caption";
    text.YCoord = 100;
    text.XCoord = 30;
    text.RenderText();
    Doc().Exif().WriteArtist = true;
    Doc().Exif().Artist = "Me";
    Doc().Changed(false);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<test::TTempDir>();
    TSession::TOptions options;
    options.ConfigFileName = *dir_ / ".config";
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir_->Path().string();
    session_ = std::make_unique<TSession>(options);
    editor_ = std::make_unique<TfrmEditor>(*session_);
    errors_.clear();
    questions_.clear();
    SetUnhandledErrorHandler([this](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        errors_.push_back(x.what());
      } catch (...) {
        errors_.push_back("?");
      }
    });
    Editor().Ask = [this](QWidget*, const QString& title, const QString& text, int) {
      questions_.push_back(title + ": " + text);
      return answer_;
    };
    Editor().TextDialog().SetErrorReporter(
        [this](QWidget*, const QString& text) { errors_.push_back(text.toStdString()); });
    Editor().BitmapDialog().SetErrorReporter(
        [this](QWidget*, const QString& text) { errors_.push_back(text.toStdString()); });
    FillDocument();
  }

  void cleanup() {
    QVERIFY2(errors_.empty(), errors_.empty() ? "" : errors_.front().c_str());
    SetUnhandledErrorHandler(nullptr);
    editor_.reset();
    session_.reset();
    dir_.reset();
  }

  // ---- the window and its commands ---------------------------------------------

  void commandsHaveTheirTextsAndShortcuts_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::newRow("apply") << "actApplyWatermark"
                           << "&Apply Watermark Changes"
                           << "Ctrl+S";
    QTest::newRow("cancel") << "actCancelWatermark"
                            << "&Cancel Watermark Changes"
                            << "";
    QTest::newRow("close") << "actCloseWindow"
                           << "Close Window"
                           << "";
    QTest::newRow("picture") << "actNewPictureLayer"
                             << "&Picture Layer"
                             << "Ctrl+N";
    QTest::newRow("text") << "actNewTextLayer"
                          << "&Text Layer"
                          << "Ctrl+T";
    QTest::newRow("duplicate") << "actDuplicateLayer"
                               << "&Duplicate Layer"
                               << "Ctrl+D";
    QTest::newRow("delete") << "actDeleteLayer"
                            << "D&elete Layer"
                            << "";
    QTest::newRow("up") << "actMoveLayerUp"
                        << "Move Layer &Up"
                        << "Ctrl+Up";
    QTest::newRow("down") << "actMoveLayerDown"
                          << "Move Layer Do&wn"
                          << "Ctrl+Down";
    QTest::newRow("configuration") << "actLayerConfiguration"
                                   << "Layer &Configuration"
                                   << "Ctrl+W";
    QTest::newRow("resize") << "actResizeLayer"
                            << "&Resize Layer"
                            << "Ctrl+R";
    QTest::newRow("style") << "actEditLayerStyle"
                           << "Edit Layer Style"
                           << "";
    QTest::newRow("jpeg") << "actJPEGProperties"
                          << "&Set Properties"
                          << "Ctrl+J";
    QTest::newRow("undo") << "actUndo"
                          << "&Undo"
                          << "Ctrl+Z";
    QTest::newRow("redo") << "actRedo"
                          << "&Redo"
                          << "Ctrl+Shift+Z";
  }
  void commandsHaveTheirTextsAndShortcuts() {
    QFETCH(QString, action);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    auto* a = Editor().findChild<QAction*>(action);
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->shortcut().toString(), shortcut);
    QCOMPARE(Editor().windowTitle(), QString("Watermark Editor"));
  }

  void everyCaptionNamesItsControl() {
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      QCOMPARE(Editor().Canvas().accessibleName(), QString("Canvas"));
      QCOMPARE(Editor().lstLayers->accessibleName(), QString("Layers"));
      auto exposed = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
      };
      int labelled = 0;
      for (QLabel* label : Editor().findChildren<QLabel*>()) {
        if (!label->buddy()) continue;
        // Qt exposes a list by its current row; its name is still the caption
        if (qobject_cast<QComboBox*>(label->buddy()))
          QCOMPARE(label->buddy()->accessibleName(), label->text().remove('&'));
        else
          QCOMPARE(exposed(label->buddy()), label->text().remove('&'));
        ++labelled;
      }
      QVERIFY(labelled >= 10);
      for (QAbstractButton* button : Editor().findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty() || !button->isVisibleTo(&Editor())) continue;
        QCOMPARE(exposed(button), button->text().remove('&'));
      }
    });
  }

  void opensOnCopiesAndCancelLeavesTheWatermarkAsItWas() {
    const std::string before = Bytes(Doc());
    const int result = RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      QCOMPARE(Editor().lstLayers->count(), 2);
      QCOMPARE(Editor().lstLayers->item(0)->text(), QString("Logo"));
      QCOMPARE(Editor().lstLayers->currentRow(), 1);
      // a white stand-in canvas, two thirds of the canvas control
      const TBitmap32& canvas = Editor().Model().Picture();
      QVERIFY(!canvas.Empty());
      QCOMPARE(canvas.Pixel(0, 0), 0xFFFFFFFFu);
      QCOMPARE(canvas.Width(),
               int(Editor().Canvas().viewport()->width() * Editor().Canvas().PixelRatio()) * 2 / 3);
      Editor().lstLayers->setCurrentRow(0);
      Editor().Model().SetOpacity(10);
      Editor().actDeleteLayer->trigger();
      Editor().actCancelWatermark->trigger();
    });
    QCOMPARE(result, int(erCancel));
    QVERIFY(Bytes(Doc()) == before);
    QCOMPARE(Editor().Model().LayerCount(), 0);
  }

  void applyHandsTheLayersBack() {
    const int result = RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      Editor().lstLayers->setCurrentRow(0);
      Editor().lstTransparency->setFocus();
      Editor().lstTransparency->lineEdit()->selectAll();
      QTest::keyClicks(Editor().lstTransparency->lineEdit(), "150");
      QCOMPARE(Editor().lstTransparency->currentText(), QString("100%"));
      QTest::keyClick(Editor().lstTransparency->lineEdit(), Qt::Key_Backspace);
      QTest::keyClick(Editor().lstTransparency->lineEdit(), Qt::Key_Backspace);
      QTest::keyClick(Editor().lstTransparency->lineEdit(), Qt::Key_Backspace);
      QTest::keyClicks(Editor().lstTransparency->lineEdit(), "33");
      QTest::keyClick(&Editor(), Qt::Key_S, Qt::ControlModifier);
    });
    QCOMPARE(result, int(erOK));
    auto& logo = static_cast<TBaseLayer&>(Doc().Layers().Items(0));
    QCOMPARE(logo.GetMasterAlpha(), 84);  // 33 %
    QCOMPARE(Doc().Layers().Count(), 2);
  }

  void closingAsksOnlyAfterChanges_data() {
    QTest::addColumn<bool>("change");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("nothing changed: no question")
        << false << int(QMessageBox::Cancel) << int(erAbort) << false << false;
    QTest::newRow("Yes applies") << true << int(QMessageBox::Yes) << int(erOK) << true << false;
    QTest::newRow("No cancels") << true << int(QMessageBox::No) << int(erCancel) << false << false;
    QTest::newRow("Cancel keeps the window")
        << true << int(QMessageBox::Cancel) << int(erAbort) << false << true;
  }
  void closingAsksOnlyAfterChanges() {
    QFETCH(bool, change);
    QFETCH(int, answer);
    QFETCH(int, result);
    QFETCH(bool, applied);
    QFETCH(bool, stillOpen);
    answer_ = answer;
    const std::string before = Bytes(Doc());
    bool open = false;
    const int got = RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      if (change) Editor().actDuplicateLayer->trigger();
      Editor().close();  // the close box
      open = Editor().isVisible();
    });
    QCOMPARE(open, stillOpen);
    QCOMPARE(got, result);
    QCOMPARE(questions_.size(), size_t(change ? 1 : 0));
    if (change) QCOMPARE(questions_[0], QString("Watermark Editor: Apply watermark changes?"));
    QCOMPARE(Bytes(Doc()) != before, applied);
    QCOMPARE(Doc().Layers().Count(), applied ? 3 : 2);
  }

  void aJpegPropertiesChangeCountsAsAModification() {
    answer_ = QMessageBox::No;
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      WhenShown(Editor().ExifDialog(), [&] {
        QTest::keyClicks(Editor().ExifDialog().txtTitle, "Holiday");
        QVERIFY(Editor().ExifDialog().chkTitle->isChecked());
        Editor().ExifDialog().btnOK->click();
      });
      Editor().actJPEGProperties->trigger();
      QVERIFY(Editor().Model().Modified());
      QCOMPARE(Editor().actUndo->text(), QString("&Undo JPEG Properties"));
      Editor().actCloseWindow->trigger();
    });
    QCOMPARE(questions_.size(), size_t(1));
    QVERIFY(!Doc().Exif().WriteTitle);
  }

  void aNewWatermarkCancelledKeepsThePreviousOne() {
    const std::string before = Bytes(Doc());
    RunEditor(Editor(), Doc(), TBitmap32(), true, [&] {
      QCOMPARE(Editor().lstLayers->count(), 0);
      QCOMPARE(Editor().lblPanelCaption->text(), QString("No layer selected"));
      QVERIFY(!Editor().pnlOptions->isEnabled());
      QVERIFY(!Editor().actDuplicateLayer->isEnabled());
      QVERIFY(Editor().actNewTextLayer->isEnabled());
      Editor().actCancelWatermark->trigger();
    });
    QVERIFY(Bytes(Doc()) == before);
  }

  void resizeModeDisablesTheWatermarkCommands() {
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      Editor().chkEdit->click();
      QCOMPARE(Editor().Model().Mode(), TEditorMode::Resize);
      const std::vector<QWidget*> disabled{Editor().btnConfirm, Editor().btnRollback, Editor().lstLayers,
                                           Editor().tbLayers};
      for (QWidget* w : disabled) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
      for (QAction* a : {Editor().actApplyWatermark, Editor().actCancelWatermark, Editor().actNewPictureLayer,
                         Editor().actNewTextLayer, Editor().actDuplicateLayer, Editor().actUndo})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
      QVERIFY(!Editor().mnuLayer->menuAction()->isEnabled());
      QVERIFY(!Editor().mnuWatermark->menuAction()->isEnabled());
      QVERIFY(Editor().btnApply2->isEnabled());
      QVERIFY(Editor().btnCancel2->isEnabled());
      Editor().btnCancel2->click();
      QCOMPARE(Editor().Model().Mode(), TEditorMode::View);
      QVERIFY(Editor().btnConfirm->isEnabled());
      QVERIFY(!Editor().btnApply2->isEnabled());
      Editor().actCancelWatermark->trigger();
    });
  }

  // ---- the canvas --------------------------------------------------------------------------

  void aDragOfNPixelsAtFullSizeMovesTheLayerByN() {
    const TBitmap32 picture = Photo(600, 400);
    RunEditor(Editor(), Doc(), picture, false, [&] {
      Editor().lstZoom->setCurrentText("100%");
      Editor().ApplyZoom();
      Editor().lstLayers->setCurrentRow(1);  // the caption, 30 px from the left
      Editor().chkMove->click();
      TBaseLayer& caption = Editor().Model().Layer(1);
      const TFloatRect before = caption.Location();
      QWidget* viewport = Editor().Canvas().viewport();
      const QPoint from = LayerMiddle(Editor(), caption);
      const int ratio = int(Editor().Canvas().PixelRatio());
      // Alt: no snapping, the drag alone decides
      Drag(viewport, from, from + QPoint(38, 12) / ratio, Qt::AltModifier);
      QCOMPARE(caption.Location().Left, before.Left + 38);
      QCOMPARE(caption.Location().Top, before.Top + 12);
      QCOMPARE(caption.XCoord, 30.0f + 38);
      QCOMPARE(Editor().txtXCoord->text(), QString("68.00"));
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Move Layer"));
      // the arrow keys nudge by one picture pixel, with Shift by ten
      Editor().Canvas().setFocus();
      QTest::keyClick(&Editor().Canvas(), Qt::Key_Right);
      QTest::keyClick(&Editor().Canvas(), Qt::Key_Down, Qt::ShiftModifier);
      QCOMPARE(caption.XCoord, 69.0f);
      QCOMPARE(caption.YCoord, 100.0f + 12 + 10);
      QTest::keyClick(&Editor().Canvas(), Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(Editor().Model().Layer(1).XCoord, 68.0f);
      Editor().actUndo->trigger();
      QCOMPARE(Editor().Model().Layer(1).XCoord, 30.0f);
      Editor().actCancelWatermark->trigger();
    });
  }

  void clickingALayerOnTheCanvasSelectsIt() {
    const TBitmap32 picture = Photo(600, 400);
    RunEditor(Editor(), Doc(), picture, false, [&] {
      Editor().lstZoom->setCurrentText("100%");
      Editor().ApplyZoom();
      QCOMPARE(Editor().lstLayers->currentRow(), 1);
      const QPoint logo = LayerMiddle(Editor(), Editor().Model().Layer(0));
      QTest::mouseClick(Editor().Canvas().viewport(), Qt::LeftButton, {}, logo);
      QCOMPARE(Editor().lstLayers->currentRow(), 0);
      QCOMPARE(Editor().lblPanelCaption->text(), QString("Logo"));
      Editor().actCancelWatermark->trigger();
    });
  }

  void aStretchAndApplyTransformGivesTheNewSize() {
    const TBitmap32 picture = Photo(600, 400);
    RunEditor(Editor(), Doc(), picture, false, [&] {
      Editor().lstZoom->setCurrentText("100%");
      Editor().ApplyZoom();
      Editor().lstLayers->setCurrentRow(0);
      Editor().actResizeLayer->trigger();
      TBaseLayer& logo = Editor().Model().Layer(0);
      const TFloatRect r = logo.GetAdjustedLocation();
      const int ratio = int(Editor().Canvas().PixelRatio());
      const QPoint corner = ViewToWidget(Editor().Canvas(), r.Right - 1, r.Bottom - 1);
      // Shift keeps the 2:1 aspect: 40 pixels wider, 20 higher
      Drag(Editor().Canvas().viewport(), corner, corner + QPoint(40, 3) / ratio,
           Qt::ShiftModifier | Qt::AltModifier);
      Editor().btnApply2->click();
      QCOMPARE(logo.SourceBitmap().Width(), 120);
      QCOMPARE(logo.SourceBitmap().Height(), 60);
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Resize Layer"));
      Editor().actApplyWatermark->trigger();
    });
    auto& logo = static_cast<TBaseLayer&>(Doc().Layers().Items(0));
    QCOMPARE(logo.SourceBitmap().Width(), 120);
    // placed from the right: the new coordinate keeps its left edge where it was left
    QCOMPARE(logo.GetLayerRect(600, 400).Left, 600 * 0.95f - 80);
  }

  void leavingAPendingStretchAsksAboutIt_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("width");
    QTest::newRow("Yes applies") << int(QMessageBox::Yes) << 100;
    QTest::newRow("No rolls back") << int(QMessageBox::No) << 80;
  }
  void leavingAPendingStretchAsksAboutIt() {
    QFETCH(int, answer);
    QFETCH(int, width);
    answer_ = answer;
    RunEditor(Editor(), Doc(), Photo(600, 400), false, [&] {
      Editor().lstLayers->setCurrentRow(0);
      Editor().chkEdit->click();
      TBaseLayer& logo = Editor().Model().Layer(0);
      const TFloatRect r = logo.Location();
      Editor().Model().Handles().SetLocation(TFloatRect{r.Left, r.Top, r.Left + 100, r.Bottom});
      Editor().chkView->click();
      QCOMPARE(questions_.size(), size_t(1));
      QCOMPARE(questions_[0], QString("Layer Transform: Layer has been changed. Apply transformation?"));
      QCOMPARE(Editor().Model().Mode(), TEditorMode::View);
      QCOMPARE(logo.SourceBitmap().Width(), width);
      QCOMPARE(Editor().actUndo->isEnabled(), width == 100);
      Editor().actCancelWatermark->trigger();
    });
  }

  void layerListCommandsAndUndo() {
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      Editor().lstLayers->setCurrentRow(0);
      Editor().actDuplicateLayer->trigger();
      QCOMPARE(Editor().lstLayers->count(), 3);
      QCOMPARE(Editor().lstLayers->item(1)->text(), QString("Logo copy"));
      QCOMPARE(Editor().lstLayers->currentRow(), 1);
      QTest::keyClick(Editor().lstLayers, Qt::Key_Down, Qt::ControlModifier);
      QCOMPARE(Editor().lstLayers->item(2)->text(), QString("Logo copy"));
      // a check mark hides the layer
      Editor().lstLayers->item(0)->setCheckState(Qt::Unchecked);
      QVERIFY(!Editor().Model().Layer(0).Visible());
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Hide Layer"));
      Editor().lstLayers->setFocus();
      Editor().lstLayers->setCurrentRow(2);
      QTest::keyClick(Editor().lstLayers, Qt::Key_Delete);
      QCOMPARE(Editor().lstLayers->count(), 2);
      for (int i = 0; i < 4; ++i) Editor().actUndo->trigger();
      QCOMPARE(Editor().lstLayers->count(), 2);
      QCOMPARE(Editor().lstLayers->item(1)->text(), QString("Caption"));
      QVERIFY(!Editor().actUndo->isEnabled());
      QCOMPARE(Editor().actRedo->text(), QString("&Redo Duplicate Layer"));
      QVERIFY(!Editor().Model().Modified());
      Editor().actCloseWindow->trigger();
    });
    QVERIFY(questions_.empty());
  }

  void aNewTextLayerThroughItsDialog() {
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      TfrmTextLayerConfig& dialog = Editor().TextDialog();
      // cancelled: no row
      WhenShown(dialog, [&] { dialog.btnCancel->click(); });
      Editor().actNewTextLayer->trigger();
      QCOMPARE(Editor().lstLayers->count(), 2);
      int placed = 0;
      WhenShown(dialog, [&] {
        dialog.memText->selectAll();
        QTest::keyClicks(dialog.memText, "First line");
        QTest::keyClick(dialog.memText, Qt::Key_Return);
        QTest::keyClicks(dialog.memText, "second");
        placed = Editor().Model().Canvas().Count();
        dialog.btnOK->click();
      });
      Editor().actNewTextLayer->trigger();
      QCOMPARE(placed, 4);  // the new layer was on the canvas while the dialog showed
      QCOMPARE(Editor().lstLayers->count(), 3);
      QCOMPARE(Editor().lstLayers->item(2)->text(), QString("First line"));
      auto& text = static_cast<TTextLayer&>(Editor().Model().Layer(2));
      QCOMPARE(text.Text, std::string("First line\r\nsecond"));
      QCOMPARE(text.Tag, 1);  // the cancelled one gave its number back
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Add Text Layer"));
      Editor().actCancelWatermark->trigger();
    });
  }

  void editLayerStyleGoesThroughTheHook() {
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      const TBaseLayer* asked = nullptr;
      Editor().EditLayerStyle = [&](QWidget*, const TBaseLayer& layer) -> std::optional<TFiltersParams> {
        asked = &layer;
        return AllFourStyles();
      };
      Editor().btnEditStyle->click();
      QCOMPARE(asked, &Editor().Model().Layer(1));
      QCOMPARE(Editor().Model().Layer(1).Styles().Items.size(), size_t(4));
      QCOMPARE(Editor().lstStyles->currentIndex(), 0);
      Editor().EditLayerStyle = [](QWidget*, const TBaseLayer&) { return std::optional<TFiltersParams>(); };
      Editor().actEditLayerStyle->trigger();
      QCOMPARE(Editor().Model().Layer(1).Styles().Items.size(), size_t(4));
      Editor().actCancelWatermark->trigger();
    });
  }

  void theStyleListFollowsTheSavedStyles() {
    RunEditor(Editor(), Doc(), TBitmap32(), false, [&] {
      Styles().AddStyle("Shadowed", AllFourStyles());
      QCOMPARE(Editor().lstStyles->count(), 3);
      Editor().lstStyles->setCurrentIndex(2);
      QCOMPARE(Editor().Model().Layer(1).Styles(), AllFourStyles());
      QCOMPARE(Editor().lstStyles->currentText(), QString("Shadowed"));
      // rebuilt: the chosen row stays chosen, and nothing is applied again
      Styles().AddStyle("Another", TFiltersParams());
      QCOMPARE(Editor().lstStyles->currentText(), QString("Shadowed"));
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Layer Style"));
      Editor().lstStyles->setCurrentIndex(1);  // "None"
      QVERIFY(Editor().Model().Layer(1).Styles().Empty());
      Styles().DeleteStyle("Shadowed");
      Styles().DeleteStyle("Another");
      QCOMPARE(Editor().lstStyles->currentText(), QString("None"));
      Editor().actCancelWatermark->trigger();
    });
  }

  void placementFieldsEditTheLayer() {
    RunEditor(Editor(), Doc(), Photo(500, 300), false, [&] {
      Editor().lstLayers->setCurrentRow(1);
      TBaseLayer& caption = Editor().Model().Layer(1);
      QCOMPARE(Editor().txtXCoord->text(), QString("30.00"));
      Editor().txtXCoord->setFocus();
      Editor().txtXCoord->selectAll();
      QTest::keyClicks(Editor().txtXCoord, "12.5");
      QCOMPARE(caption.XCoord, 12.5f);
      QCOMPARE(caption.Location().Left, 12.5f);
      QTest::keyClick(Editor().txtXCoord, Qt::Key_Tab);
      QCOMPARE(Editor().txtXCoord->text(), QString("12.50"));
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Change X"));
      // a new alignment starts from the edge it names
      Editor().lstHAlign->setCurrentIndex(1);
      QCOMPARE(caption.XCoord, 0.0f);
      QCOMPARE(Editor().txtXCoord->text(), QString("0.00"));
      QCOMPARE(caption.Location().Right, 500.0f);
      Editor().chkTile->setChecked(true);
      QVERIFY(caption.Tile);
      Editor().txtXTileOffs->setText("25");
      QCOMPARE(caption.XTileOffs, 25);
      Editor().chkNoisy->setChecked(true);
      Editor().tbNoiseIntensity->setValue(200);
      QVERIFY(caption.Noisy);
      QCOMPARE(caption.NoiseIntensity, 200u);
      // typing in one field was one step
      Editor().actUndo->trigger();
      Editor().actUndo->trigger();
      Editor().actUndo->trigger();
      Editor().actUndo->trigger();
      Editor().actUndo->trigger();
      QCOMPARE(Editor().Model().Layer(1).XCoord, 12.5f);
      Editor().actUndo->trigger();
      QCOMPARE(Editor().Model().Layer(1).XCoord, 30.0f);
      QVERIFY(!Editor().actUndo->isEnabled());
      Editor().actCancelWatermark->trigger();
    });
  }

  void shorterSideEntriesEditTheLayer() {
    RunEditor(Editor(), Doc(), Photo(500, 300), false, [&] {
      Editor().lstLayers->setCurrentRow(0);
      QCOMPARE(Editor().lstXUnit->count(), 3);
      QCOMPARE(Editor().lstXUnit->itemText(cuShorterPercent), QString("% of shorter side"));
      QCOMPARE(Editor().lstYUnit->itemText(cuShorterPercent), QString("% of shorter side"));
      QCOMPARE(Editor().lstSizeMode->itemText(lsShorterHeight), QString("height % shorter side"));
      const uint8_t unit = Editor().Model().Layer(0).XUnit;
      Editor().lstSizeMode->setCurrentIndex(lsShorterHeight);
      QCOMPARE(Editor().Model().Layer(0).SizeMode, uint8_t(lsShorterHeight));
      QCOMPARE(Editor().Model().Layer(0).Location().Height(), 30.0f);  // 10 % of 300
      QVERIFY(Editor().txtSizePercent->isEnabled());
      Editor().lstXUnit->setCurrentIndex(cuShorterPercent);
      QCOMPARE(Editor().Model().Layer(0).XUnit, uint8_t(cuShorterPercent));
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Change Unit"));
      Editor().actUndo->trigger();
      QCOMPARE(Editor().Model().Layer(0).XUnit, unit);
      QCOMPARE(Editor().lstXUnit->currentIndex(), int(unit));
      Editor().actUndo->trigger();
      QCOMPARE(Editor().Model().Layer(0).SizeMode, uint8_t(lsFixed));
      QCOMPARE(Editor().lstSizeMode->currentIndex(), 0);
      Editor().actCancelWatermark->trigger();
    });
  }

  void fittingFieldsEditTheLayer() {
    RunEditor(Editor(), Doc(), Photo(500, 300), false, [&] {
      Editor().lstLayers->setCurrentRow(0);
      TBaseLayer& logo = Editor().Model().Layer(0);
      // the labels name the controls
      QCOMPARE(Editor().lstSizeMode->accessibleName(), QString("Size:"));
      QCOMPARE(Editor().txtSizePercent->accessibleName(), QString("Percentage:"));
      QCOMPARE(Editor().lstOrientation->accessibleName(), QString("Orientation:"));
      QCOMPARE(Editor().txtAngle->accessibleName(), QString("Angle:"));
      QVERIFY(!Editor().txtSizePercent->isEnabled());  // a fixed size has no percentage
      QCOMPARE(Editor().txtSizePercent->text(), QString("10"));
      Editor().lstSizeMode->setCurrentIndex(lsWidth);
      QCOMPARE(logo.SizeMode, uint8_t(lsWidth));
      QVERIFY(Editor().txtSizePercent->isEnabled());
      QCOMPARE(logo.Location().Width(), 50.0f);  // 10 % of 500
      Editor().txtSizePercent->setFocus();
      Editor().txtSizePercent->selectAll();
      QTest::keyClicks(Editor().txtSizePercent, "20");
      QCOMPARE(logo.SizePercent, 20.0f);
      QCOMPARE(logo.Location().Width(), 100.0f);
      QTest::keyClick(Editor().txtSizePercent, Qt::Key_Tab);
      Editor().lstOrientation->setCurrentIndex(loPortrait);
      QCOMPARE(logo.Orientation, uint8_t(loPortrait));
      Editor().txtAngle->setFocus();
      Editor().txtAngle->selectAll();
      QTest::keyClicks(Editor().txtAngle, "90");
      QCOMPARE(logo.Angle, 90.0f);
      // the dial points the way the layer turns: straight down for 90
      QVERIFY(std::abs(Editor().selAngle->Angle() - float(M_PI / 2)) < 1e-4f);
      QTest::keyClick(Editor().txtAngle, Qt::Key_Tab);
      // pointing straight right on the dial is no turn
      const QRect dial = Editor().selAngle->rect();
      QTest::mouseClick(Editor().selAngle, Qt::LeftButton, {}, QPoint(dial.width() - 2, dial.height() / 2));
      QCOMPARE(logo.Angle, 0.0f);
      QCOMPARE(Editor().txtAngle->text(), QString("0"));
      QCOMPARE(Editor().actUndo->text(), QString("&Undo Rotate"));
      // one step each: dial, angle, orientation, percentage, size mode
      for (int i = 0; i < 5; ++i) Editor().actUndo->trigger();
      const TBaseLayer& restored = Editor().Model().Layer(0);  // undo brings back layers of its own
      QCOMPARE(restored.SizeMode, uint8_t(lsFixed));
      QCOMPARE(restored.SizePercent, 10.0f);
      QCOMPARE(restored.Orientation, uint8_t(loBoth));
      QCOMPARE(restored.Angle, 0.0f);
      QCOMPARE(Editor().lstSizeMode->currentIndex(), 0);
      QCOMPARE(Editor().txtAngle->text(), QString("0"));
      QVERIFY(!Editor().actUndo->isEnabled());
      Editor().actCancelWatermark->trigger();
    });
  }

  void theNavigatorScrollsTheCanvas() {
    RunEditor(Editor(), Doc(), Photo(3000, 2000), false, [&] {
      Editor().lstZoom->setCurrentText("100%");
      Editor().ApplyZoom();
      TNavigator& navigator = Editor().Navigator();
      const QRect before = navigator.ViewportRect();
      QVERIFY(!before.isEmpty());
      QVERIFY(before.width() < 200);
      const QPoint target = navigator.rect().center() + QPoint(40, 20);
      QTest::mouseClick(&navigator, Qt::LeftButton, {}, target);
      const QRect after = navigator.ViewportRect();
      QVERIFY(std::abs(after.center().x() - target.x()) <= 2);
      QVERIFY(std::abs(after.center().y() - target.y()) <= 2);
      QCOMPARE(navigator.Model().Scalings(), int64_t(1));
      Editor().lstZoom->setCurrentText("Fit to view");
      Editor().ApplyZoom();
      QCOMPARE(navigator.ViewportRect().size(), QSize(208, 138));
      Editor().actCancelWatermark->trigger();
    });
  }

  // ---- speed -------------------------------------------------------------------------------

  // Five layers over a 24-megapixel picture, the last one a 48-point text
  // (with all four styles when asked).
  TBitmap32 SpeedSetup(bool styledText) {
    Doc().Layers().Clear();
    for (int i = 0; i < 4; ++i) test::AddPictureLayer(Doc().Layers(), 300, 150, 0xC0FF8000 + i);
    auto& text = Doc().Layers().Add<TTextLayer>();
    text.Text = "(c) Studio Tarvex";
    text.Font.Size = 48;
    text.RenderText();
    if (styledText) text.SetStyles(AllFourStyles());
    Editor().resize(1280, 900);
    Editor().lstZoom->setCurrentText("Fit to view");
    return Photo(6000, 4000);
  }

  void speedOfOpening() {
    const TBitmap32 photo = SpeedSetup(true);
    std::vector<qint64> openings;
    for (int i = 0; i < 5; ++i) {
      QElapsedTimer opening;
      opening.start();
      RunEditor(
          Editor(), Doc(), photo, false,
          [&] {
            // Into the window's event loop, then the first paint (which scales
            // the picture) of the canvas and the navigator. Waiting for the
            // window system to show the window is not the editor's time.
            const qint64 toLoop = opening.elapsed();
            QVERIFY(QTest::qWaitForWindowExposed(&Editor()));
            QElapsedTimer paint;
            paint.start();
            Editor().Canvas().PictureChanged();
            Editor().Canvas().viewport()->repaint();
            Editor().Navigator().PictureChanged();
            Editor().Navigator().repaint();
            openings.push_back(toLoop + paint.elapsed());
            Editor().actCancelWatermark->trigger();
          },
          false);
    }
    std::sort(openings.begin(), openings.end());
    const qint64 median = openings[openings.size() / 2];
    qInfo("opening on 24 MP with five layers: %lld ms (median of %zu, fastest %lld, slowest %lld)", median,
          openings.size(), openings.front(), openings.back());
#if !defined(__SANITIZE_ADDRESS__) && defined(NDEBUG)
    // the budget is for a standard screen; a high-density one paints four times the pixels
    if (Editor().Canvas().PixelRatio() == 1) QVERIFY(median < 300);
#endif
  }

  void speedOfDragging_data() {
    QTest::addColumn<bool>("styledText");
    QTest::newRow("picture layer") << false;
    QTest::newRow("48-point text with all four styles") << true;
  }
  void speedOfDragging() {
    QFETCH(bool, styledText);
    const TBitmap32 photo = SpeedSetup(styledText);
    std::vector<qint64> moves;
    RunEditor(
        Editor(), Doc(), photo, false,
        [&] {
          QVERIFY(QTest::qWaitForWindowExposed(&Editor()));
          // the picture layer, or the text
          Editor().lstLayers->setCurrentRow(styledText ? 4 : 0);
          Editor().chkMove->click();
          QWidget* viewport = Editor().Canvas().viewport();
          const QPoint start = LayerMiddle(Editor(), *Editor().Model().SelectedLayer());
          QTest::mousePress(viewport, Qt::LeftButton, {}, start);
          QElapsedTimer timer;
          const TFloatRect before = Editor().Model().SelectedLayer()->Location();
          for (int i = 1; i <= 31; ++i) {
            const QPoint at = start + QPoint(i % 2 ? i : -i, i % 3);
            timer.start();
            // one mouse move as the window system delivers it, and the repaints it causes
            QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             {});
            QApplication::sendEvent(viewport, &move);
            viewport->repaint();
            Editor().Navigator().repaint();
            moves.push_back(timer.nsecsElapsed() / 1000);
          }
          QVERIFY(!(Editor().Model().SelectedLayer()->Location() == before));  // it did move
          QTest::mouseRelease(viewport, Qt::LeftButton, {}, start);
          Editor().actCancelWatermark->trigger();
        },
        false);
    std::sort(moves.begin(), moves.end());
    const qint64 median = moves[moves.size() / 2];
    qInfo("dragging a %s over 24 MP at fit: %.2f ms per move with its repaints (median of %zu, worst %.2f)",
          styledText ? "48 pt text with four styles" : "picture layer", median / 1000.0, moves.size(),
          moves.back() / 1000.0);
#if !defined(__SANITIZE_ADDRESS__) && defined(NDEBUG)
    if (Editor().Canvas().PixelRatio() == 1) QVERIFY(median < (styledText ? 30000 : 16000));
#endif
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TEditorWindowTest)
#include "EditorWindowTest.moc"
