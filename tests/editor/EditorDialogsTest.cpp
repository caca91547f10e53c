// The layer settings dialogs on the offscreen platform, each on a real layer.

#include <functional>
#include <map>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include "controls/ui/ColorSelector.h"
#include "editor/EditorRules.h"
#include "editor/ui/frmBitmapLayerConfig.h"
#include "editor/ui/frmTextLayerConfig.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "util/Config.h"
#include "util/Guard.h"
#include "util/Paths.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkTestUtil.h"

namespace tvx {
namespace {

std::string Saved(const TBaseLayer& layer) {
  TMemoryStream s;
  layer.SaveToStream(s);
  return test::Bytes(s);
}

// Runs action once the modal dialog shows; rejects it if it is still open afterwards.
void WhenShown(QDialog& dialog, std::function<void()> action) {
  auto* poll = new QTimer(&dialog);
  QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll, action] {
    if (!dialog.isVisible()) return;
    poll->deleteLater();
    action();
    if (dialog.isVisible()) dialog.reject();
  });
  poll->start(1);
}

// Every action of a menu tree by its path ("JPEG Properties (EXIF)/Camera/Model").
void CollectActions(QMenu* menu, const QString& prefix, std::map<QString, QAction*>& out) {
  for (QAction* a : menu->actions()) {
    const QString path = prefix.isEmpty() ? a->text() : prefix + "/" + a->text();
    if (a->menu())
      CollectActions(a->menu(), path, out);
    else
      out[path] = a;
  }
}

}  // namespace

class TEditorDialogsTest : public QObject {
  Q_OBJECT

 private:
  TLayerCollection layers_;
  std::vector<QString> errors_;

  TTextLayer& NewText(const std::string& text) {
    auto& layer = layers_.Add<TTextLayer>();
    layer.Text = text;
    layer.RenderText();
    return layer;
  }

 private slots:
  void init() {
    layers_.Clear();
    errors_.clear();
  }

  // ---- text ----------------------------------------------------------------------------

  void textDialogFillsFromTheLayerWithoutChangingIt() {
    TfrmTextLayerConfig dialog;
    TTextLayer& layer = NewText("Line 1\r\nLine 2");
    layer.Font.Name = "DejaVu Serif";
    layer.Font.Size = 30;
    layer.Font.Bold = true;
    layer.Font.Color = 0x0000FF;
    layer.Justification = tjRight;
    layer.RenderText();
    const std::string before = Saved(layer);
    int result = 0;
    WhenShown(dialog, [&] {
      QCOMPARE(dialog.windowTitle(), QString("Text Layer Configuration"));
      QCOMPARE(dialog.memText->toPlainText(), QString("Line 1\nLine 2"));
      QCOMPARE(dialog.lstFont->currentData().toString(), QString("DejaVu Serif"));
      QCOMPARE(dialog.lstSize->currentText(), QString("30"));
      QCOMPARE(dialog.TextColor->Color(), 0x0000FFu);
      QVERIFY(dialog.chkBold->isChecked());
      QVERIFY(!dialog.chkItalic->isChecked());
      QVERIFY(dialog.chkRightJustify->isChecked());
      QVERIFY(!dialog.chkLeftJustify->isChecked());
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QVERIFY(dialog.memText->hasFocus());
      QCOMPARE(dialog.OwnerLayer(), &layer);
      // the plain text while editing
      QVERIFY(!layer.StylesEnabled());
      dialog.btnOK->click();
    });
    result = dialog.Configure(layer);
    QCOMPARE(result, 1);
    QVERIFY(Saved(layer) != before);  // the name became the first line
    QCOMPARE(layer.Name, std::string("Line 1"));
    QCOMPARE(layer.Text, std::string("Line 1\r\nLine 2"));
    QVERIFY(layer.StylesEnabled());
    QCOMPARE(dialog.OwnerLayer(), nullptr);
  }

