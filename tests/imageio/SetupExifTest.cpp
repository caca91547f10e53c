// "JPEG Properties" on the offscreen platform.

#include <functional>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "imageio/ui/frmSetupExif.h"
#include "support/ui/QtTestMain.h"

namespace tvx {
namespace {

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

Watermark::TWatermarkExif Sample() {
  Watermark::TWatermarkExif exif;
  exif.WriteCopyright = true;
  exif.Title = "Old title";
  exif.Copyright = "(c) Studio";
  exif.Comment = "one\r\ntwo";
  return exif;
}

}  // namespace

class TSetupExifTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheRecordWithoutTickingAnything() {
    TfrmSetupExif dialog;
    QCOMPARE(dialog.windowTitle(), QString("JPEG Properties"));
    dialog.SetValues(Sample());
    QVERIFY(!dialog.chkTitle->isChecked());
    QVERIFY(dialog.chkCopyright->isChecked());
    QVERIFY(!dialog.chkComment->isChecked());
    QCOMPARE(dialog.txtTitle->text(), QString("Old title"));
    QCOMPARE(dialog.memComment->toPlainText(), QString("one\ntwo"));
    QVERIFY(dialog.Values() == Sample());
  }

  void typingTicksTheBox_data() {
    QTest::addColumn<int>("field");
    QTest::newRow("title") << 0;
    QTest::newRow("copyright") << 1;
    QTest::newRow("artist") << 2;
    QTest::newRow("comment") << 3;
  }
  void typingTicksTheBox() {
    QFETCH(int, field);
    TfrmSetupExif dialog;
    dialog.SetValues(Watermark::TWatermarkExif());
    dialog.show();
    QCheckBox* boxes[] = {dialog.chkTitle, dialog.chkCopyright, dialog.chkArtist, dialog.chkComment};
    QWidget* inputs[] = {dialog.txtTitle, dialog.txtCopyright, dialog.txtArtist, dialog.memComment};
    QTest::keyClicks(inputs[field], "x");
    for (int i = 0; i < 4; ++i) QCOMPARE(boxes[i]->isChecked(), i == field);
  }

  void tickingMovesTheFocusToTheInput_data() { typingTicksTheBox_data(); }
  void tickingMovesTheFocusToTheInput() {
    QFETCH(int, field);
    TfrmSetupExif dialog;
    dialog.SetValues(Watermark::TWatermarkExif());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCheckBox* boxes[] = {dialog.chkTitle, dialog.chkCopyright, dialog.chkArtist, dialog.chkComment};
    QWidget* inputs[] = {dialog.txtTitle, dialog.txtCopyright, dialog.txtArtist, dialog.memComment};
    dialog.btnOK->setFocus();
    boxes[field]->click();
    QVERIFY(inputs[field]->hasFocus());
    // unticking leaves the focus where it is
    dialog.btnOK->setFocus();
    boxes[field]->click();
    QVERIFY(dialog.btnOK->hasFocus());
  }

  void okStoresEveryTextAndCancelNothing() {
    TfrmSetupExif dialog;
    Watermark::TWatermarkExif exif = Sample();
    WhenShown(dialog, [&] {
      QTest::keyClicks(dialog.txtArtist, "Me");
      dialog.chkCopyright->click();  // unticked: its text is kept for later
      dialog.memComment->moveCursor(QTextCursor::End);
      QTest::keyClick(dialog.memComment, Qt::Key_Return);
      QTest::keyClicks(dialog.memComment, "three");
      dialog.btnCancel->click();
    });
    QVERIFY(!dialog.Edit(exif));
    QVERIFY(exif == Sample());

    WhenShown(dialog, [&] {
      QVERIFY(!dialog.chkArtist->isChecked());  // filled again from the record
      QTest::keyClicks(dialog.txtArtist, "Me");
      dialog.chkCopyright->click();
      dialog.memComment->moveCursor(QTextCursor::End);
      QTest::keyClick(dialog.memComment, Qt::Key_Return);
      QTest::keyClicks(dialog.memComment, "three");
      dialog.btnOK->click();
    });
    QVERIFY(dialog.Edit(exif));
    QVERIFY(exif.WriteArtist);
    QCOMPARE(exif.Artist, std::string("Me"));
    QVERIFY(!exif.WriteCopyright);
    QCOMPARE(exif.Copyright, std::string("(c) Studio"));
    QVERIFY(exif.WriteComment);
    QCOMPARE(exif.Comment, std::string("one\r\ntwo\r\nthree"));
    QVERIFY(!exif.WriteTitle);
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TSetupExifTest)
#include "SetupExifTest.moc"
