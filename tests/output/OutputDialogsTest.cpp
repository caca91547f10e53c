#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include "controls/ui/BalloonTip.h"
#include "controls/ui/NumEdit.h"
#include "imageio/PluginManager.h"
#include "output/ui/frmDestination.h"
#include "output/ui/frmOutputSettings.h"
#include "output/ui/frmResize.h"
#include "output/ui/frmResizeSettings.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "util/Config.h"
#include "util/Guard.h"

namespace tvx {
namespace {

const std::vector<std::string> kRows{"BMP", "JPG", "TIF", "PNG", "GIF"};

QString OnOff(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

// The frame's state in one line, so that a table row can say all of it.
QString Describe(const TfrmDestination& f) {
  QString placement = f.rbPlaceInSourceFolder->isChecked()            ? "overwrite"
                      : f.tbRenameAndPlaceInSourceFolder->isChecked() ? "rename"
                      : f.rbPlaceInOtherFolder->isChecked()           ? "other"
                                                                      : "none";
  return QStringLiteral("%1 folder='%2' %3/%4 %5 remove=%6 %7 keep=%8 %9 %10")
      .arg(placement, f.txtOtherFolder->text(), OnOff(f.txtOtherFolder->isEnabled()),
           OnOff(f.btnBrowseOtherFolder->isEnabled()), f.lstOverwriteExisting->currentText(),
           OnOff(f.chkRemoveOriginalFiles->isChecked()), f.lstDefaultFileFormat->currentText(),
           OnOff(f.chkKeepOriginalFormat->isChecked()), QString::number(f.tbJPEGQuality->value()),
           f.lblJPEGQuality->text());
}

QString Describe(const TfrmResize& f) {
  QString panel = !f.pnlPercentageOfOriginal->isHidden() && f.pnlActualSize->isHidden()   ? "percentage"
                  : f.pnlPercentageOfOriginal->isHidden() && !f.pnlActualSize->isHidden() ? "actual"
                                                                                          : "panels?";
  return QStringLiteral("%1 %2% %3 | %4 %5 x %6 %7 @ %8 %9 | %10 aspect=%11 fit=%12")
      .arg(panel, f.txtPercentage->text(), f.lstApplyTo->currentText(), f.txtWidth->text(),
           f.lstXUnits->currentText(), f.txtHeight->text(), f.lstYUnits->currentText(),
           f.txtResolution->text(), f.lstResolutionUnits->currentText())
      .arg(f.lstResize->currentText(), OnOff(f.chkPreserveAspectRatio->isChecked()),
           f.lstFitWithin->currentText());
}

// "Key=value;Key=value": each must be in the section of the written store.
void ExpectWritten(const TConfig& config, const char* section, const QString& pairs) {
  for (const QString& pair : pairs.split(';', Qt::SkipEmptyParts)) {
    QString key = pair.section('=', 0, 0);
    QString value = pair.section('=', 1);
    QVERIFY2(config.ValueExists(section, key.toStdString()), qPrintable(key + " not written"));
    QCOMPARE(QString::fromStdString(config.ReadString(section, key.toStdString(), "?")), value);
  }
}

// Counts the browser's openings and answers with a chosen folder.
struct TBrowser {
  int opened = 0;
  QString title;
  QString initial;
  QString answer;
  TfrmDestination::TBrowseFunc Func() {
    return [this](QWidget*, const QString& t, const QString& i) {
      ++opened;
      title = t;
      initial = i;
      return answer;
    };
  }
};

}  // namespace

class TOutputDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // --- the destination frame ---

  void destinationInitialState() {
    TfrmDestination frame(kRows);
    QCOMPARE(Describe(frame), QString("rename folder='' off/off Ask remove=off BMP keep=on 80 80%"));
    QCOMPARE(frame.tbJPEGQuality->minimum(), 0);
    QCOMPARE(frame.tbJPEGQuality->maximum(), 100);
    QCOMPARE(frame.tbJPEGQuality->tickInterval(), 10);
    QCOMPARE(frame.tbJPEGQuality->tickPosition(), QSlider::TicksBelow);
    QStringList policies;
    for (int i = 0; i < frame.lstOverwriteExisting->count(); ++i)
      policies << frame.lstOverwriteExisting->itemText(i);
    QCOMPARE(policies, QStringList({"Ask", "Skip", "Replace", "Rename"}));
  }

