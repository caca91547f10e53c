#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/ui/BalloonTip.h"
#include "controls/ui/NumEdit.h"
#include "controls/ui/UpDown.h"
#include "support/ui/QtTestMain.h"

namespace tvx {

// The field as the user meets it: keys typed into a shown window.
class TNumEditTest : public QObject {
  Q_OBJECT

 private:
  struct TWindow {
    QWidget window;
    TNumEdit* edit;
    QLineEdit* other;
    TWindow() {
      auto* layout = new QVBoxLayout(&window);
      edit = new TNumEdit(&window);
      other = new QLineEdit(&window);
      layout->addWidget(edit);
      layout->addWidget(other);
      window.show();
      window.activateWindow();
      edit->setFocus();
    }
  };

  // keyClicks knows ASCII only; other characters arrive as key events with text.
  static void Type(QWidget* w, const QString& text) {
    for (QChar c : text) {
      if (c.unicode() < 128)
        QTest::keyClick(w, c.toLatin1());
      else
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }

  static QString BalloonTitle(QWidget* w) {
    TBalloonTip* tip = FindBalloonTip(w);
    return tip && tip->isVisible() ? tip->Title() : QString();
  }
  static QString BalloonText(QWidget* w) {
    TBalloonTip* tip = FindBalloonTip(w);
    return tip && tip->isVisible() ? tip->Text() : QString();
  }

 private slots:
  void typing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("acceptFloat");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("shown");     // after the last key
    QTest::addColumn<QString>("finished");  // after Enter
    QTest::addColumn<QString>("title");     // of the last balloon; empty: none
    QTest::addColumn<QString>("text");

    QTest::newRow("100 with minimum 3") << "100" << false << 3 << 10000 << "100"
                                        << "100"
                                        << ""
                                        << "";
    QTest::newRow("1 with minimum 3, then Enter") << "1" << false << 3 << 10000 << "1"
                                                  << "3"
                                                  << "Invalid number"
                                                  << "Entered number (1) is too small.";
    QTest::newRow("1500 with maximum 1000") << "1500" << false << 0 << 1000 << "1000"
                                            << "1000"
                                            << "Invalid number"
                                            << "Entered number (1500) is too huge.";
    QTest::newRow("-5 with minimum 0") << "-5" << false << 0 << 1000 << "0"
                                       << "0"
                                       << "Invalid number"
                                       << "Entered number (-5) is too small.";
    QTest::newRow("letters refused") << "12ab3" << false << 0 << 1000 << "123"
                                     << "123"
                                     << "Invalid char"
                                     << "Only valid numbers are allowed.";
    QTest::newRow("accented letter refused") << QString::fromUtf8("4\u00e95") << true << 0 << 1000 << "45"
                                             << "45"
                                             << "Invalid char"
                                             << "Only valid numbers are allowed.";
    QTest::newRow("separator refused for integers") << "1.5" << false << 0 << 1000 << "15"
                                                    << "15"
                                                    << "Invalid number"
                                                    << "Only integers are allowed.";
    QTest::newRow("separator accepted for reals") << "2.5" << true << 0 << 1000 << "2.5"
                                                  << "2.5"
                                                  << ""
                                                  << "";
    QTest::newRow("negative number in a negative range") << "-10" << false << -100 << -5 << "-10"
                                                         << "-10"
                                                         << ""
                                                         << "";
    QTest::newRow("punctuation passes") << "1,5+" << true << -1000 << 1000000 << "1,5+"
                                        << "1,5+"
                                        << ""
                                        << "";
  }

  void typing() {
    QFETCH(QString, typed);
    QFETCH(bool, acceptFloat);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QString, shown);
    QFETCH(QString, finished);
    QFETCH(QString, title);
    QFETCH(QString, text);

    TWindow w;
    w.edit->SetAcceptFloat(acceptFloat);
    w.edit->SetMin(min);
    w.edit->SetMax(max);
    Type(w.edit, typed);
    QCOMPARE(w.edit->text(), shown);
    QTest::keyClick(w.edit, Qt::Key_Return);
    QCOMPARE(w.edit->text(), finished);
    QCOMPARE(BalloonTitle(w.edit), title);
    QCOMPARE(BalloonText(w.edit), text);
  }

  void changedFollowsEveryChangeAfterTheCheck() {
    TWindow w;
    w.edit->SetMin(0);
    w.edit->SetMax(1000);
    QStringList seen;
    connect(w.edit, &TNumEdit::changed, w.edit, [&] { seen << w.edit->text(); });
    QTest::keyClicks(w.edit, "15x00");
    // the refused letter changes nothing; the clamp is seen, not the typed 1500
    QCOMPARE(seen, QStringList({"1", "15", "150", "1000"}));
  }

