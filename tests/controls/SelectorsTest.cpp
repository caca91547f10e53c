#include <cmath>
#include <numbers>
#include <optional>

#include <QSignalSpy>
#include <QTest>

#include "controls/ui/AngleSelector.h"
#include "controls/ui/ColorSelector.h"
#include "support/ui/QtTestMain.h"

using namespace tvx;

namespace {

constexpr double kPi = std::numbers::pi;

// The pixel at widget position (x, y) as #AARRGGBB, comparable whatever
// colour model the other side was made in.
QString PixelAt(QWidget& widget, int x, int y) {
  const QImage shot = widget.grab().toImage();
  const qreal ratio = shot.devicePixelRatio();
  return QColor::fromRgba(shot.pixel(qRound(x * ratio), qRound(y * ratio))).name(QColor::HexArgb);
}

QString Name(const QColor& color) { return color.toRgb().name(QColor::HexArgb); }

// Stands in for the colour dialog: records what it was shown, answers as told.
struct TFakeChooser {
  std::optional<uint32_t> answer;
  int calls = 0;
  uint32_t shown = 0;
  TColorSelector::TChooser Get() {
    return [this](uint32_t current, QWidget*) {
      ++calls;
      shown = current;
      return answer;
    };
  }
};

}  // namespace

class TSelectorsTest : public QObject {
  Q_OBJECT

 private slots:
  void colorSwatchIsFramedTwice() {
    TColorSelector swatch;
    QCOMPARE(swatch.sizeHint(), QSize(45, 21));
    QCOMPARE(swatch.size(), QSize(45, 21));
    swatch.SetColor(0x000000FFu);  // red in the low byte
    const QColor shadow = swatch.palette().color(QPalette::Dark);
    QCOMPARE(PixelAt(swatch, 0, 0), Name(shadow));
    QCOMPARE(PixelAt(swatch, 44, 20), Name(shadow));
    QCOMPARE(PixelAt(swatch, 1, 1), Name(QColor(Qt::white)));
    QCOMPARE(PixelAt(swatch, 43, 19), Name(QColor(Qt::white)));
    QCOMPARE(PixelAt(swatch, 2, 2), Name(QColor(255, 0, 0)));
    QCOMPARE(PixelAt(swatch, 22, 10), Name(QColor(255, 0, 0)));
    swatch.SetColor(0x00804020u);  // BB=80 GG=40 RR=20
    QCOMPARE(PixelAt(swatch, 22, 10), Name(QColor(0x20, 0x40, 0x80)));
  }

  void chooser_data() {
    QTest::addColumn<int>("how");  // 0 double click, 1 Space, 2 Enter, 3 Return
    QTest::addColumn<bool>("confirm");
    QTest::newRow("double click, confirmed") << 0 << true;
    QTest::newRow("double click, cancelled") << 0 << false;
    QTest::newRow("Space, confirmed") << 1 << true;
    QTest::newRow("Enter, confirmed") << 2 << true;
    QTest::newRow("Return, cancelled") << 3 << false;
  }
  void chooser() {
    QFETCH(int, how);
    QFETCH(bool, confirm);
    TColorSelector swatch;
    swatch.show();
    QVERIFY(QTest::qWaitForWindowExposed(&swatch));
    swatch.SetColor(0x00123456u);
    TFakeChooser fake;
    if (confirm) fake.answer = 0x00FF0000u;  // blue
    swatch.SetChooser(fake.Get());
    QSignalSpy changed(&swatch, &TColorSelector::colorChanged);
    swatch.setFocus();
    switch (how) {
      case 0:
        QTest::mouseDClick(&swatch, Qt::LeftButton);
        break;
      case 1:
        QTest::keyClick(&swatch, Qt::Key_Space);
        break;
      case 2:
        QTest::keyClick(&swatch, Qt::Key_Enter);
        break;
      default:
        QTest::keyClick(&swatch, Qt::Key_Return);
    }
    QCOMPARE(fake.calls, 1);
    QCOMPARE(fake.shown, 0x00123456u);  // opened with the current colour
    QCOMPARE(changed.count(), confirm ? 1 : 0);
    QCOMPARE(swatch.Color(), confirm ? 0x00FF0000u : 0x00123456u);
    if (confirm) {
      QCOMPARE(changed.at(0).at(0).toUInt(), 0x00FF0000u);
      QCOMPARE(PixelAt(swatch, 22, 10), Name(QColor(0, 0, 255)));
    }
  }

  void colorSetInCodeSignalsNothing() {
    TColorSelector swatch;
    QSignalSpy changed(&swatch, &TColorSelector::colorChanged);
    swatch.SetColor(0x00FFFFFFu);
    QCOMPARE(swatch.Color(), 0x00FFFFFFu);
    QCOMPARE(changed.count(), 0);
  }