  void destinationLoadAndSave_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");
    const QString s = "[WatermarkingOptions]\n";
    QTest::newRow("first start: every default")
        << ""
        << "rename folder='' off/off Ask remove=off BMP keep=on 80 80%"
        << "DestFolder=;PlaceInSourceFolder=1;AddWmSuffix=1;DefaultFileFormat=0;KeepOriginalFormat=1;"
           "JPEGQuality=80;OverwriteExisting=0;RemoveOriginalFiles=0";
    QTest::newRow("source folder, overwrite")
        << s + "PlaceInSourceFolder=1\nAddWmSuffix=0\n"
        << "overwrite folder='' off/off Ask remove=off BMP keep=on 80 80%"
        << "PlaceInSourceFolder=1;AddWmSuffix=0";
    QTest::newRow("other folder whatever the suffix says")
        << s + "PlaceInSourceFolder=0\nAddWmSuffix=0\nDestFolder=/out/\n"
        << "other folder='/out/' on/on Ask remove=off BMP keep=on 80 80%"
        << "PlaceInSourceFolder=0;AddWmSuffix=1;DestFolder=/out/";
    QTest::newRow("other folder still to be chosen")
        << s + "PlaceInSourceFolder=0\n"
        << "other folder='' on/on Ask remove=off BMP keep=on 80 80%"
        << "PlaceInSourceFolder=0;DestFolder=";
    QTest::newRow("folder kept while a source choice is set")
        << s + "DestFolder=/kept/\n"
        << "rename folder='/kept/' off/off Ask remove=off BMP keep=on 80 80%"
        << "DestFolder=/kept/";
    QTest::newRow("format row") << s + "DefaultFileFormat=3\n"
                                << "rename folder='' off/off Ask remove=off PNG keep=on 80 80%"
                                << "DefaultFileFormat=3";
    QTest::newRow("format row that no longer exists")
        << s + "DefaultFileFormat=9\n"
        << "rename folder='' off/off Ask remove=off BMP keep=on 80 80%"
        << "DefaultFileFormat=0";
    QTest::newRow("original format not kept") << s + "KeepOriginalFormat=0\n"
                                              << "rename folder='' off/off Ask remove=off BMP keep=off 80 80%"
                                              << "KeepOriginalFormat=0";
    QTest::newRow("quality") << s + "JPEGQuality=55\n"
                             << "rename folder='' off/off Ask remove=off BMP keep=on 55 55%"
                             << "JPEGQuality=55";
    QTest::newRow("quality above 100") << s + "JPEGQuality=250\n"
                                       << "rename folder='' off/off Ask remove=off BMP keep=on 100 100%"
                                       << "JPEGQuality=100";
    QTest::newRow("quality below 0") << s + "JPEGQuality=-3\n"
                                     << "rename folder='' off/off Ask remove=off BMP keep=on 0 0%"
                                     << "JPEGQuality=0";
    QTest::newRow("rename policy") << s + "OverwriteExisting=3\n"
                                   << "rename folder='' off/off Rename remove=off BMP keep=on 80 80%"
                                   << "OverwriteExisting=3";
    QTest::newRow("unknown policy asks") << s + "OverwriteExisting=7\n"
                                         << "rename folder='' off/off Ask remove=off BMP keep=on 80 80%"
                                         << "OverwriteExisting=0";
    QTest::newRow("remove originals") << s + "RemoveOriginalFiles=1\n"
                                      << "rename folder='' off/off Ask remove=on BMP keep=on 80 80%"
                                      << "RemoveOriginalFiles=1";
    QTest::newRow("other letter case is another key")
        << s + "placeinsourcefolder=0\njpegquality=10\n"
        << "rename folder='' off/off Ask remove=off BMP keep=on 80 80%"
        << "PlaceInSourceFolder=1;JPEGQuality=80";
  }