  void textDialogSizeField_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("size");
    QTest::newRow("a listed size") << "48"
                                   << "48" << 48;
    QTest::newRow("capped") << "5000"
                            << "2000" << 2000;
    QTest::newRow("sign dropped") << "-30"
                                  << "30" << 30;
    QTest::newRow("0 is refused") << "0"
                                  << "0" << 16;
    QTest::newRow("letters are not a size") << "big"
                                            << "big" << 16;
  }
  void textDialogSizeField() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, size);
    TfrmTextLayerConfig dialog;
    TTextLayer& layer = NewText("Size");
    WhenShown(dialog, [&] {
      dialog.lstSize->lineEdit()->selectAll();
      QTest::keyClicks(dialog.lstSize->lineEdit(), typed);
      QCOMPARE(dialog.lstSize->currentText(), shown);
      QCOMPARE(layer.Font.Size, size);
      dialog.btnOK->click();
    });
    dialog.Configure(layer);
    QCOMPARE(layer.Font.Size, size);
  }

  void aMacroReplacesTheSelectionAndTheCaretFollowsIt() {
    TfrmTextLayerConfig dialog;
    TTextLayer& layer = NewText("Photo by");
    WhenShown(dialog, [&] {
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QTextCursor c = dialog.memText->textCursor();
      c.setPosition(0);
      c.setPosition(5, QTextCursor::KeepAnchor);
      dialog.memText->setTextCursor(c);
      std::map<QString, QAction*> actions;
      CollectActions(dialog.mnuMacros, "", actions);
      actions.at("JPEG Properties (EXIF)/Artist")->trigger();
      QCOMPARE(dialog.memText->toPlainText(), QString("<ARTIST> by"));
      QCOMPARE(dialog.memText->textCursor().position(), 8);
      QVERIFY(dialog.memText->hasFocus());
      dialog.btnOK->click();
    });
    dialog.Configure(layer);
    QCOMPARE(layer.Text, std::string("<ARTIST> by"));
  }

  void everyMacroEntryInsertsItsText() {
    TfrmTextLayerConfig dialog;
    std::map<QString, QAction*> actions;
    CollectActions(dialog.mnuMacros, "", actions);
    QCOMPARE(actions.size(), MacroMenu().size());
    TTextLayer& layer = NewText("x");
    WhenShown(dialog, [&] {
      for (const TMacroMenuEntry& entry : MacroMenu()) {
        QStringList path;
        for (const std::string& p : entry.Path) path << QString::fromStdString(p);
        QAction* action = actions[path.join("/")];
        QVERIFY2(action, qPrintable(path.join("/")));
        dialog.memText->clear();
        action->trigger();
        QCOMPARE(dialog.memText->toPlainText(), QString::fromStdString(entry.Text));
        QCOMPARE(layer.Text, entry.Text);
      }
      dialog.btnCancel->click();
    });
    dialog.Configure(layer);
    QCOMPARE(layer.Text, std::string("x"));
  }

  void cancelPutsBackFontSizeTextAndJustification() {
    TfrmTextLayerConfig dialog;
    TTextLayer& layer = NewText("Keep me");
    layer.Name = "Keep me";
    layer.Justification = tjCentered;
    const std::string before = Saved(layer);
    int placed = 0;
    dialog.OnPlaced = [&](TTextLayer&) { ++placed; };
    WhenShown(dialog, [&] {
      dialog.memText->selectAll();
      QTest::keyClicks(dialog.memText, "Changed");
      dialog.lstFont->setCurrentIndex(dialog.lstFont->findData("DejaVu Serif"));
      dialog.lstSize->lineEdit()->selectAll();
      QTest::keyClicks(dialog.lstSize->lineEdit(), "40");
      dialog.chkLeftJustify->click();
      dialog.chkItalic->click();
      QCOMPARE(layer.Text, std::string("Changed"));
      QCOMPARE(layer.Font.Name, std::string("DejaVu Serif"));
      QVERIFY(layer.Font.Italic);
      QCOMPARE(int(layer.Justification), int(tjLeft));
      dialog.btnCancel->click();
    });
    QCOMPARE(dialog.Configure(layer), 2);
    QVERIFY(Saved(layer) == before);
    QCOMPARE(int(layer.Justification), int(tjCentered));
    QVERIFY(placed > 5);  // every change was shown on the canvas
  }

  void aFontThatIsNotInstalledStaysUnlessAnotherIsChosen() {
    TfrmTextLayerConfig dialog;
    TTextLayer& layer = NewText("Font");
    layer.Font.Name = "No Such Font Tarvex";
    WhenShown(dialog, [&] {
      QCOMPARE(dialog.lstFont->itemText(0), QString("No Such Font Tarvex (not installed)"));
      QCOMPARE(dialog.lstFont->currentIndex(), 0);
      dialog.memText->selectAll();
      QTest::keyClicks(dialog.memText, "Other");
      dialog.btnOK->click();
    });
    dialog.Configure(layer);
    QCOMPARE(layer.Font.Name, std::string("No Such Font Tarvex"));
    WhenShown(dialog, [&] {
      dialog.lstFont->setCurrentIndex(dialog.lstFont->findData("DejaVu Sans"));
      dialog.btnOK->click();
    });
    dialog.Configure(layer);
    QCOMPARE(layer.Font.Name, std::string("DejaVu Sans"));
    // an installed font is listed once, by its own name
    WhenShown(dialog, [&] {
      QCOMPARE(dialog.lstFont->findText("DejaVu Sans (not installed)"), -1);
      QCOMPARE(dialog.lstFont->currentText(), QString("DejaVu Sans"));
      dialog.btnCancel->click();
    });
    dialog.Configure(layer);
  }

  void aTextTooLargeShowsItsErrorAndKeepsTheLastGoodState() {
    TfrmTextLayerConfig dialog;
    dialog.SetErrorReporter([this](QWidget*, const QString& text) { errors_.push_back(text); });
    TTextLayer& layer = NewText("Fine");
    WhenShown(dialog, [&] {
      dialog.lstSize->lineEdit()->selectAll();
      QTest::keyClicks(dialog.lstSize->lineEdit(), "2000");
      dialog.memText->setPlainText(QString(400, 'W'));
      QCOMPARE(errors_.size(), size_t(1));
      QVERIFY(errors_[0].contains("Text too large to render!"));
      QCOMPARE(dialog.memText->toPlainText(), QString("Fine"));
      QCOMPARE(layer.Text, std::string("Fine"));
      dialog.btnOK->click();
    });
    QCOMPARE(dialog.Configure(layer), 1);
    QCOMPARE(layer.Font.Size, 2000);
    QVERIFY(!layer.SourceBitmap().Empty());
  }

  void withoutAnOwnerLayerTheDialogRaisesAndCloses() {
    std::vector<std::string> reported;
    SetUnhandledErrorHandler([&](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        reported.push_back(x.what());
      }
    });
    TfrmTextLayerConfig dialog;
    QTimer::singleShot(2000, &dialog, [&] { dialog.reject(); });
    dialog.exec();
    SetUnhandledErrorHandler(nullptr);
    QCOMPARE(reported.size(), size_t(1));
    QCOMPARE(QString::fromStdString(reported[0]),
             QString("TfrmTextLayerConfig::FormShow::1 - OwnerLayer not set!"));
  }

  // ---- picture ----------------------------------------------------------------------------

  void pictureDialogLoadsTheChosenPicture() {
    test::TTempDir dir;
    TPluginManager plugins(test::BinDir().string());
    TBitmap32 source(20, 10);
    source.Clear(0xFF336699u);
    const std::string file = dir / "logo.png";
    QVERIFY(plugins.SaveBitmap(file, source));
    TConfig config;
    TfrmBitmapLayerConfig dialog(config, plugins);
    QString startedIn;
    dialog.SetBrowser([&](QWidget*, const QString& folder, const QString& filter) {
      startedIn = folder;
      return filter.contains("*.png") ? QString::fromStdString(file) : QString();
    });
    auto& layer = layers_.Add<TBitmapLayer>();
    layer.Tag = 7;
    WhenShown(dialog, [&] {
      QCOMPARE(dialog.windowTitle(), QString("Picture Layer Configuration"));
      QCOMPARE(dialog.lblHint->text(), QString("Enter layer name and select picture file, please."));
      QCOMPARE(dialog.txtLayerName->text(), QString("New Layer 7"));
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QVERIFY(dialog.txtLayerName->hasFocus());
      dialog.btnBrowse->click();
      QCOMPARE(dialog.txtFileName->text(), QString::fromStdString(file));
      dialog.txtLayerName->setText("Logo");
      dialog.btnOK->click();
    });
    QCOMPARE(dialog.Configure(layer), 1);
    QCOMPARE(startedIn, QString::fromStdString(ProgramFolder() + "Sample Watermarks"));
    QCOMPARE(QString::fromStdString(config.ReadString("GlobalOptions", "OpenBitmapLayerInitialDir", "")),
             QString::fromStdString(dir.Path().string() + "/"));
    QCOMPARE(layer.Name, std::string("Logo"));
    QCOMPARE(layer.SourceBitmap().Width(), 20);
    QCOMPARE(layer.RenderedBitmap().Height(), 10);
    // the next browse starts in the folder of the last picture
    WhenShown(dialog, [&] {
      dialog.btnBrowse->click();
      dialog.btnCancel->click();
    });
    dialog.Configure(layer);
    QCOMPARE(startedIn, QString::fromStdString(dir.Path().string() + "/"));
  }

  void aPictureThatFailsToLoadKeepsTheDialogOpenAndTheLayerAsItWas() {
    test::TTempDir dir;
    TPluginManager plugins(test::BinDir().string());
    const std::string bad = dir / "broken.png";
    test::WriteFileBytes(bad, "not a picture at all");
    TConfig config;
    TfrmBitmapLayerConfig dialog(config, plugins);
    dialog.SetErrorReporter([this](QWidget*, const QString& text) { errors_.push_back(text); });
    TBitmapLayer* layer = test::AddPictureLayer(layers_, 4, 3, 0xFF000000u);
    layer->Name = "Old";
    const std::string before = Saved(*layer);
    bool stillOpen = false;
    WhenShown(dialog, [&] {
      dialog.txtLayerName->setText("New name");
      dialog.txtFileName->setText(QString::fromStdString(bad));
      dialog.btnOK->click();
      stillOpen = dialog.isVisible();
      dialog.btnCancel->click();
    });
    QCOMPARE(dialog.Configure(*layer), 2);
    QVERIFY(stillOpen);
    QCOMPARE(errors_.size(), size_t(1));
    QVERIFY(errors_[0].contains("Error while loading"));
    QVERIFY(Saved(*layer) == before);
    QCOMPARE(layer->FileName, std::string());
  }

  void pictureDialogCancelChangesNothing() {
    TPluginManager plugins(test::BinDir().string());
    TConfig config;
    TfrmBitmapLayerConfig dialog(config, plugins);
    TBitmapLayer* layer = test::AddPictureLayer(layers_, 4, 3, 0xFF000000u);
    layer->Name = "Kept";
    WhenShown(dialog, [&] {
      dialog.txtLayerName->setText("Other");
      dialog.txtFileName->setText("");
      dialog.btnCancel->click();
    });
    QCOMPARE(dialog.Configure(*layer), 2);
    QCOMPARE(layer->Name, std::string("Kept"));
    QCOMPARE(layer->SourceBitmap().Width(), 4);
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TEditorDialogsTest)
#include "EditorDialogsTest.moc"