  void pointingSetsTheAngle_data() {
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<double>("angle");
    QTest::newRow("straight below") << QPoint(25, 45) << kPi / 2;
    QTest::newRow("straight left") << QPoint(5, 25) << kPi;
    QTest::newRow("right") << QPoint(45, 25) << 0.0;
    QTest::newRow("above") << QPoint(25, 2) << -kPi / 2;
    QTest::newRow("down right") << QPoint(40, 40) << kPi / 4;
  }
  void pointingSetsTheAngle() {
    QFETCH(QPoint, at);
    QFETCH(double, angle);
    TAngleSelector dial;
    QCOMPARE(dial.size(), QSize(50, 50));
    dial.SetAngle(0.5f);
    QSignalSpy changed(&dial, &TAngleSelector::angleChanged);
    QTest::mousePress(&dial, Qt::LeftButton, {}, at);
    QTest::mouseRelease(&dial, Qt::LeftButton, {}, at);
    QVERIFY(std::abs(dial.Angle() - angle) < 1e-6);
    QCOMPARE(changed.count(), 1);
    QTest::mousePress(&dial, Qt::LeftButton, {}, at);  // the same spot again
    QTest::mouseRelease(&dial, Qt::LeftButton, {}, at);
    QCOMPARE(changed.count(), 1);
  }

  void draggingFollowsThePointerUntilRelease() {
    TAngleSelector dial;
    QSignalSpy changed(&dial, &TAngleSelector::angleChanged);
    QTest::mousePress(&dial, Qt::LeftButton, {}, QPoint(25, 45));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 25), dial.mapToGlobal(QPointF(5, 25)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dial, &move);
    QVERIFY(std::abs(dial.Angle() - kPi) < 1e-6);
    QTest::mouseRelease(&dial, Qt::LeftButton, {}, QPoint(5, 25));
    QMouseEvent hover(QEvent::MouseMove, QPointF(25, 2), dial.mapToGlobal(QPointF(25, 2)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&dial, &hover);
    QVERIFY(std::abs(dial.Angle() - kPi) < 1e-6);
    QCOMPARE(changed.count(), 2);
  }

  void setAngleSignalsChangesOnly() {
    TAngleSelector dial;
    QSignalSpy changed(&dial, &TAngleSelector::angleChanged);
    dial.SetAngle(0);
    QCOMPARE(changed.count(), 0);
    dial.SetAngle(1.25f);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toFloat(), 1.25f);
    dial.SetAngle(1.25f);
    dial.SetAngle(std::nanf(""));
    dial.SetAngle(INFINITY);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(dial.Angle(), 1.25f);
  }

  void arrowKeysTurnByOneDegree() {
    TAngleSelector dial;
    dial.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dial));
    dial.setFocus();
    QSignalSpy changed(&dial, &TAngleSelector::angleChanged);
    const double degree = kPi / 180;
    QTest::keyClick(&dial, Qt::Key_Right);
    QVERIFY(std::abs(dial.Angle() - degree) < 1e-6);
    QTest::keyClick(&dial, Qt::Key_Up);
    QVERIFY(std::abs(dial.Angle() - 2 * degree) < 1e-6);
    QTest::keyClick(&dial, Qt::Key_Left);
    QTest::keyClick(&dial, Qt::Key_Down);
    QTest::keyClick(&dial, Qt::Key_Down);
    QVERIFY(std::abs(dial.Angle() + degree) < 1e-6);
    QTest::keyClick(&dial, Qt::Key_PageDown);
    QVERIFY(std::abs(dial.Angle() + 16 * degree) < 1e-5);
    QCOMPARE(changed.count(), 6);
  }

  void needlePointsAtTheAngle_data() {
    QTest::addColumn<double>("angle");
    QTest::addColumn<QPoint>("onNeedle");
    QTest::addColumn<QPoint>("offNeedle");
    QTest::newRow("right") << 0.0 << QPoint(40, 25) << QPoint(25, 40);
    QTest::newRow("down") << kPi / 2 << QPoint(25, 40) << QPoint(40, 25);
    QTest::newRow("left") << kPi << QPoint(10, 25) << QPoint(40, 25);
  }
  void needlePointsAtTheAngle() {
    QFETCH(double, angle);
    QFETCH(QPoint, onNeedle);
    QFETCH(QPoint, offNeedle);
    TAngleSelector dial;
    dial.SetAngle(static_cast<float>(angle));
    QCOMPARE(PixelAt(dial, onNeedle.x(), onNeedle.y()), Name(QColor(Qt::black)));
    QCOMPARE(PixelAt(dial, offNeedle.x(), offNeedle.y()), Name(QColor(Qt::white)));
    // outside the circle the control's own background
    QCOMPARE(PixelAt(dial, 0, 0), Name(dial.palette().color(QPalette::Window)));
  }
};

TVX_QTEST_MAIN(TSelectorsTest)
#include "SelectorsTest.moc"
