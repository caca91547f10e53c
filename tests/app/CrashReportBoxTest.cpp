// The crash report's boxes and the guard that keeps errors out of the event
// loop, on the offscreen platform. "mailto:" links go to a handler of the
// test instead of a mail program.

#include <QAbstractButton>
#include <QClipboard>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <new>
#include <thread>

#include "app/CrashReport.h"
#include "app/ui/CrashReportBox.h"
#include "app/ui/Guard.h"
#include "support/ui/QtTestMain.h"
#include "util/Error.h"

namespace tvx {
namespace {

// Throws from its event handler, as a faulty command handler would.
class TThrowingObject : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) RaiseError("TThrowingObject::event", 1, "handler failed!");
    if (e->type() == QEvent::User + 1) throw std::bad_alloc();
    return QObject::event(e);
  }
};

struct TSeenBox {
  QString Title, Text, Detail;
  QMessageBox::Icon Icon;
  QMessageBox::StandardButtons Buttons;
};

TSeenBox See(QMessageBox& box) {
  return {box.windowTitle(), box.text(), box.detailedText(), box.icon(), box.standardButtons()};
}

}  // namespace

class TCrashReportBoxTest : public QObject {
  Q_OBJECT

 public slots:
  // QDesktopServices hands "mailto:" links here.
  void handleMail(const QUrl& url) { urls_ << url; }

