#pragma once

// The main function of a Qt Test program for dialogs and controls: the
// offscreen platform, a private runtime folder, English texts, and test mode
// for QStandardPaths so nothing of the user's is read or written.
//
//   class TNumEditTest : public QObject { Q_OBJECT ... };
//   TVX_QTEST_MAIN(TNumEditTest)
//   #include "NumEditTest.moc"

#include <stdlib.h>

#include <clocale>
#include <string>

#include <QApplication>
#include <QStandardPaths>
#include <QTest>

namespace tvx::test {

inline void PrepareQtTestEnvironment() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LANGUAGE", "en", 1);
  static std::string runtime = [] {
    char pattern[] = "/tmp/tvx-qtest-XXXXXX";
    const char* made = mkdtemp(pattern);  // mode 0700, as Qt wants it
    return std::string(made ? made : "/tmp");
  }();
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  QStandardPaths::setTestModeEnabled(true);
}

}  // namespace tvx::test

#define TVX_QTEST_MAIN(TestClass) TVX_QTEST_MAIN_WITH_APP(QApplication, TestClass)

// The same with the program's own application class (a QApplication
// subclass constructed from argc and argv).
#define TVX_QTEST_MAIN_WITH_APP(AppClass, TestClass) \
  int main(int argc, char** argv) {                  \
    ::tvx::test::PrepareQtTestEnvironment();         \
    AppClass app(argc, argv);                        \
    std::setlocale(LC_NUMERIC, "C");                 \
    app.setAttribute(Qt::AA_Use96Dpi, true);         \
    TestClass test;                                  \
    return QTest::qExec(&test, argc, argv);          \
  }
