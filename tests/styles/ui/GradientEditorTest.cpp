#include <optional>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "raster/Bitmap32.h"
#include "styles/GradientMarkers.h"
#include "styles/ui/GradSelector.h"
#include "styles/ui/frmGradientEditor.h"
#include "support/ui/QtTestMain.h"

using namespace tvx;

namespace {

using M = TGradientMarkers;

QRgb PixelAt(QWidget& widget, int x, int y) {
  const QImage shot = widget.grab().toImage();
  const qreal ratio = shot.devicePixelRatio();
  return shot.pixel(qRound(x * ratio), qRound(y * ratio)) | 0xFF000000u;
}

QRgb Rgb(uint32_t systemColor) { return Color32(systemColor); }

TGradient ThreeStops() {
  TGradient g;
  g.StartColor = 0x0000FF;
  g.EndColor = 0xFF0000;
  g.Stops = {{0x00FF00, 0.5f}, {0x00FFFF, 0.25f}, {0xFFFFFF, 0.8f}};
  g.Type = gtReflected;
  g.SetAngle(0.75f);
  return g;
}

QPoint CentreOf(const TGradientMarker& m) { return QPoint(m.Left + 10, M::MarkerTop + 15); }

}  // namespace

class TGradientEditorTest : public QObject {
  Q_OBJECT

 private slots:
  // ---- the ramp of the frame ------------------------------------------------------

  void rampShowsThePlainGradientInAFrame() {
    TGradSelector ramp;
    QCOMPARE(ramp.size(), QSize(75, 21));
    QSignalSpy changed(&ramp, &TGradSelector::gradientChanged);
    ramp.SetGradient(ThreeStops());
    QCOMPARE(changed.count(), 1);
    // shown and held as a plain ramp: Linear, angle 0, colours and stops kept
    QCOMPARE(ramp.Gradient().Type, uint8_t(gtLinear));
    QCOMPARE(ramp.Gradient().Angle(), 0.0f);
    QCOMPARE(ramp.Gradient().Stops, ThreeStops().Stops);
    QCOMPARE(PixelAt(ramp, 0, 0), ramp.palette().color(QPalette::Dark).rgb());
    QCOMPARE(PixelAt(ramp, 1, 1), QColor(Qt::white).rgb());
    for (int k : {0, 17, 35, 50, 70}) {
      const TGradient& g = ramp.Gradient();
      QCOMPARE(PixelAt(ramp, 2 + k, 10), Rgb(g.ColorAt(static_cast<float>(k) / 71.0f)));
    }
  }