  void focusLeavingEndsEditing() {
    TWindow w;
    QVERIFY(QTest::qWaitForWindowActive(&w.window));
    w.edit->SetAcceptFloat(false);
    w.edit->SetMin(3);
    w.edit->SetMax(10000);
    w.edit->setFocus();
    QTest::keyClicks(w.edit, "2");
    QCOMPARE(w.edit->text(), QString("2"));
    w.other->setFocus();
    QCOMPARE(w.edit->text(), QString("3"));
    QCOMPARE(BalloonText(w.edit), QString("Entered number (2) is too small."));
  }

  void enterStillReachesTheDefaultButton() {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new TNumEdit(&dialog);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    layout->addWidget(edit);
    layout->addWidget(ok);
    edit->SetMin(3);
    int valueAtAccept = -1;
    connect(ok, &QPushButton::clicked, &dialog, [&] {
      valueAtAccept = edit->GetIntValue();
      dialog.accept();
    });
    dialog.show();
    edit->setFocus();
    QTest::keyClicks(edit, "1");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(valueAtAccept, 3);  // the field was clamped before the button read it
  }

  void programSetsQuietly_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("inside") << "50"
                            << "50";
    QTest::newRow("below a positive minimum") << "1"
                                              << "3";
    QTest::newRow("above the maximum") << "20000"
                                       << "10000";
    QTest::newRow("negative") << "-4"
                              << "3";
  }

  void programSetsQuietly() {
    QFETCH(QString, value);
    QFETCH(QString, shown);
    TWindow w;
    w.edit->SetMin(3);
    w.edit->SetMax(10000);
    QSignalSpy changed(w.edit, &TNumEdit::changed);
    w.edit->SetValueText(value);
    QCOMPARE(w.edit->text(), shown);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(BalloonTitle(w.edit), QString());  // loading a setting shows nothing
  }

  void readings() {
    TWindow w;
    w.edit->setText("12px");
    QCOMPARE(w.edit->GetIntValue(), 12);
    w.edit->setText("-3.5");
    QCOMPARE(w.edit->GetIntValue(), -35);
    QCOMPARE(w.edit->GetFloatValue(), -3.5);
    w.edit->setText("99999999999");
    QCOMPARE(w.edit->GetIntValue(), 2147483647);
    w.edit->SetFloatValue(1e20);
    QCOMPARE(w.edit->GetFloatValue(), 1e20);  // no exponent to be misread
    w.edit->SetFloatValue(2.5);
    QCOMPARE(w.edit->text(), QString("2.5"));
  }

  void shortcutsAreNotFiltered() {
    TWindow w;
    w.edit->setText("123");
    QTest::keyClick(w.edit, Qt::Key_A, Qt::ControlModifier);  // select all
    QCOMPARE(w.edit->selectedText(), QString("123"));
    QCOMPARE(BalloonTitle(w.edit), QString());
  }

  void spinButtonsStepInsideTheirRange() {
    TWindow w;
    w.edit->SetMin(3);
    w.edit->SetMax(10000);
    TUpDown updown(&w.window);
    updown.SetBuddy(w.edit);
    updown.SetRange(3, 10000);
    updown.SetPosition(9999);
    QTest::keyClick(w.edit, Qt::Key_Up);
    QCOMPARE(w.edit->text(), QString("10000"));
    QTest::keyClick(w.edit, Qt::Key_Up);
    QCOMPARE(w.edit->text(), QString("10000"));
    updown.SetPosition(4);
    updown.DownButton()->click();
    updown.DownButton()->click();
    QCOMPARE(w.edit->text(), QString("3"));
    w.edit->setText("");  // an empty field steps from the bottom of the range
    updown.UpButton()->click();
    QCOMPARE(w.edit->text(), QString("4"));
  }

  void balloonGoesWithItsControl() {
    auto* window = new QWidget;
    auto* edit = new TNumEdit(window);
    window->show();
    edit->SetAcceptFloat(false);
    QTest::keyClick(edit, Qt::Key_Period);
    QPointer<TBalloonTip> tip = FindBalloonTip(edit);
    QVERIFY(tip && tip->isVisible());
    QCOMPARE(tip->Icon(), TBalloonIcon::Error);
    QVERIFY(!tip->hasFocus());
    QVERIFY(edit->hasFocus() || !window->isActiveWindow());
    window->hide();
    QVERIFY(!tip->isVisible());  // hides with the control
    delete window;
    QVERIFY(tip.isNull());  // and goes away with it
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TNumEditTest)
#include "NumEditTest.moc"