 private slots:
  void initTestCase() { QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "handleMail"); }
  void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("mailto")); }
  void init() {
    urls_.clear();
    reports_.clear();
    DumpObject().Install("2.2", false);
    DumpObject().Reset();
    SetErrorReporter([this](TDumpObject& dump) {
      reports_ << QString::fromStdString(dump.ClassName() + "|" + dump.Message());
      dump.Reset();
    });
    QGuiApplication::clipboard()->setText(QStringLiteral("left by the user"));
  }

  void answers_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
  }
  void answers() {
    QFETCH(bool, yes);
    TDumpObject dump;
    dump.Install("2.2", false);
    dump.RecordError(std::make_exception_ptr(EError("Open::137 - Unknown chunk class (Junk)!")));
    TCrashReportBox box(dump, nullptr);
    QList<TSeenBox> seen;
    box.Exec = [&](QMessageBox& b) {
      seen << See(b);
      return seen.size() == 1 ? (yes ? QMessageBox::Yes : QMessageBox::No) : QMessageBox::Ok;
    };
    QCOMPARE(box.Run(), yes);

    QCOMPARE(seen.size(), yes ? 2 : 1);
    QCOMPARE(seen[0].Title, QStringLiteral("Error"));
    QCOMPARE(seen[0].Icon, QMessageBox::Critical);
    QCOMPARE(seen[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen[0].Text,
             QStringLiteral(
                 "We are sorry, but Tarvex raised an exception.\n"
                 "We would be very thankful if you let us know about this problem. If you answer 'YES' we\n"
                 "will start your email client and copy problem report to the clipboard, so you need just\n"
                 "to paste it in the message. Thank you."));
    QCOMPARE(seen[0].Detail, QStringLiteral("Open::137 - Unknown chunk class (Junk)!"));
    const QString clipboard = QGuiApplication::clipboard()->text();
    if (yes) {
      QCOMPARE(seen[1].Title, QStringLiteral("Bug Report"));
      QCOMPARE(seen[1].Text, QStringLiteral("Report copied to the clipboard."));
      QCOMPARE(seen[1].Icon, QMessageBox::Information);
      QVERIFY(clipboard.startsWith(QStringLiteral("Application: Tarvex\nVersion: 2.2\nFile Size: ")));
      QVERIFY(clipboard.contains(QStringLiteral(
          "\n\nException Message: Open::137 - Unknown chunk class (Junk)!\nException Class: tvx::EError\n")));
      QCOMPARE(urls_,
               QList<QUrl>{QUrl(QStringLiteral("mailto:support@tarvex.example.org?subject=Bug_Report"))});
    } else {
      QCOMPARE(clipboard, QStringLiteral("left by the user"));
      QVERIFY(urls_.isEmpty());
    }
    QCOMPARE(QString::fromStdString(dump.Message()), QString());
  }

  // The real modal boxes, answered through their buttons by a timer.
  void realModalBoxesAreAnsweredThroughTheirButtons() {
    TDumpObject dump;
    dump.Install("2.2", false);
    dump.RecordError("std::bad_alloc", "std::bad_alloc");
    QStringList titles;
    const QList<QMessageBox::StandardButton> answers{QMessageBox::Yes, QMessageBox::Ok};
    int attempts = 0;
    QTimer answerer;
    answerer.setInterval(10);
    connect(&answerer, &QTimer::timeout, [&] {
      if (++attempts > 1000) {  // never hang the run: close whatever is open
        for (QWidget* w : QApplication::topLevelWidgets())
          if (auto* b = qobject_cast<QMessageBox*>(w)) b->done(QMessageBox::No);
        return;
      }
      auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!b || !b->isVisible() || titles.size() >= answers.size()) return;
      titles << b->windowTitle();
      b->button(answers[titles.size() - 1])->click();
    });
    answerer.start();
    QVERIFY(TCrashReportBox(dump, nullptr).Run());
    answerer.stop();
    QCOMPARE(titles, (QStringList{QStringLiteral("Error"), QStringLiteral("Bug Report")}));
    QVERIFY(
        QGuiApplication::clipboard()->text().contains(QStringLiteral("Exception Class: std::bad_alloc\n")));
    QCOMPARE(urls_.size(), 1);
  }

  void anErrorInAnEventHandlerIsReportedAndTheLoopGoesOn() {
    TThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::processEvents();
    // two errors in a row: two reports, each with only its own error
    QCOMPARE(reports_, (QStringList{QStringLiteral("tvx::EError|TThrowingObject::event::1 - handler failed!"),
                                    QStringLiteral("std::bad_alloc|std::bad_alloc")}));
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    QTRY_VERIFY(ran);
  }

  void anErrorInATimerSlotIsReported() {
    QTimer::singleShot(0, [] { RaiseError("Slot", 7, "from a slot"); });
    QTRY_COMPARE(reports_, QStringList{QStringLiteral("tvx::EError|Slot::7 - from a slot")});
  }

  void guardedCallsReportAndSwallow_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<QString>("report");
    QTest::newRow("nothing raised") << 0 << true << QString();
    QTest::newRow("EError") << 1 << false << QStringLiteral("tvx::EError|Save::2 - failed");
    QTest::newRow("bad_alloc") << 2 << false << QStringLiteral("std::bad_alloc|std::bad_alloc");
    QTest::newRow("not a std::exception") << 3 << false << QStringLiteral("int|");
  }
  void guardedCallsReportAndSwallow() {
    QFETCH(int, kind);
    QFETCH(bool, completed);
    QFETCH(QString, report);
    const bool result = GuardedCall([kind] {
      if (kind == 1) RaiseError("Save", 2, "failed");
      if (kind == 2) throw std::bad_alloc();
      if (kind == 3) throw 3;
    });
    QCOMPARE(result, completed);
    QCOMPARE(reports_, report.isEmpty() ? QStringList() : QStringList{report});
  }

  // A second error while the first one's report shows (the box's own
  // event loop runs) goes to standard error, not into a second box, and
  // leaves the first error's record alone.
  void anErrorDuringAReportDoesNotStackBoxes() {
    QString recordDuringReport;
    SetErrorReporter([&](TDumpObject& dump) {
      reports_ << QString::fromStdString(dump.Message());
      GuardedCall([] { RaiseError("Nested", 1, "while reporting"); });
      recordDuringReport = QString::fromStdString(dump.Message());
      dump.Reset();
    });
    GuardedCall([] { RaiseError("Outer", 1, "first"); });
    QCOMPARE(reports_, QStringList{QStringLiteral("Outer::1 - first")});
    QCOMPARE(recordDuringReport, QStringLiteral("Outer::1 - first"));
    // and the next error is reported again
    GuardedCall([] { RaiseError("Later", 1, "second"); });
    QCOMPARE(reports_.size(), 2);
  }

  // The post function of the preview loader: tasks from another thread run
  // on this one, guarded.
  void queuedPostRunsTasksOnTheUserInterfaceThread() {
    QObject context;
    const TPreviewLoader::TPostFunc post = QueuedPost(&context);
    QThread* ranOn = nullptr;
    std::thread worker([&] {
      post([&] { ranOn = QThread::currentThread(); });
      post([] { RaiseError("Task", 1, "failed"); });
    });
    worker.join();
    QCOMPARE(ranOn, static_cast<QThread*>(nullptr));  // nothing before the loop runs
    QTRY_COMPARE(ranOn, QThread::currentThread());
    QTRY_COMPARE(reports_, QStringList{QStringLiteral("tvx::EError|Task::1 - failed")});

    // tasks of a context that is gone are dropped
    bool ran = false;
    {
      QObject gone;
      QueuedPost (&gone)([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    QVERIFY(!ran);
  }

 private:
  QList<QUrl> urls_;
  QStringList reports_;
};

}  // namespace tvx

TVX_QTEST_MAIN_WITH_APP(tvx::TGuardedApplication, tvx::TCrashReportBoxTest)
#include "CrashReportBoxTest.moc"
