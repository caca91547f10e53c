#include "controls/ui/FileListBox2.h"

#include <filesystem>
#include <memory>

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "controls/ui/ImageListModel.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"

using namespace tvx;

namespace {

using TPaths = std::vector<std::string>;

QStringList ToQt(const TPaths& paths) {
  QStringList list;
  for (const std::string& p : paths) list << QString::fromStdString(p);
  return list;
}

// Drops urls onto the list the way a file manager does.
bool Drop(TFileListBox2& list, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QWidget* target = list.viewport();
  const QPoint at(10, 10);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

QUrl FileUrl(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); }

struct TShownList {
  TShownList() {
    list.resize(300, 200);
    list.show();
    if (!QTest::qWaitForWindowExposed(&list)) qWarning("list not exposed");
  }
  TImageList images;
  TFileListBox2 list{images};
};

QColor RowPixel(TFileListBox2& list, int row) {
  const QRect r = list.visualRect(list.model()->index(row, 0));
  const QImage shot = list.viewport()->grab().toImage();
  const qreal ratio = shot.devicePixelRatio();
  // the far right of the row, clear of the short text, one pixel below its top
  return QColor::fromRgb(shot.pixel(qRound((r.right() - 2) * ratio), qRound((r.top() + 1) * ratio)));
}

}  // namespace

class TFileListBox2Test : public QObject {
  Q_OBJECT

