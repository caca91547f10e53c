// One window per user, display and settings file: a second start hands its
// message to the window listening on the socket (the sender runs on a thread
// of its own, as it would in its own process); a socket left by a crashed
// window is taken over; refused, oversized and failing messages are answered;
// and the main window opens what it is handed only when no run or dialog is
// in progress.

#include <QApplication>
#include <QDialog>
#include <QLocalSocket>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <future>

#include "app/HandOver.h"
#include "app/Preview.h"
#include "app/Session.h"
#include "app/ui/Form1.h"
#include "app/ui/SingleInstance.h"
#include "controls/ui/FileListBox2.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "util/Error.h"
#include "util/Guard.h"

namespace tvx {

class TSingleInstanceTest : public QObject {
  Q_OBJECT

  QTemporaryDir runtime_;
  QString Socket(const char* name) const { return runtime_.filePath(QLatin1String(name)); }

  // Hands over from another thread while this one serves the events.
  template <class F>
  static auto OnOtherThread(F fn) {
    auto result = std::async(std::launch::async, fn);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result.get();
  }

 private slots:
  void secondStartHandsOverToTheFirst() {
    TSingleInstance first(Socket("a.socket"));
    QCOMPARE(first.Start("first"), TSingleInstance::TRole::Listening);
    QList<QByteArray> received;
    first.OnMessage = [&](const QByteArray& m) {
      received << m;
      return true;
    };
    const QByteArray message("TVXH\0with a zero byte and more", 31);
    const auto role = OnOtherThread([&] { return TSingleInstance(Socket("a.socket")).Start(message); });
    QCOMPARE(role, TSingleInstance::TRole::HandedOver);
    QCOMPARE(received, QList<QByteArray>{message});
  }

  void socketOfACrashedWindowIsTakenOver() {
    // A socket file nobody listens on, as a window killed with -9 leaves it.
    const QByteArray path = Socket("b.socket").toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(QFile::exists(Socket("b.socket")));
    TSingleInstance next(Socket("b.socket"));
    QCOMPARE(next.Start("y"), TSingleInstance::TRole::Listening);
    int received = 0;
    next.OnMessage = [&](const QByteArray&) { return ++received, true; };
    QVERIFY(OnOtherThread([&] { return TSingleInstance::HandOver(Socket("b.socket"), "z", 5000); }));
    QCOMPARE(received, 1);
  }

  void refusedAndFailingMessagesAreAnsweredNo() {
    TSingleInstance window(Socket("c.socket"));
    QCOMPARE(window.Start("w"), TSingleInstance::TRole::Listening);
    window.OnMessage = [](const QByteArray& m) { return m == "take"; };
    QVERIFY(!OnOtherThread([&] { return TSingleInstance::HandOver(Socket("c.socket"), "leave", 5000); }));
    QVERIFY(OnOtherThread([&] { return TSingleInstance::HandOver(Socket("c.socket"), "take", 5000); }));

    // A handler that raises: the sender hears No at once, the error is reported.
    int reported = 0;
    SetUnhandledErrorHandler([&](std::exception_ptr) { ++reported; });
    window.OnMessage = [](const QByteArray&) -> bool { RaiseError("Test", 1, "handler failed"); };
    const bool taken =
        OnOtherThread([&] { return TSingleInstance::HandOver(Socket("c.socket"), "take", 5000); });
    SetUnhandledErrorHandler(nullptr);
    QVERIFY(!taken);
    QCOMPARE(reported, 1);
  }

  void oversizedMessageIsRefusedUnread() {
    TSingleInstance window(Socket("d.socket"));
    QCOMPARE(window.Start("w"), TSingleInstance::TRole::Listening);
    bool called = false;
    window.OnMessage = [&](const QByteArray&) { return called = true; };
    const char answer = OnOtherThread([&] {
      QLocalSocket socket;
      socket.connectToServer(Socket("d.socket"));
      if (!socket.waitForConnected(5000)) return 'x';
      const char claim[4] = {0, 0, 0, 0x40};  // 1 GiB announced, 4 bytes sent
      socket.write(claim, 4);
      socket.waitForBytesWritten(5000);
      if (!socket.waitForReadyRead(5000)) return 't';
      char c = 0;
      socket.getChar(&c);
      return c;
    });
    QCOMPARE(answer, 'R');
    QVERIFY(!called);
  }

  void windowOpensHandedOverFilesWhenNoDialogIsOpen() {
    test::TTempDir dir;
    TSession::TOptions options;
    options.ConfigFileName = dir / ".config";
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir.Path().string() + "/";
    TSession session(options);
    session.Config().WriteBool("GlobalOptions", "FirstRun", false);
    TBitmap32 picture(64, 48);
    picture.Clear(0xFF336699);
    QVERIFY(session.Plugins().SaveBitmap(dir / "a.png", picture));
    QVERIFY(session.Plugins().SaveBitmap(dir / "b.png", picture));
    TForm1 window(session, TCommandLine{});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);  // the first showing's work

    // A dialog is open (the output settings, the editor): nothing changes under it.
    QDialog dialog(&window);
    dialog.setModal(true);
    dialog.show();
    QTRY_VERIFY(QApplication::activeModalWidget() == &dialog);
    window.OpenArguments(ParseCommandLine(
        {test::BinDir().string() + "/Sample Watermarks/Copyright.tvx", dir / "a.png", dir / "missing.png"}));
    QTest::qWait(400);
    QCOMPARE(session.Images().Paths.size(), size_t{0});
    QCOMPARE(session.Layers().Count(), 0);

    dialog.close();
    QTRY_COMPARE(session.Images().Paths.size(), size_t{1});
    QVERIFY(session.Layers().Count() > 0);
    // the picture is shown at once, and the missing one is named
    QTRY_COMPARE(window.Preview().RequestedPath(), dir / "a.png");
    QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("No such file or folder: ")));

    // Later pictures join the list; the one shown stays.
    window.OpenArguments(ParseCommandLine({dir / "b.png"}));
    QTRY_COMPARE(session.Images().Paths.size(), size_t{2});
    QCOMPARE(window.FileListBox().Count(), 2);
    QCOMPARE(window.Preview().RequestedPath(), dir / "a.png");
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TSingleInstanceTest)
#include "SingleInstanceTest.moc"