  void destinationLoadAndSave() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    TfrmDestination frame(kRows);
    TBrowser browser;
    frame.SetBrowseFunc(browser.Func());
    TConfig config;
    config.LoadFromText(stored.toStdString());
    frame.LoadSettings(config);
    QCOMPARE(Describe(frame), shown);
    QCOMPARE(browser.opened, 0);  // loading never opens a window
    TConfig out;
    frame.SaveSettings(out);
    ExpectWritten(out, "WatermarkingOptions", written);
    // what is written reads back as what was shown
    TfrmDestination again(kRows);
    again.LoadSettings(out);
    QCOMPARE(Describe(again), shown);
  }

  void browserOpensWhenTheUserChoosesAnEmptyOtherFolder() {
    TfrmDestination frame(kRows);
    TBrowser browser;
    frame.SetBrowseFunc(browser.Func());
    frame.show();

    browser.answer = "";  // cancelled: the folder stays empty
    QTest::mouseClick(frame.rbPlaceInOtherFolder, Qt::LeftButton);
    QCOMPARE(browser.opened, 1);
    QCOMPARE(browser.title, QString("Choose a folder"));
    QVERIFY(frame.rbPlaceInOtherFolder->isChecked());
    QCOMPARE(frame.txtOtherFolder->text(), QString());
    QVERIFY(frame.txtOtherFolder->isEnabled());
    QVERIFY(frame.btnBrowseOtherFolder->isEnabled());

    QTest::mouseClick(frame.tbRenameAndPlaceInSourceFolder, Qt::LeftButton);
    QVERIFY(!frame.txtOtherFolder->isEnabled());
    QVERIFY(!frame.btnBrowseOtherFolder->isEnabled());
    browser.answer = "/data/out";
    QTest::mouseClick(frame.rbPlaceInOtherFolder, Qt::LeftButton);
    QCOMPARE(browser.opened, 2);
    QCOMPARE(frame.txtOtherFolder->text(), QString("/data/out/"));  // with its separator

    // with a folder already there the choice opens nothing
    QTest::mouseClick(frame.rbPlaceInSourceFolder, Qt::LeftButton);
    QTest::mouseClick(frame.rbPlaceInOtherFolder, Qt::LeftButton);
    QCOMPARE(browser.opened, 2);

    browser.answer = "/elsewhere/";
    QTest::mouseClick(frame.btnBrowseOtherFolder, Qt::LeftButton);
    QCOMPARE(browser.opened, 3);
    QCOMPARE(browser.initial, QString("/data/out/"));
    QCOMPARE(frame.txtOtherFolder->text(), QString("/elsewhere/"));
    browser.answer = "";
    QTest::mouseClick(frame.btnBrowseOtherFolder, Qt::LeftButton);
    QCOMPARE(frame.txtOtherFolder->text(), QString("/elsewhere/"));

    TDestinationSettings s = frame.Settings();
    QCOMPARE(s.Placement, plOtherFolder);
    QCOMPARE(s.OutputFolder(), std::string("/elsewhere/"));
  }

  void browserErrorStaysInsideTheClick() {
    TfrmDestination frame(kRows);
    frame.SetBrowseFunc(
        [](QWidget*, const QString&, const QString&) -> QString { throw std::runtime_error("x"); });
    frame.show();
    std::string reported;
    SetUnhandledErrorHandler([&](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        reported = e.what();
      }
    });
    QTest::mouseClick(frame.rbPlaceInOtherFolder, Qt::LeftButton);
    SetUnhandledErrorHandler(nullptr);
    QCOMPARE(reported, std::string("x"));
    QVERIFY(frame.rbPlaceInOtherFolder->isChecked());
  }

  void qualitySliderAndLabel() {
    TfrmDestination frame(kRows);
    frame.show();
    frame.tbJPEGQuality->setFocus();
    QTest::keyClick(frame.tbJPEGQuality, Qt::Key_PageDown);
    QCOMPARE(frame.lblJPEGQuality->text(), QString("70%"));
    QTest::keyClick(frame.tbJPEGQuality, Qt::Key_End);
    QCOMPARE(frame.lblJPEGQuality->text(), QString("100%"));
    QCOMPARE(frame.Settings().JPEGQuality, 100);
  }

  void formatRowsAreThePluginsSaveableFormats() {
    TPluginManager plugins(test::BinDir().string());
    if (plugins.Formats().empty()) QSKIP("kobalt.fp not built");
    std::vector<std::string> rows = OutputFormatNames(plugins.Formats());
    TfrmDestination frame(rows);
    QCOMPARE(frame.lstDefaultFileFormat->count(), int(rows.size()));
    for (int i = 0; i < frame.lstDefaultFileFormat->count(); ++i) {
      QString row = frame.lstDefaultFileFormat->itemText(i);
      QCOMPARE(row, row.toUpper());
      QVERIFY(!row.startsWith('.'));
      QVERIFY2(plugins.IsSupported(("." + row.toLower()).toStdString(), true), qPrintable(row));
    }
    QCOMPARE(frame.lstDefaultFileFormat->currentIndex(), 0);
  }

  void accessibleNamesAreTheCaptions_data() {
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("name");
    QTest::newRow("overwrite choice")
        << "rbPlaceInSourceFolder"
        << "Place modified images in the source folder and overwrite original images.";
    QTest::newRow("rename choice") << "tbRenameAndPlaceInSourceFolder"
                                   << "Rename modified images and place them in the source folder.";
    QTest::newRow("other choice") << "rbPlaceInOtherFolder"
                                  << "Place modified images in the following folder";
    QTest::newRow("folder") << "txtOtherFolder"
                            << "Place modified images in the following folder";
    QTest::newRow("browse") << "btnBrowseOtherFolder"
                            << "Browse";
    QTest::newRow("policy") << "lstOverwriteExisting"
                            << "Overwrite existing files:";
    QTest::newRow("remove") << "chkRemoveOriginalFiles"
                            << "Remove original files";
    QTest::newRow("format") << "lstDefaultFileFormat"
                            << "Output file format:";
    QTest::newRow("keep") << "chkKeepOriginalFormat"
                          << "Keep original format, if possible";
    QTest::newRow("quality") << "tbJPEGQuality"
                             << "JPEG quality:";
    QTest::newRow("percentage choice") << "rbPercentageOfOriginal"
                                       << "Percentage of original";
    QTest::newRow("actual choice") << "rbActualSize"
                                   << "Actual/print size";
    QTest::newRow("percentage") << "txtPercentage"
                                << "Percentage:";
    QTest::newRow("apply to") << "lstApplyTo"
                              << "Apply to:";
    QTest::newRow("width") << "txtWidth"
                           << "Width:";
    QTest::newRow("height") << "txtHeight"
                            << "Height:";
    QTest::newRow("resolution") << "txtResolution"
                                << "Resolution:";
    QTest::newRow("resize") << "lstResize"
                            << "Resize:";
    QTest::newRow("aspect") << "chkPreserveAspectRatio"
                            << "Preserve original aspect ratio";
    QTest::newRow("fit") << "lstFitWithin"
                         << "Fit within:";
    QTest::newRow("accept") << "chkAcceptDefaults"
                            << "Accept defaults and start watermarking";
    QTest::newRow("save") << "chkSaveAsDefaults"
                          << "Save this settings as defaults";
    QTest::newRow("stop on error") << "chkStopOnError"
                                   << "Stop at the first picture that fails";
    QTest::newRow("resize images") << "chkResizeImages"
                                   << "Resize Images";
    QTest::newRow("keep JPEG blocks") << "chkJpegKeepBlocks"
                                      << "Keep JPEG quality: re-encode only the watermarked blocks";
    QTest::newRow("ok") << "btnWatermark"
                        << "OK";
    QTest::newRow("cancel") << "btnCancel"
                            << "Cancel";
  }

  void accessibleNamesAreTheCaptions() {
    QFETCH(QString, objectName);
    QFETCH(QString, name);
    TConfig config;
    TfrmOutputSettings dialog(config, kRows);
    auto* control = dialog.findChild<QWidget*>(objectName);
    QVERIFY2(control, qPrintable(objectName));
    QCOMPARE(control->accessibleName(), name);
    // a caption on a label beside the control is the label the user sees
    for (QLabel* label : dialog.findChildren<QLabel*>())
      if (label->buddy() == control) QCOMPARE(label->text(), name);
  }

  // --- the resize frame ---

  void resizeInitialStateAndItems() {
    TfrmResize frame;
    QCOMPARE(Describe(frame),
             QString("actual 100% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch | "
                     "Enlarge or reduce aspect=off fit=Width and Height"));
    auto items = [](QComboBox* list) {
      QStringList texts;
      for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
      return texts;
    };
    QCOMPARE(items(frame.lstApplyTo), QStringList({"Width only", "Heigh only", "Width and Height"}));
    QCOMPARE(items(frame.lstFitWithin), QStringList({"Width only", "Heigh only", "Width and Height"}));
    QCOMPARE(items(frame.lstXUnits), QStringList({"pixels", "inches", "cm", "mm"}));
    QCOMPARE(items(frame.lstYUnits), QStringList({"pixels", "inches", "cm", "mm"}));
    QCOMPARE(items(frame.lstResolutionUnits), QStringList({"pixels/inch", "pixels/cm"}));
    QCOMPARE(items(frame.lstResize), QStringList({"Enlarge only", "Reduce only", "Enlarge or reduce"}));
  }

  void resizeLoadAndSave_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");
    const QString s = "[ResizeOptions]\n";
    const QString rest = " | Enlarge or reduce aspect=on fit=Width and Height";
    QTest::newRow("first start: every default")
        << ""
        << "actual 50% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch" + rest
        << "ResizeMethod=2;Percentage=50;ApplyTo=2;XUnits=0;YUnits=0;Width=10;Height=10;Resolution=300;"
           "ResolutionUnits=0;Resize=2;PreserveAspectRatio=1;FitWithin=2";
    QTest::newRow("percentage method")
        << s + "ResizeMethod=1\nPercentage=75\nApplyTo=0\n"
        << "percentage 75% Width only | 10 pixels x 10 pixels @ 300 pixels/inch" + rest
        << "ResizeMethod=1;Percentage=75;ApplyTo=0";
    QTest::newRow("any other method is actual size")
        << s + "ResizeMethod=7\n"
        << "actual 50% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch" + rest << "ResizeMethod=2";
    QTest::newRow("percentage below the spin range")
        << s + "Percentage=1\n"
        << "actual 3% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch" + rest << "Percentage=3";
    QTest::newRow("percentage above the spin range")
        << s + "Percentage=20000\n"
        << "actual 10000% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch" + rest
        << "Percentage=10000";
    QTest::newRow("print size")
        << s + "XUnits=1\nYUnits=2\nWidth=2.5\nHeight=12.75\nResolution=118\nResolutionUnits=1\n"
        << "actual 50% Width and Height | 2.5 inches x 12.75 cm @ 118 pixels/cm" + rest
        << "XUnits=1;YUnits=2;Width=2.5;Height=12.75;Resolution=118;ResolutionUnits=1";
    QTest::newRow("width and height below one")
        << s + "Width=0\nHeight=-4\n"
        << "actual 50% Width and Height | 1 pixels x 1 pixels @ 300 pixels/inch" + rest << "Width=1;Height=1";
    QTest::newRow("half a pixel reads as the integer 5 and stays")
        << s + "Width=0.5\n"
        << "actual 50% Width and Height | 0.5 pixels x 10 pixels @ 300 pixels/inch" + rest << "Width=0.5";
    QTest::newRow("resolution 0") << s + "Resolution=0\n"
                                  << "actual 50% Width and Height | 10 pixels x 10 pixels @ 1 pixels/inch" +
                                         rest
                                  << "Resolution=1";
    QTest::newRow("resolution above the field's maximum")
        << s + "Resolution=5000\n"
        << "actual 50% Width and Height | 10 pixels x 10 pixels @ 3000 pixels/inch" + rest
        << "Resolution=3000";
    QTest::newRow("modes") << s + "Resize=1\nPreserveAspectRatio=0\nFitWithin=1\n"
                           << "actual 50% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch | "
                              "Reduce only aspect=off fit=Heigh only"
                           << "Resize=1;PreserveAspectRatio=0;FitWithin=1";
    QTest::newRow("unknown rows read as the defaults")
        << s + "ApplyTo=5\nXUnits=9\nResize=-1\nFitWithin=3\n"
        << "actual 50% Width and Height | 10 pixels x 10 pixels @ 300 pixels/inch" + rest
        << "ApplyTo=2;XUnits=0;Resize=2;FitWithin=2";
  }

  void resizeLoadAndSave() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    TfrmResize frame;
    TConfig config;
    config.LoadFromText(stored.toStdString());
    frame.LoadSettings(config);
    QCOMPARE(Describe(frame), shown);
    TConfig out;
    frame.SaveSettings(out);
    ExpectWritten(out, "ResizeOptions", written);
    TfrmResize again;
    again.LoadSettings(out);
    QCOMPARE(Describe(again), shown);
  }

  void resizeMethodShowsItsPanel() {
    TfrmResize frame;
    frame.show();
    QTest::mouseClick(frame.rbPercentageOfOriginal, Qt::LeftButton);
    QVERIFY(frame.pnlPercentageOfOriginal->isVisible());
    QVERIFY(!frame.pnlActualSize->isVisible());
    QCOMPARE(frame.GetResizeParams().Method, uint8_t(rmPercentage));
    QTest::mouseClick(frame.rbActualSize, Qt::LeftButton);
    QVERIFY(!frame.pnlPercentageOfOriginal->isVisible());
    QVERIFY(frame.pnlActualSize->isVisible());
    QCOMPARE(frame.GetResizeParams().Method, uint8_t(rmActualSize));
  }

  void typedValuesReachTheParameters() {
    TfrmResize frame;
    frame.show();
    QTest::mouseClick(frame.rbPercentageOfOriginal, Qt::LeftButton);
    frame.txtPercentage->clear();
    QTest::keyClicks(frame.txtPercentage, "100");  // minimum 3: the "1" on the way is left alone
    QCOMPARE(frame.GetResizeParams().Percentage, 100);
    frame.txtPercentage->clear();
    QTest::keyClicks(frame.txtPercentage, "2.5");  // the separator is refused in an integer field
    QCOMPARE(frame.txtPercentage->text(), QString("25"));
    QTest::keyClick(frame.txtPercentage, Qt::Key_Up);
    QCOMPARE(frame.GetResizeParams().Percentage, 26);

    QTest::mouseClick(frame.rbActualSize, Qt::LeftButton);
    frame.txtWidth->clear();
    QTest::keyClicks(frame.txtWidth, "2.5");
    frame.lstXUnits->setCurrentIndex(luInches);
    frame.txtResolution->clear();
    QTest::keyClicks(frame.txtResolution, "4000");  // above 3000: clamped as typed
    QCOMPARE(frame.txtResolution->text(), QString("3000"));
    TResizeParams p = frame.GetResizeParams();
    QCOMPARE(p.Width, 2.5f);
    QCOMPARE(p.WidthUnit, uint8_t(luInches));
    QCOMPARE(p.Resolution, 3000);
    QCOMPARE(p.ApplyTo, uint8_t(atWidthAndHeight));
    QCOMPARE(p.FitWithin, uint8_t(atWidthAndHeight));
  }

  void lenientReadings() {
    TfrmResize frame;
    frame.txtPercentage->setText("12.5");  // pasted: the integer field joins the digits
    frame.txtWidth->setText("12.5 px");
    frame.txtHeight->setText("");
    TResizeSettings s = frame.Settings();
    QCOMPARE(s.Percentage, 125);
    QCOMPARE(s.Width, 12.5);
    QCOMPARE(s.Height, 0.0);
    frame.ValidateValues();
    QCOMPARE(frame.txtHeight->text(), QString("1"));
    QCOMPARE(frame.txtWidth->text(), QString("12.5 px"));  // a valid reading is left as typed
  }

  // --- the output settings dialog ---

  void outputSettingsPagesAndInitialState() {
    TConfig config;
    TfrmOutputSettings dialog(config, kRows);
    QCOMPARE(dialog.windowTitle(), QString("Output Settings"));
    QCOMPARE(dialog.pgcSettings->count(), 3);
    QCOMPARE(dialog.pgcSettings->tabText(0), QString("General"));
    QCOMPARE(dialog.pgcSettings->tabText(1), QString("Destination"));
    QCOMPARE(dialog.pgcSettings->tabText(2), QString("Resize"));
    QVERIFY(!dialog.chkAcceptDefaults->isChecked());
    QVERIFY(dialog.chkSaveAsDefaults->isChecked());
    QVERIFY(dialog.chkStopOnError->isChecked());
    QCOMPARE(dialog.chkStopOnError->parentWidget(), dialog.tsGeneral);
    QVERIFY(!dialog.chkResizeImages->isChecked());
    QCOMPARE(dialog.lstResizePriority->currentText(), QString("Before watermarking"));
    QCOMPARE(dialog.lstResizePriority->count(), 2);
    QCOMPARE(dialog.lstResizePriority->itemText(1), QString("After watermarking"));
    QVERIFY(dialog.btnWatermark->isDefault());
    QCOMPARE(dialog.btnWatermark->text(), QString("OK"));
  }

  void everyShowingStartsOnDestinationWithTheStoredSettings() {
    TConfig config;
    config.WriteInteger("WatermarkingOptions", "JPEGQuality", 60);
    TfrmOutputSettings dialog(config, kRows);
    dialog.pgcSettings->setCurrentWidget(dialog.tsResize);
    dialog.open();
    QCOMPARE(dialog.pgcSettings->currentWidget(), dialog.tsDestination);
    QCOMPARE(dialog.frmDestination->tbJPEGQuality->value(), 60);
    dialog.pgcSettings->setCurrentWidget(dialog.tsGeneral);
    dialog.accept();

    config.WriteInteger("WatermarkingOptions", "JPEGQuality", 45);
    dialog.open();
    QCOMPARE(dialog.pgcSettings->currentWidget(), dialog.tsDestination);
    QCOMPARE(dialog.frmDestination->tbJPEGQuality->value(), 45);
    dialog.reject();
  }

  void okStoresOnlyWhenAskedTo_data() {
    QTest::addColumn<bool>("saveAsDefaults");
    QTest::newRow("save as defaults on") << true;
    QTest::newRow("save as defaults off") << false;
  }

  void okStoresOnlyWhenAskedTo() {
    QFETCH(bool, saveAsDefaults);
    TConfig config;
    TfrmOutputSettings dialog(config, kRows);
    dialog.open();
    dialog.chkSaveAsDefaults->setChecked(saveAsDefaults);
    dialog.chkAcceptDefaults->setChecked(true);
    dialog.chkStopOnError->setChecked(false);
    dialog.frmDestination->tbJPEGQuality->setValue(33);
    dialog.chkResizeImages->setChecked(true);
    dialog.lstResizePriority->setCurrentIndex(1);
    dialog.frmResize->rbPercentageOfOriginal->setChecked(true);
    dialog.frmResize->txtPercentage->setText("1");  // left below the minimum
    QVERIFY(!dialog.chkJpegKeepBlocks->isChecked());
    dialog.chkJpegKeepBlocks->setChecked(true);
    QTest::mouseClick(dialog.btnWatermark, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());

    // the run reads the edited settings either way, made valid
    TOutputSettings run = dialog.Settings();
    QCOMPARE(run.Destination.JPEGQuality, 33);
    QVERIFY(run.DoResize);
    QCOMPARE(run.ResizePriority, 1);
    QCOMPARE(run.Resize.ResizeMethod, 1);
    QCOMPARE(run.Resize.Percentage, 3);
    QVERIFY(run.JpegKeepBlocks);
    QCOMPARE(config.ReadBool("WatermarkingOptions", "JpegKeepBlocks", false), saveAsDefaults);
    QVERIFY(!run.StopOnError);

    QCOMPARE(config.ReadInteger("WatermarkingOptions", "JPEGQuality", -1), saveAsDefaults ? 33 : -1);
    QCOMPARE(config.ReadBool("WatermarkingOptions", "AcceptDefaults", false), saveAsDefaults);
    QCOMPARE(config.ReadInteger("ResizeOptions", "Percentage", -1), saveAsDefaults ? 3 : -1);
    QCOMPARE(config.ValueExists("ResizeOptions", "DoResize"), saveAsDefaults);
    QCOMPARE(config.ReadBool("WatermarkingOptions", "StopOnError", true), !saveAsDefaults);

    // the next showing shows what is stored
    dialog.open();
    QCOMPARE(dialog.frmDestination->tbJPEGQuality->value(), saveAsDefaults ? 33 : 80);
    QCOMPARE(dialog.chkResizeImages->isChecked(), saveAsDefaults);
    QCOMPARE(dialog.chkJpegKeepBlocks->isChecked(), saveAsDefaults);
    QCOMPARE(dialog.chkStopOnError->isChecked(), !saveAsDefaults);
    dialog.reject();
  }

  void cancelBringsBackTheStoredSettings_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
  }

  void cancelBringsBackTheStoredSettings() {
    QFETCH(QString, how);
    TConfig config;
    config.WriteInteger("WatermarkingOptions", "OverwriteExisting", owSkip);
    TfrmOutputSettings dialog(config, kRows);
    dialog.open();
    dialog.frmDestination->lstOverwriteExisting->setCurrentIndex(owReplace);
    dialog.chkResizeImages->setChecked(true);
    if (how == "button")
      QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    else if (how == "escape")
      QTest::keyClick(&dialog, Qt::Key_Escape);
    else
      dialog.close();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.Settings().Destination.OverwriteExisting, int32_t(owSkip));
    QVERIFY(!dialog.Settings().DoResize);
    QCOMPARE(config.ReadInteger("WatermarkingOptions", "OverwriteExisting", -1), int(owSkip));
    QVERIFY(!config.ValueExists("ResizeOptions", "DoResize"));
  }

  void resizeImagesShowsTheRestOfItsPage() {
    TConfig config;
    TfrmOutputSettings dialog(config, kRows);
    dialog.open();
    dialog.pgcSettings->setCurrentWidget(dialog.tsResize);
    QVERIFY(!dialog.lstResizePriority->isVisible());
    QVERIFY(!dialog.frmResize->isVisible());
    QTest::mouseClick(dialog.chkResizeImages, Qt::LeftButton);
    QVERIFY(dialog.lstResizePriority->isVisible());
    QVERIFY(dialog.frmResize->isVisible());
    QVERIFY(dialog.frmResize->pnlActualSize->isVisible());
    QVERIFY(!dialog.frmResize->pnlPercentageOfOriginal->isVisible());
    QTest::mouseClick(dialog.chkResizeImages, Qt::LeftButton);
    QVERIFY(!dialog.frmResize->isVisible());

    // hidden, the resize settings are still stored on OK
    dialog.frmResize->txtWidth->setText("640");
    dialog.accept();
    QCOMPARE(config.ReadFloat("ResizeOptions", "Width", 0), 640.0);
    QVERIFY(!config.ReadBool("ResizeOptions", "DoResize", true));

    config.WriteBool("ResizeOptions", "DoResize", true);
    dialog.open();
    dialog.pgcSettings->setCurrentWidget(dialog.tsResize);
    QVERIFY(dialog.frmResize->isVisible());  // loading shows the page as stored
    dialog.reject();
  }

  void acceptDefaultsHintFollowsThePointer() {
    TConfig config;
    TfrmOutputSettings dialog(config, kRows);
    dialog.open();
    dialog.pgcSettings->setCurrentWidget(dialog.tsGeneral);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(dialog.chkAcceptDefaults, &enter);
    TBalloonTip* tip = FindBalloonTip(dialog.chkAcceptDefaults);
    QVERIFY(tip && tip->isVisible());
    QCOMPARE(tip->Icon(), TBalloonIcon::Info);
    QCOMPARE(tip->Title(), QString("Accept defaults"));
    QCOMPARE(tip->Text(),
             QString("\"Output settings\" dialog will be skipped next time is this option is on.\n"
                     "But you can always cancel this option with \"Settings / Output settings\"\n"
                     "menu item of the main window."));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(dialog.chkAcceptDefaults, &leave);
    QVERIFY(!tip->isVisible());
    QCOMPARE(dialog.chkAcceptDefaults->accessibleDescription(), tip->Text());
    dialog.reject();
  }

  void acceptedDefaultsLoadWithoutShowing() {
    TConfig config;
    config.WriteBool("WatermarkingOptions", "AcceptDefaults", true);
    config.WriteInteger("WatermarkingOptions", "OverwriteExisting", owRename);
    config.WriteBool("ResizeOptions", "DoResize", true);
    TfrmOutputSettings dialog(config, kRows);
    dialog.LoadSettings();
    QVERIFY(!dialog.isVisible());
    TOutputSettings run = dialog.Settings();
    QVERIFY(run.AcceptDefaults);
    QCOMPARE(run.Destination.OverwriteExisting, int32_t(owRename));
    QVERIFY(run.DoResize);
  }

  // --- the resize settings dialog ---

  void resizeSettingsOkAlwaysStores() {
    TConfig config;
    TfrmResizeSettings dialog(config, kRows);
    QCOMPARE(dialog.windowTitle(), QString("Resize Settings"));
    QCOMPARE(dialog.pgcSettings->tabText(0), QString("Resize"));
    QCOMPARE(dialog.pgcSettings->tabText(1), QString("Destination"));
    QVERIFY(dialog.btnResize->isDefault());
    QCOMPARE(dialog.btnResize->text(), QString("OK"));
    dialog.pgcSettings->setCurrentWidget(dialog.tsDestination);
    dialog.open();
    QCOMPARE(dialog.pgcSettings->currentWidget(), dialog.tsResize);
    dialog.frmResize->txtWidth->setText("800");
    dialog.frmDestination->lstOverwriteExisting->setCurrentIndex(owRename);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(config.ReadFloat("ResizeOptions", "Width", 0), 800.0);
    QCOMPARE(config.ReadInteger("WatermarkingOptions", "OverwriteExisting", -1), int(owRename));
    QCOMPARE(dialog.ResizeSettings().Width, 800.0);
    QCOMPARE(dialog.DestinationSettings().OverwriteExisting, int32_t(owRename));

    // the destination is shared with the output settings dialog
    TfrmOutputSettings output(config, kRows);
    output.LoadSettings();
    QCOMPARE(output.Settings().Destination.OverwriteExisting, int32_t(owRename));
    QCOMPARE(output.Settings().Resize.Width, 800.0);
  }

  void resizeSettingsCancelReloads() {
    TConfig config;
    config.WriteFloat("ResizeOptions", "Height", 480);
    TfrmResizeSettings dialog(config, kRows);
    dialog.open();
    QCOMPARE(dialog.frmResize->txtHeight->text(), QString("480"));
    dialog.frmResize->txtHeight->setText("20");
    dialog.frmDestination->chkRemoveOriginalFiles->setChecked(true);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.frmResize->txtHeight->text(), QString("480"));
    QVERIFY(!dialog.frmDestination->chkRemoveOriginalFiles->isChecked());
    QVERIFY(!config.ValueExists("WatermarkingOptions", "RemoveOriginalFiles"));
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TOutputDialogsTest)
#include "OutputDialogsTest.moc"