 private slots:
  void modelKeepsItsContract() {
    TImageList images;
    TImageListModel model(images);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.Append({"/a.jpg", "/b.jpg", "/c.png"}), 3);
    model.RemoveRows({1, 7, -1, 1});
    QCOMPARE(ToQt(images.Paths), QStringList({"/a.jpg", "/c.png"}));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QString("/c.png"));
    QCOMPARE(model.data(model.index(1, 0), Qt::ToolTipRole).toString(), QString("/c.png"));
    QVERIFY(!qvariant_cast<QIcon>(model.data(model.index(0, 0), Qt::DecorationRole)).isNull());
    images.Paths.push_back("/d.jpg");  // changed behind the model's back
    model.Reload();
    QCOMPARE(model.rowCount(), 3);
    model.Clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.Append({}), 0);
  }

  void masks_data() {
    QTest::addColumn<QStringList>("masks");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("case ignored, others skipped")
        << QStringList{"*.bmp", "*.jpg"} << QStringList{"/pics/A.JPG", "/pics/b.png"}
        << QStringList{"/pics/A.JPG"};
    QTest::newRow("no masks take everything, folders too")
        << QStringList{} << QStringList{"/pics/", "/pics/b.png", "x"}
        << QStringList{"/pics/", "/pics/b.png", "x"};
    QTest::newRow("same path twice") << QStringList{"*.jpg"} << QStringList{"/a.jpg", "/a.jpg"}
                                     << QStringList{"/a.jpg", "/a.jpg"};
    QTest::newRow("whole path matched")
        << QStringList{"/pics/*.jpg"} << QStringList{"/pics/a.jpg", "/other/a.jpg"}
        << QStringList{"/pics/a.jpg"};
  }
  void masks() {
    QFETCH(QStringList, masks);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, rows);
    TFileListBox2 list;
    QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    TPaths m, p;
    for (const QString& s : masks) m.push_back(s.toStdString());
    for (const QString& s : paths) p.push_back(s.toStdString());
    list.SetFileMasks(m);
    QCOMPARE(list.AddFiles(p), paths.size());  // examined, not added
    QCOMPARE(ToQt(list.ImageList().Paths), rows);
    QCOMPARE(list.Count(), rows.size());
  }

  void dropsAddFilesAndTheFilesOfFolders() {
    test::TTempDir dir;
    namespace fs = std::filesystem;
    // deeper than the 1024 characters a dropped path was once limited to
    std::string deep = dir / "deep";
    for (int i = 0; i < 6; ++i) deep += "/" + std::string(200, char('a' + i));
    fs::create_directories(deep);
    fs::create_directories(dir.Path() / "pics" / "sub");
    for (const std::string& name :
         {dir / "one.jpg", dir / "pics/b.jpg", dir / "pics/a.png", dir / "pics/sub/c.JPG", deep + "/far.jpg"})
      test::WriteFileBytes(name, "x");
    QVERIFY((deep + "/far.jpg").size() > 1024);

    TShownList shown;
    TFileListBox2& list = shown.list;
    QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.SetFileMasks({"*.jpg"});
    QSignalSpy dropped(&list, &TFileListBox2::filesDropped);
    QVERIFY(Drop(list, {FileUrl(dir / "one.jpg"), FileUrl(dir / "pics"), FileUrl(deep + "/far.jpg")}));
    QVERIFY(Drop(list, {FileUrl(dir / "one.jpg")}));  // the same file again is listed again
    QCOMPARE(ToQt(list.ImageList().Paths), ToQt({dir / "one.jpg", dir / "pics/b.jpg", dir / "pics/sub/c.JPG",
                                                 deep + "/far.jpg", dir / "one.jpg"}));
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.at(0).at(0).toInt(), 4);

    // only local files are taken
    QVERIFY(!Drop(list, {QUrl("https://example.org/x.jpg")}));
    QMimeData text;
    text.setText("/etc/passwd");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(list.Count(), 5);
  }

  void deleteKeyAsksToRemoveTheSelection() {
    TShownList shown;
    TFileListBox2& list = shown.list;
    list.AddFiles({"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg"});
    QSignalSpy remove(&list, &TFileListBox2::removeSelectedRequested);
    list.setFocus();
    list.selectionModel()->select(list.model()->index(1, 0), QItemSelectionModel::Select);
    list.selectionModel()->select(list.model()->index(3, 0), QItemSelectionModel::Select);
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(remove.count(), 1);
    QCOMPARE(list.Count(), 4);  // the owner decides
    QCOMPARE(list.SelectedRows(), std::vector<int>({1, 3}));
    list.RemoveSelected();
    QCOMPARE(ToQt(list.ImageList().Paths), QStringList({"/a.jpg", "/c.jpg"}));
    list.clearSelection();
    list.RemoveSelected();  // nothing selected: nothing removed
    QCOMPARE(list.Count(), 2);
  }

  void removeSelected_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("every");  // select every n-th row
    QTest::newRow("a few runs") << 20 << 3;
    QTest::newRow("many runs") << 1000 << 2;
    QTest::newRow("everything") << 50 << 1;
  }
  void removeSelected() {
    QFETCH(int, count);
    QFETCH(int, every);
    TFileListBox2 list;
    QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    TPaths paths;
    for (int i = 0; i < count; ++i) paths.push_back("/p/" + std::to_string(i) + ".jpg");
    list.AddFiles(paths);
    QItemSelection selection;
    TPaths kept;
    for (int i = 0; i < count; ++i) {
      if (i % every == 0)
        selection.select(list.model()->index(i, 0), list.model()->index(i, 0));
      else
        kept.push_back(paths[static_cast<size_t>(i)]);
    }
    list.selectionModel()->select(selection, QItemSelectionModel::Select);
    list.RemoveSelected();
    QCOMPARE(ToQt(list.ImageList().Paths), ToQt(kept));
  }

  void currentRowSignal() {
    TFileListBox2 list;
    list.AddFiles({"/a.jpg", "/b.jpg", "/c.jpg"});
    QSignalSpy current(&list, &TFileListBox2::currentRowChanged);
    list.setCurrentIndex(list.model()->index(2, 0));
    QCOMPARE(current.count(), 1);
    QCOMPARE(current.at(0).at(0).toInt(), 2);
    QCOMPARE(list.CurrentRow(), 2);
    // a row removed before it renumbers it
    list.Model().RemoveRows({0});
    QCOMPARE(list.CurrentRow(), 1);
    QCOMPARE(current.count(), 2);
    QCOMPARE(current.last().at(0).toInt(), 1);
    list.setCurrentIndex(list.model()->index(1, 0));  // the same row again: no signal
    QCOMPARE(current.count(), 2);
    list.AddFiles({"/d.jpg"});
    list.Model().RemoveRows({1});  // the current row itself: one signal for the new one
    QCOMPARE(current.count(), 3);
    QCOMPARE(current.last().at(0).toInt(), list.CurrentRow());
    list.Clear();
    QCOMPARE(list.CurrentRow(), -1);
    QCOMPARE(current.count(), 4);
    QCOMPARE(current.last().at(0).toInt(), -1);
  }

  void stripes_data() {
    QTest::addColumn<int>("intensity");
    QTest::addColumn<int>("stored");
    QTest::newRow("main window") << 20 << 20;
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("too large, ignored") << 300 << 10;
    QTest::newRow("254, ignored") << 254 << 10;
  }
  void stripes() {
    QFETCH(int, intensity);
    QFETCH(int, stored);
    TShownList shown;
    TFileListBox2& list = shown.list;
    QCOMPARE(list.StripesIntensity(), 10);
    list.AddFiles({"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg"});
    list.SetStripesIntensity(intensity);
    QCOMPARE(list.StripesIntensity(), stored);
    const QColor base = list.palette().color(QPalette::Active, QPalette::Base).toRgb();
    const QColor odd(qMax(base.red() - stored, 0), qMax(base.green() - stored, 0),
                     qMax(base.blue() - stored, 0));
    QCOMPARE(RowPixel(list, 0), base);
    QCOMPARE(RowPixel(list, 1), odd);
    QCOMPARE(RowPixel(list, 2), base);
    QCOMPARE(RowPixel(list, 3), odd);
    // a selected row keeps the selection colour
    list.selectionModel()->select(list.model()->index(1, 0), QItemSelectionModel::Select);
    const QColor highlight = list.palette().color(QPalette::Inactive, QPalette::Highlight).toRgb();
    const QColor active = list.palette().color(QPalette::Active, QPalette::Highlight).toRgb();
    const QColor shownColor = RowPixel(list, 1);
    QVERIFY2(shownColor == highlight || shownColor == active, qPrintable(shownColor.name()));
  }

  void rowsAre18PixelsWithIcons() {
    TShownList shown;
    TFileListBox2& list = shown.list;
    QCOMPARE(list.accessibleName(), QString("Image List"));
    list.AddFiles({"/pics/a.jpg", "/pics/b.png"});
    QCOMPARE(list.visualRect(list.model()->index(0, 0)).height(), 18);
    QCOMPARE(list.visualRect(list.model()->index(1, 0)).top(), 18);
    QVERIFY(list.uniformItemSizes());
    // one icon per lower-cased extension
    QCOMPARE(list.GetFileIcon("/x/A.JPG").cacheKey(), list.GetFileIcon("/y/b.jpg").cacheKey());
    QVERIFY(!list.GetFileIcon("/x/noext").isNull());
  }

  void longPathsAreShortenedInTheMiddle() {
    TShownList shown;
    TFileListBox2& list = shown.list;
    const std::string path = "/start/" + std::string(300, 'm') + "/end.jpg";
    list.AddFiles({path});
    // the row's right part shows text: the end of the path is drawn, not cut off
    const QRect r = list.visualRect(list.model()->index(0, 0));
    const QImage shot = list.viewport()->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    const QRgb base = list.palette().color(QPalette::Base).rgb();
    int inked = 0;
    for (int x = r.right() - 60; x < r.right() - 4; ++x)
      for (int y = r.top() + 2; y < r.bottom() - 1; ++y)
        if ((shot.pixel(qRound(x * ratio), qRound(y * ratio)) | 0xFF000000u) != base) ++inked;
    QVERIFY(inked > 0);
  }

  void tenThousandPathsInOneInsertion() {
    TShownList shown;
    TFileListBox2& list = shown.list;
    TPaths paths;
    for (int i = 0; i < 10000; ++i)
      paths.push_back("/photos/2024/holiday/IMG_" + std::to_string(10000 + i) + ".JPG");
    list.SetFileMasks({"*.jpg", "*.jpeg", "*.bmp", "*.png", "*.tif", "*.tiff", "*.gif"});
    QSignalSpy inserted(list.model(), &QAbstractItemModel::rowsInserted);
    QElapsedTimer timer;
    timer.start();
    list.AddFiles(paths);
    const qint64 add = timer.elapsed();
    QApplication::processEvents();  // the view lays its rows out
    list.viewport()->repaint();
    const qint64 shown10k = timer.elapsed();
    list.scrollToBottom();
    QApplication::processEvents();
    list.viewport()->repaint();
    const qint64 scrolled = timer.elapsed();
    qInfo("10000 paths: added in %lld ms, shown after %lld ms, scrolled to the end after %lld ms", add,
          shown10k, scrolled);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(list.Count(), 10000);
    QVERIFY(scrolled < 2000);
  }
};

TVX_QTEST_MAIN(TFileListBox2Test)
#include "FileListBox2Test.moc"
