// The progress window and the overwrite question, alone and in a real run.

#include <filesystem>
#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <QPlainTextEdit>
#include <atomic>
#include <thread>

#include "app/QuestionLayout.h"
#include "app/Session.h"
#include "app/ui/frmExtYesNoCancel.h"
#include "app/ui/frmRunSummary.h"
#include "app/ui/frmWMProgress.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "watermark/TextLayer.h"

Q_DECLARE_METATYPE(tvx::TAnswer)

namespace tvx {
namespace {

namespace fs = std::filesystem;

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int Paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

// Runs action once the modal dialog shows; a dialog that is never answered is
// cancelled after a while, so a failing test cannot hang the run.
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

// A watermark that takes its time on the workers, so that a run on the
// window's thread would freeze it.
class TSlowMark : public TRunWatermark {
 public:
  TSlowMark(int ms, std::atomic<int>& draws) : ms_(ms), draws_(draws) {}
  bool HasLayers() const override { return true; }
  void RefreshContents(const TExifParameters&) override {}
  void DrawOnto(TBitmap32& picture) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms_));
    picture.Pixel(0, 0) = 0xFF00FF00u;
    ++draws_;
  }
  void ApplyExif(const TPluginManager&, const std::string&, const std::string&) override {}
  std::unique_ptr<TRunWatermark> Clone() const override { return std::make_unique<TSlowMark>(ms_, draws_); }

 private:
  int ms_;
  std::atomic<int>& draws_;
};

// Small pictures p0.jpg ... in dir/in, outputs to dir/out.
std::vector<std::string> MakePictures(const TPluginManager& plugins, const test::TTempDir& dir, int count) {
  fs::create_directories(dir.Path() / "in");
  fs::create_directories(dir.Path() / "out");
  TBitmap32 picture(64, 48);
  picture.Clear(0xFF204060u);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back(dir / ("in/p" + std::to_string(i) + ".jpg"));
    plugins.SaveBitmap(paths.back(), picture);
  }
  return paths;
}

}  // namespace

class TRunDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // --- the progress window ---

  void progressAsCreated() {
    QMainWindow owner;
    TfrmWMProgress progress(&owner);
    QCOMPARE(progress.windowTitle(), QString("Progress"));
    QCOMPARE(progress.Label1->text(), QString("Watermarking files..."));
    QCOMPARE(progress.btnCancel->text(), QString("Cancel"));
    QVERIFY(!progress.isVisible());
  }

  void ownerDisabledWhileShown() {
    QMainWindow owner;
    owner.show();
    TfrmWMProgress progress(&owner);
    progress.Begin("Resizing files...", 12);
    QVERIFY(progress.isVisible());
    QVERIFY(!owner.isEnabled());
    QVERIFY(progress.isEnabled());
    QVERIFY(progress.btnCancel->isEnabled());
    QCOMPARE(progress.Label1->text(), QString("Resizing files..."));
    QCOMPARE(progress.ProgressBar->maximum(), 12);
    QCOMPARE(progress.ProgressBar->value(), 0);
    progress.End();
    QVERIFY(!progress.isVisible());
    QVERIFY(owner.isEnabled());
  }

  void cancel_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("button") << "button";
    QTest::newRow("Escape") << "escape";
  }

  void cancel() {
    QFETCH(QString, how);
    QMainWindow owner;
    owner.show();
    TfrmWMProgress progress(&owner);
    progress.Begin("Watermarking files...", 30);
    QVERIFY(!progress.AdvanceAndCheckCancel(1));
    if (how == "button")
      QTest::mouseClick(progress.btnCancel, Qt::LeftButton);
    else
      QTest::keyClick(&progress, Qt::Key_Escape);
    QVERIFY(progress.Cancelled());
    QVERIFY(!progress.btnCancel->isEnabled());
    QCOMPARE(progress.Label1->text(), QString("Terminating..."));
    QVERIFY(progress.isVisible());  // only the command hides it
    QVERIFY(progress.AdvanceAndCheckCancel(1));

    // the next run starts afresh
    progress.End();
    progress.Begin("Resizing files...", 3);
    QVERIFY(!progress.Cancelled());
    QVERIFY(progress.btnCancel->isEnabled());
    QCOMPARE(progress.Label1->text(), QString("Resizing files..."));
    QVERIFY(!progress.AdvanceAndCheckCancel(1));
  }

  void closeRequestsAreRefused() {
    QMainWindow owner;
    owner.show();
    TfrmWMProgress progress(&owner);
    progress.Begin("Watermarking files...", 3);
    QVERIFY(!progress.close());
    QVERIFY(progress.isVisible());
    QCloseEvent fromWindowManager;
    QCoreApplication::sendEvent(&progress, &fromWindowManager);
    QVERIFY(!fromWindowManager.isAccepted());
    QVERIFY(progress.isVisible());
    QVERIFY(!progress.Cancelled());
    QVERIFY(!owner.isEnabled());
    progress.End();
  }

  void cancelReachesASynchronousRun() {
    TfrmWMProgress progress;
    progress.Begin("Watermarking files...", 1000000);
    // posted as a real click would be: it can only arrive at a progress check
    QTimer::singleShot(20, progress.btnCancel,
                       [&] { QTest::mouseClick(progress.btnCancel, Qt::LeftButton); });
    QElapsedTimer clock;
    clock.start();
    int checks = 0;
    while (!progress.AdvanceAndCheckCancel(1) && clock.elapsed() < 5000) {
      ++checks;
      QTest::qSleep(1);  // a picture's work
    }
    QVERIFY(progress.Cancelled());
    QVERIFY(checks > 0);
    progress.End();
  }

  void barRepaintsAreLimited() {
    TfrmWMProgress progress;
    progress.Begin("Watermarking files...", 300000);
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    TPaintCounter counter(progress.ProgressBar);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 300000; ++i) progress.AdvanceAndCheckCancel(1);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(counter.Paints <= elapsed / TfrmWMProgress::kRepaintMs + 3,
             qPrintable(QString("%1 paints in %2 ms").arg(counter.Paints).arg(elapsed)));
    // the last position is shown soon after, without another check
    QTRY_COMPARE(progress.ProgressBar->value(), 300000);
    QCOMPARE(progress.Position(), 300000);
    progress.End();
  }

  // --- the question ---

  void answers_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<TAnswer>("answer");
    QTest::newRow("Yes") << "btnYes" << TAnswer::Yes;
    QTest::newRow("No") << "btnNo" << TAnswer::No;
    QTest::newRow("Cancel") << "btnCancel" << TAnswer::Cancel;
    QTest::newRow("Yes To All") << "btnYesToAll" << TAnswer::YesToAll;
    QTest::newRow("No To All") << "btnNoToAll" << TAnswer::NoToAll;
    QTest::newRow("Enter: the default") << "enter" << TAnswer::Yes;
    QTest::newRow("Escape") << "escape" << TAnswer::Cancel;
    QTest::newRow("close box") << "close" << TAnswer::Cancel;
  }

  void answers() {
    QFETCH(QString, how);
    QFETCH(TAnswer, answer);
    TfrmExtYesNoCancel dialog;
    WhenShown(dialog, [&] {
      if (how == "enter")
        QTest::keyClick(&dialog, Qt::Key_Return);
      else if (how == "escape")
        QTest::keyClick(&dialog, Qt::Key_Escape);
      else if (how == "close")
        dialog.close();
      else
        QTest::mouseClick(dialog.findChild<QPushButton*>(how), Qt::LeftButton);
    });
    QCOMPARE(dialog.Ask("Watermarking", "Replace /pics/photo_wm.jpg?"), answer);
    QCOMPARE(dialog.windowTitle(), QString("Watermarking"));
    QCOMPARE(dialog.Label1->text(), QString("Replace /pics/photo_wm.jpg?"));
    QVERIFY(!dialog.isVisible());
  }

  void buttonsInTwoRows() {
    TfrmExtYesNoCancel dialog;
    dialog.Prepare("Watermarking", "Replace /a.jpg?");
    dialog.show();
    auto at = [](QWidget* w) { return w->mapTo(w->window(), QPoint(0, 0)); };
    QCOMPARE(at(dialog.btnYes).y(), at(dialog.btnNo).y());
    QCOMPARE(at(dialog.btnNo).y(), at(dialog.btnCancel).y());
    QVERIFY(at(dialog.btnYes).x() < at(dialog.btnNo).x());
    QVERIFY(at(dialog.btnNo).x() < at(dialog.btnCancel).x());
    QCOMPARE(at(dialog.btnYesToAll).x(), at(dialog.btnYes).x());
    QCOMPARE(at(dialog.btnNoToAll).x(), at(dialog.btnNo).x());
    QVERIFY(at(dialog.btnYesToAll).y() > at(dialog.btnYes).y());
    QVERIFY(at(dialog.btnYes).y() > at(dialog.Label1).y());
    QVERIFY(dialog.btnYes->isDefault());
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // centred give or take the window frame, unknown before it shows
    QVERIFY((dialog.frameGeometry().center() - screen.center()).manhattanLength() <= 8);
    dialog.hide();
  }

  void width_data() {
    QTest::addColumn<QString>("question");
    QTest::newRow("short: the minimum") << "Replace /a.jpg?";
    QTest::newRow("label plus margins") << "Replace /home/someone/Pictures/holiday/photo_wm.jpg?";
    QString path = "Replace /home/someone/Pictures";
    for (int i = 0; i < 30; ++i) path += QString("/folder%1").arg(i);
    QTest::newRow("longer than the screen") << path + "/photo_wm.jpg?";
    QTest::newRow("one long name") << "Replace /" + QString(300, 'x') + ".jpg?";
  }

  void width() {
    QFETCH(QString, question);
    TfrmExtYesNoCancel dialog;
    dialog.Prepare("Watermarking", question);
    const int screen = QGuiApplication::primaryScreen()->availableGeometry().width();
    const int natural = dialog.Label1->fontMetrics().horizontalAdvance(question);
    if (natural + kQuestionMargin <= screen - 16) {
      QCOMPARE(dialog.Label1->text(), question);  // one line, as asked
      QCOMPARE(dialog.width(),
               std::max(kQuestionMinWidth, dialog.Label1->sizeHint().width() + kQuestionMargin));
    } else {
      QVERIFY(dialog.width() <= screen);
      QVERIFY(dialog.Label1->text().count('\n') > 0);
      QVERIFY(dialog.Label1->sizeHint().width() + kQuestionMargin <= dialog.width());
      QCOMPARE(dialog.Label1->text().remove('\n'), question);  // nothing elided
      QCOMPARE(dialog.Label1->accessibleName(), question);
    }
    dialog.show();
    QVERIFY(dialog.Label1->width() >= dialog.Label1->sizeHint().width());  // nothing cut off
    dialog.hide();
  }

  void toAllIsRememberedForTheRun() {
    TfrmExtYesNoCancel dialog;
    int shown = 0;
    TExtYesNoCancel question([&](const std::string& title, const std::string& text) {
      ++shown;
      WhenShown(dialog, [&] { QTest::mouseClick(dialog.btnNoToAll, Qt::LeftButton); });
      return dialog.Ask(title, text);
    });
    question.Reset();
    QCOMPARE(question.Ask("Watermarking", "Replace /a_wm.jpg?"), TAnswer::No);
    QCOMPARE(question.Ask("Watermarking", "Replace /b_wm.jpg?"), TAnswer::No);
    QCOMPARE(shown, 1);
    question.Reset();
    QCOMPARE(question.Ask("Watermarking", "Replace /a_wm.jpg?"), TAnswer::No);
    QCOMPARE(shown, 2);
  }

  // --- both in a real run ---

  void realRun() {
    if (test::TestDataDir().empty()) QSKIP("no shared testdata");
    test::TTempDir dir;
    TSession::TOptions options;
    options.ConfigFileName = dir / ".config";
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir.Path().string() + "/";
    TSession session(options);
    for (int i = 0; i < 4; ++i) {
      std::string name = "p";
      name += std::to_string(i);
      name += ".jpg";
      std::string path = dir / name;
      fs::copy_file(test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg", path);
      session.Images().Paths.push_back(path);
    }
    // an output that exists already: the question comes up during the run
    fs::copy_file(dir / "p0.jpg", dir / "p0_wm.jpg");
    auto& layer = session.Layers().Add<TTextLayer>();
    layer.BeginUpdate();
    layer.Text = "<FILE_INDEX>";
    layer.Font.Size = 20;
    layer.EndUpdate();

    QMainWindow owner;
    owner.show();
    TfrmWMProgress progress(&owner);
    TfrmExtYesNoCancel dialog(&owner);
    bool askedWhileOwnerDisabled = false;
    int asked = 0;
    session.Question().SetAsk(dialog.AskFunc());
    QTimer answerer;  // answers the question whenever it shows
    connect(&answerer, &QTimer::timeout, &dialog, [&] {
      if (!dialog.isVisible()) return;
      ++asked;
      askedWhileOwnerDisabled = !owner.isEnabled() && dialog.isEnabled();
      QCOMPARE(dialog.windowTitle(), QString("Watermarking"));
      QCOMPARE(dialog.Label1->accessibleName(),
               QString::fromStdString("Replace " + (dir / "p0_wm.jpg") + "?"));
      QTest::mouseClick(dialog.btnYes, Qt::LeftButton);
    });
    answerer.start(1);
    // Cancel once the second picture is done (3 steps per picture).
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, &progress, [&] {
      if (progress.Position() >= 6 && progress.btnCancel->isEnabled())
        QTest::mouseClick(progress.btnCancel, Qt::LeftButton);
    });
    watcher.start(0);

    TOutputSettings settings;
    TSession::TStart end = session.Watermark(settings, progress);
    progress.End();
    QCOMPARE(int(end), int(TSession::TStart::Cancelled));
    QCOMPARE(asked, 1);
    QVERIFY(askedWhileOwnerDisabled);
    QVERIFY(fs::exists(dir / "p1_wm.jpg"));
    QVERIFY(!fs::exists(dir / "p3_wm.jpg"));
    QVERIFY(owner.isEnabled());
  }

  // --- the window's run on workers ---

  void windowStaysResponsiveAndAsksInListOrder() {
    test::TTempDir dir;
    TPluginManager plugins(test::BinDir().string());
    const std::vector<std::string> paths = MakePictures(plugins, dir, 6);
    for (const char* name : {"out/p2.jpg", "out/p4.jpg"}) test::WriteFileBytes(dir.Path() / name, "old");
    QMainWindow owner;
    owner.show();
    TfrmWMProgress progress(&owner);
    TfrmExtYesNoCancel dialog(&owner);
    TExtYesNoCancel question(dialog.AskFunc());
    TBatchRunner runner(plugins, question);
    std::vector<std::string> asked;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, &dialog, [&] {
      if (!dialog.isVisible()) return;
      // every picture before the one asked about is in place
      std::string before;
      for (int i = 0; i < 6; ++i)
        if (fs::exists(dir.Path() / ("out/p" + std::to_string(i) + ".jpg"))) before += std::to_string(i);
      asked.push_back(dialog.Label1->accessibleName().toStdString() + " " + before);
      QTest::mouseClick(dialog.btnYes, Qt::LeftButton);
    });
    answerer.start(1);
    // The window's thread handles its timers all along the run.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
      if (sinceTick.isValid()) longestGap = std::max(longestGap, sinceTick.elapsed());
      sinceTick.start();
    });
    ticker.start(5);

    std::atomic<int> draws{0};
    TSlowMark mark(300, draws);
    TOutputSettings settings;
    settings.Destination.Placement = plOtherFolder;
    settings.Destination.DestFolder = dir / "out";
    settings.Destination.OverwriteExisting = owAsk;
    TRunOptions options;
    options.Jobs = 2;
    progress.Begin("Watermarking files...", 18);
    sinceTick.invalidate();
    QCOMPARE(int(runner.ProcessFiles(paths, settings, mark, progress, options)), int(TRunEnd::Completed));
    ticker.stop();
    progress.End();
    QCOMPARE(draws.load(), 6);
    const std::string out = dir / "out";
    QCOMPARE(asked, (std::vector<std::string>{"Replace " + out + "/p2.jpg? 0124",
                                              "Replace " + out + "/p4.jpg? 01234"}));
    // Each picture sleeps 300 ms on a worker; the window never waited that long.
    QVERIFY2(longestGap < 150, qPrintable(QString("the window was frozen for %1 ms").arg(longestGap)));
  }

  void cancelActsWithinOnePicturePerWorker() {
    test::TTempDir dir;
    TPluginManager plugins(test::BinDir().string());
    const std::vector<std::string> paths = MakePictures(plugins, dir, 12);
    QMainWindow owner;
    owner.show();
    TfrmWMProgress progress(&owner);
    TExtYesNoCancel question(nullptr);
    TBatchRunner runner(plugins, question);
    std::atomic<int> draws{0};
    TSlowMark mark(200, draws);
    TOutputSettings settings;
    settings.Destination.Placement = plOtherFolder;
    settings.Destination.DestFolder = dir / "out";
    TRunOptions options;
    options.Jobs = 2;
    QElapsedTimer sinceCancel;
    QTimer watcher;  // Cancel once the first picture is in place
    connect(&watcher, &QTimer::timeout, &progress, [&] {
      if (progress.Position() >= 3 && progress.btnCancel->isEnabled()) {
        QTest::mouseClick(progress.btnCancel, Qt::LeftButton);
        sinceCancel.start();
      }
    });
    watcher.start(1);
    progress.Begin("Watermarking files...", 36);
    QCOMPARE(int(runner.ProcessFiles(paths, settings, mark, progress, options)), int(TRunEnd::Cancelled));
    const qint64 took = sinceCancel.elapsed();
    progress.End();
    QCOMPARE(progress.Label1->text(), QString("Terminating..."));
    // The workers finish the picture they are at (200 ms) and take no other;
    // the rest of the list would have taken a second and more.
    QVERIFY2(took < 500, qPrintable(QString("the run went on for %1 ms after Cancel").arg(took)));
    QVERIFY(draws.load() <= 2 + 3);
    QVERIFY(fs::exists(dir.Path() / "out/p0.jpg"));
    for (const auto& entry : fs::directory_iterator(dir.Path() / "out"))
      QVERIFY2(entry.path().filename().string()[0] != '.', "a hidden file was left");
    QVERIFY(owner.isEnabled());
  }

  void summaryListsTheFailedPictures() {
    TRunStats stats;
    stats.Written = 5;
    stats.Failed = 2;
    stats.Failures = {{2, "/in/b.jpg", "TPluginManager::LoadBitmapA::198 - Error while loading /in/b.jpg!"},
                      {7, "/in/g.jpg", "SaveBitmap::1 - Error while saving /out/g.jpg!"}};
    TfrmRunSummary summary("Resizing", stats);
    summary.show();
    QVERIFY(QTest::qWaitForWindowExposed(&summary));
    QCOMPARE(summary.windowTitle(), QString("Resizing"));
    QCOMPARE(summary.lblCounts->text(), QString("5 picture(s) written, 2 failed."));
    QCOMPARE(summary.memFailed->toPlainText(),
             QString("/in/b.jpg: TPluginManager::LoadBitmapA::198 - Error while loading /in/b.jpg!\n"
                     "/in/g.jpg: SaveBitmap::1 - Error while saving /out/g.jpg!"));
    QVERIFY(summary.memFailed->isReadOnly());
    QCOMPARE(summary.memFailed->accessibleName(), QString("Pictures that failed:"));
    QCOMPARE(summary.btnOK->accessibleName(), QString("OK"));
    QTest::keyClick(&summary, Qt::Key_Return);
    QVERIFY(!summary.isVisible());
    QCOMPARE(summary.result(), int(QDialog::Accepted));
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TRunDialogsTest)
#include "RunDialogsTest.moc"