  void rampOpensTheEditor_data() {
    QTest::addColumn<int>("how");  // 0 double click, 1 Space, 2 Enter
    QTest::addColumn<bool>("confirm");
    QTest::newRow("double click, OK") << 0 << true;
    QTest::newRow("double click, Cancel") << 0 << false;
    QTest::newRow("Space, OK") << 1 << true;
    QTest::newRow("Enter, Cancel") << 2 << false;
  }
  void rampOpensTheEditor() {
    QFETCH(int, how);
    QFETCH(bool, confirm);
    TGradSelector ramp;
    ramp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ramp));
    ramp.SetGradient(TGradient{});
    TGradient shown;
    int calls = 0;
    TGradient answer = ThreeStops();
    ramp.SetEditor([&](const TGradient& g, QWidget*) -> std::optional<TGradient> {
      ++calls;
      shown = g;
      if (!confirm) return std::nullopt;
      return answer;
    });
    QSignalSpy changed(&ramp, &TGradSelector::gradientChanged);
    if (how == 0) QTest::mouseDClick(&ramp, Qt::LeftButton);
    if (how == 1) QTest::keyClick(&ramp, Qt::Key_Space);
    if (how == 2) QTest::keyClick(&ramp, Qt::Key_Return);
    QCOMPARE(calls, 1);
    QVERIFY(shown == TGradient{});
    QCOMPARE(changed.count(), confirm ? 1 : 0);
    QCOMPARE(ramp.Gradient().Stops.size(), confirm ? size_t{3} : size_t{0});
  }

  // ---- the editor -------------------------------------------------------------------

  void editorShowsTheRampAndTheMarkers() {
    TfrmGradientEditor editor;
    QCOMPARE(editor.windowTitle(), QStringLiteral("Gradient Editor"));
    QCOMPARE(editor.size(), QSize(313, 145));
    editor.SetGradient(ThreeStops());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(editor.Image1->accessibleName(), QStringLiteral("Gradient"));
    QVERIFY(editor.Button1->isDefault());
    // the ramp: column x in ColorAt(x / 279)
    const TGradient g = editor.Gradient();
    for (int x : {0, 60, 139, 200, 278})
      QCOMPARE(PixelAt(*editor.Image1, 17 + x, 40), Rgb(g.ColorAt(static_cast<float>(x) / 279.0f)));
    // each marker's swatch shows its colour
    for (const TGradientMarker& m : editor.Image1->Markers().Markers())
      QCOMPARE(PixelAt(*editor.Image1, m.Left + 10, M::MarkerTop + 15), Rgb(m.Color));
    // unchanged, the editor gives back what it was given, type and angle included
    QVERIFY(editor.Gradient() == ThreeStops());
  }

  void draggingAMarkerStaysWithinTheRamp_data() {
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("left");
    QTest::newRow("a little right") << 30 << 176;  // from 146
    QTest::newRow("far left") << -300 << 8;
    QTest::newRow("far right") << 300 << 284;
  }
  void draggingAMarkerStaysWithinTheRamp() {
    QFETCH(int, dx);
    QFETCH(int, left);
    TfrmGradientEditor editor;
    editor.SetGradient(ThreeStops());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    TGradientRampEdit& ramp = *editor.Image1;
    QSignalSpy changed(&ramp, &TGradientRampEdit::changed);
    const QPoint from = CentreOf(ramp.Markers().Markers()[2]);  // the stop at 0.5
    QTest::mousePress(&ramp, Qt::LeftButton, {}, from);
    QTest::mouseMove(&ramp, from + QPoint(dx / 2, 0));
    QTest::mouseMove(&ramp, from + QPoint(dx, 3));
    QTest::mouseRelease(&ramp, Qt::LeftButton, {}, from + QPoint(dx, 3));
    QCOMPARE(ramp.Markers().Selected(), 2);
    QCOMPARE(ramp.Markers().Markers()[2].Left, left);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(editor.Gradient().Stops[0].Position, static_cast<float>(left + 10 - 17) / 279.0f);
    QCOMPARE(editor.Gradient().Stops.size(), size_t{3});  // a drag adds nothing
    // the end markers do not move
    const QPoint end = CentreOf(ramp.Markers().Markers()[1]);
    QTest::mousePress(&ramp, Qt::LeftButton, {}, end);
    QTest::mouseMove(&ramp, end - QPoint(50, 0));
    QTest::mouseRelease(&ramp, Qt::LeftButton, {}, end - QPoint(50, 0));
    QCOMPARE(ramp.Markers().Markers()[1].Left, 286);
  }

  void releasingBelowTheRampAddsAMarker_data() {
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("left");  // -1: nothing added
    QTest::newRow("in the band") << QPoint(120, 65) << 110;
    QTest::newRow("band, left of the ramp") << QPoint(2, 93) << 8;  // clamped: still on the ramp
    QTest::newRow("band, right of the ramp") << QPoint(310, 93) << 285;
    QTest::newRow("on the ramp") << QPoint(120, 40) << -1;
    QTest::newRow("below the band") << QPoint(120, 96) << -1;
  }
  void releasingBelowTheRampAddsAMarker() {
    QFETCH(QPoint, at);
    QFETCH(int, left);
    TfrmGradientEditor editor;
    editor.SetGradient(TGradient{});
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    TGradientRampEdit& ramp = *editor.Image1;
    QTest::mouseClick(&ramp, Qt::LeftButton, {}, at);
    if (left < 0) {
      QCOMPARE(ramp.Markers().Count(), 2);
      return;
    }
    QCOMPARE(ramp.Markers().Count(), 3);
    QCOMPARE(ramp.Markers().Selected(), 2);
    QCOMPARE(ramp.Markers().Markers()[2].Left, left);
    const TGradient g = editor.Gradient();
    QCOMPARE(g.Stops.size(), size_t{1});
    QCOMPARE(g.Stops[0].Color, 0u);
    QVERIFY(g.Stops[0].Position > 0.0f && g.Stops[0].Position < 1.0f);
  }

  void doubleClickChoosesAColourWithoutDragging() {
    TfrmGradientEditor editor;
    editor.SetGradient(ThreeStops());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    TGradientRampEdit& ramp = *editor.Image1;
    uint32_t shown = 1;
    ramp.SetChooser([&](uint32_t current, QWidget*) -> std::optional<uint32_t> {
      shown = current;
      return 0x00ABCDEFu;
    });
    const QPoint at = CentreOf(ramp.Markers().Markers()[3]);  // the stop at 0.25
    QTest::mouseDClick(&ramp, Qt::LeftButton, {}, at);
    QCOMPARE(shown, 0x00FFFFu);
    QCOMPARE(ramp.Markers().Markers()[3].Color, 0x00ABCDEFu);
    QCOMPARE(ramp.Markers().Markers()[3].Position, 0.25f);  // not moved
    QCOMPARE(ramp.Markers().Count(), 5);                    // nothing added
    QCOMPARE(editor.Gradient().Stops[1].Color, 0x00ABCDEFu);
    // the start colour too
    QTest::mouseDClick(&ramp, Qt::LeftButton, {}, CentreOf(ramp.Markers().Markers()[0]));
    QCOMPARE(editor.Gradient().StartColor, 0x00ABCDEFu);
  }

  void theKeyboardEditsTheMarkers() {
    TfrmGradientEditor editor;
    editor.SetGradient(ThreeStops());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    TGradientRampEdit& ramp = *editor.Image1;
    ramp.setFocus();
    // Down walks the markers along the ramp: start, 0.25, 0.5, 0.8, end
    QTest::keyClick(&ramp, Qt::Key_Down);
    QCOMPARE(ramp.Markers().Selected(), 0);
    QTest::keyClick(&ramp, Qt::Key_Down);
    QCOMPARE(ramp.Markers().Selected(), 3);
    QTest::keyClick(&ramp, Qt::Key_Right);
    QCOMPARE(ramp.Markers().Markers()[3].Position, 0.26f);
    QTest::keyClick(&ramp, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(&ramp, Qt::Key_Left);
    QVERIFY(qAbs(ramp.Markers().Markers()[3].Position - 0.15f) < 1e-6f);
    QTest::keyClick(&ramp, Qt::Key_Insert);  // halfway to the 0.5 stop
    QCOMPARE(ramp.Markers().Count(), 6);
    QCOMPARE(ramp.Markers().Selected(), 5);
    QVERIFY(qAbs(ramp.Markers().Markers()[5].Position - 0.325f) < 0.004f);
    QTest::keyClick(&ramp, Qt::Key_Delete);
    QCOMPARE(ramp.Markers().Count(), 5);
    QTest::keyClick(&ramp, Qt::Key_Up);  // from no selection: the end marker
    QCOMPARE(ramp.Markers().Selected(), 1);
    QTest::keyClick(&ramp, Qt::Key_Delete);  // the ends stay
    QCOMPARE(ramp.Markers().Count(), 5);
    QCOMPARE(ramp.accessibleDescription(), QStringLiteral("Marker 2 of 5 at 100.0%, #0000ff"));
    // Enter is the editor's OK
    QTest::keyClick(&ramp, Qt::Key_Return);
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    const TGradient g = editor.Gradient();
    QCOMPARE(g.Type, uint8_t(gtReflected));
    QCOMPARE(g.Angle(), 0.75f);
    QCOMPARE(g.Stops.size(), size_t{3});
  }
};

TVX_QTEST_MAIN(TGradientEditorTest)
#include "GradientEditorTest.moc"
