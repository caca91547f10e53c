// The main window on the offscreen platform, with the real plug-in and real
// pictures: what the end-to-end test cannot easily reach (the watermark kept
// through a cancelled edit or a damaged file, the window refusing to close
// during a run, the preview following the list).

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QItemSelectionModel>
#include <QTimer>
#include <QtTest>

#include <filesystem>

#include "app/CommandLine.h"
#include "app/Preview.h"
#include "app/Session.h"
#include "app/ui/Form1.h"
#include "app/ui/Guard.h"
#include "controls/ui/FileListBox2.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "util/Stream.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> SavedBytes(TSession& session) {
  TMemoryStream stream;
  SaveWatermark(stream, session.Layers(), session.Exif());
  return stream.Bytes();
}

// Closes the next modal dialog (the editor's placeholder, a message box) with reject.
void RejectNextModal() {
  QTimer::singleShot(0, [] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
  });
}

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dir_ = std::make_unique<test::TTempDir>();
    TSession::TOptions options;
    options.ConfigFileName = (*dir_ / ".config");
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir_->Path().string() + "/";
    session_ = std::make_unique<TSession>(options);
    session_->Config().WriteBool("GlobalOptions", "FirstRun", false);
    TBitmap32 picture(64, 48);
    picture.Clear(0xFF336699);
    for (const char* name : {"a.png", "b.png"}) QVERIFY(session_->Plugins().SaveBitmap(*dir_ / name, picture));
    window_ = std::make_unique<TForm1>(*session_, TCommandLine{});
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() {
    window_.reset();
    session_.reset();
    dir_.reset();
  }

  void cancelledEditKeepsTheWatermarkByteForByte_data() {
    QTest::addColumn<bool>("newWatermark");
    QTest::newRow("Edit Watermark") << false;
    QTest::newRow("New Watermark") << true;
  }
  void cancelledEditKeepsTheWatermarkByteForByte() {
    QFETCH(bool, newWatermark);
    session_->OpenWatermarkFile(test::BinDir().string() + "/Sample Watermarks/Copyright.tvx");
    const std::vector<uint8_t> before = SavedBytes(*session_);
    QVERIFY(session_->Layers().Count() > 0);
    RejectNextModal();
    if (newWatermark)
      window_->actNewWatermarkExecute();
    else
      window_->actEditWatermarkExecute();
    QCOMPARE(SavedBytes(*session_), before);
  }

  void damagedWatermarkKeepsTheCurrentOne() {
    session_->OpenWatermarkFile(test::BinDir().string() + "/Sample Watermarks/Logo.tvx");
    const std::vector<uint8_t> before = SavedBytes(*session_);
    const std::string damaged = *dir_ / "damaged.tvx";
    test::WriteFileBytes(damaged, std::string("TVX1\x01\x00\x00\x00\x05\x00\x00\x00junk", 17));
    std::vector<std::string> reported;
    SetUnhandledErrorHandler([&](std::exception_ptr) { reported.push_back("error"); });
    QVERIFY(!GuardedCall([&] { session_->OpenWatermarkFile(damaged); }));
    SetUnhandledErrorHandler(nullptr);
    QCOMPARE(reported.size(), size_t{1});
    QCOMPARE(SavedBytes(*session_), before);
  }

  void windowRefusesToCloseDuringARun() {
    // The progress window's first check happens during the run: try to close there.
    session_->OpenWatermarkFile(test::BinDir().string() + "/Sample Watermarks/Copyright.tvx");
    window_->FileListBox().AddFiles({*dir_ / "a.png", *dir_ / "b.png"});
    session_->Config().WriteBool("WatermarkingOptions", "AcceptDefaults", true);
    session_->Config().WriteInteger("WatermarkingOptions", "OverwriteExisting", owReplace);
    bool closedDuringRun = true;
    bool runningSeen = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      if (!window_->Running()) return;
      runningSeen = true;
      closedDuringRun = window_->close();
    });
    probe.start(0);
    window_->btnProcessClick();
    probe.stop();
    QVERIFY(runningSeen);
    QVERIFY(!closedDuringRun);
    QVERIFY(window_->isVisible());
    QVERIFY(fs::exists(*dir_ / "a_wm.png"));
    QVERIFY(fs::exists(*dir_ / "b_wm.png"));
  }

  void selectingARowLoadsItAndRemovingItEmptiesThePreview() {
    window_->FileListBox().AddFiles({*dir_ / "a.png", *dir_ / "b.png"});
    QVERIFY(window_->Preview().Picture().Empty());  // rows added: nothing chosen yet
    window_->FileListBox().selectionModel()->setCurrentIndex(window_->FileListBox().model()->index(1, 0),
                                                            QItemSelectionModel::ClearAndSelect);
    QCOMPARE(window_->Preview().RequestedPath(), *dir_ / "b.png");
    QTRY_VERIFY(!window_->Preview().Loading());
    QCOMPARE(window_->Preview().Picture().Width(), 64);
    QCOMPARE(window_->Preview().Picture().Pixel(10, 10), TColor32{0xFF336699});
    QCOMPARE(session_->PictureParameters().Index, 2);

    window_->RemFilesClick();
    QVERIFY(window_->Preview().Picture().Empty());
    QCOMPARE(session_->Images().Paths, std::vector<std::string>{*dir_ / "a.png"});
  }

  void commandLineAddsFolderPicturesInNameOrder() {
    fs::create_directory(dir_->Path() / "sub");
    TBitmap32 picture(8, 8);
    picture.Clear(0xFF000000);
    QVERIFY(session_->Plugins().SaveBitmap(*dir_ / "sub/c.png", picture));
    TCommandLine commandLine;
    commandLine.Actions.push_back({TCommandLineAction::AddFolder, dir_->Path().string(), ""});
    TForm1 window(*session_, commandLine);
    window.show();
    QTRY_COMPARE(window.FileListBox().Count(), 3);
    QCOMPARE(session_->Images().Paths,
             (std::vector<std::string>{*dir_ / "a.png", *dir_ / "b.png", *dir_ / "sub/c.png"}));
  }

  // The window's run started by "-r" writes where the command line says; the
  // next one, started from the window, goes by the stored settings again.
  void commandLineOutputSettingsHoldForItsRunOnly() {
    window_.reset();
    TCommandLine commandLine = ParseCommandLine({"-r", "-s", "--text", "X", "--output", *dir_ / "made/here",
                                                 "--format", "bmp", *dir_ / "a.png"});
    QVERIFY(commandLine.Errors.empty());
    TForm1 window(*session_, commandLine);
    window.show();
    QTRY_VERIFY(fs::exists(dir_->Path() / "made/here/a.bmp"));
    QTRY_VERIFY(!window.Running());
    QCOMPARE(session_->Layers().Count(), 1);
    QCOMPARE(session_->Config().ReadString("WatermarkingOptions", "DestFolder", "?"), std::string("?"));
    window.btnProcessClick();
    // (the second name in a row for the same source counts on)
    QVERIFY(fs::exists(dir_->Path() / "a_wm(1).png"));
    QVERIFY(!fs::exists(dir_->Path() / "made/here/a.png"));
  }

 private:
  std::unique_ptr<test::TTempDir> dir_;
  std::unique_ptr<TSession> session_;
  std::unique_ptr<TForm1> window_;
};

}  // namespace tvx

TVX_QTEST_MAIN_WITH_APP(tvx::TGuardedApplication, tvx::TForm1Test)
#include "Form1Test.moc"
