// The desktop files as the desktop reads them: the watermark file type is
// recognised by name and by content once the MIME database is built from it,
// and the desktop entry offers every picture type the plug-ins load.

#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "support/ui/QtTestMain.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {

class TDesktopIntegrationTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir data_;
  QString watermark_;  // a real watermark file's bytes

  static QString ShareFile(const QString& relative) {
    return QStringLiteral(TARVEX_SHARE_DIR "/") + relative;
  }
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = data_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(bytes);
    return path;
  }
  QByteArray WatermarkBytes() {
    QFile file(watermark_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private slots:
  void initTestCase() {
    // The database as the package's trigger builds it, in a data folder of
    // its own ahead of the system's.
    const QString mime = data_.filePath(QStringLiteral("share/mime"));
    QVERIFY(QDir().mkpath(mime + QStringLiteral("/packages")));
    QVERIFY(QFile::copy(ShareFile(QStringLiteral("mime/packages/" TARVEX_APP_ID ".xml")),
                        mime + QStringLiteral("/packages/" TARVEX_APP_ID ".xml")));
    qputenv("XDG_DATA_DIRS",
            (data_.filePath(QStringLiteral("share")) + QStringLiteral(":/usr/share")).toUtf8());
    QProcess update;
    update.start(QStringLiteral("update-mime-database"), {mime});
    QVERIFY(update.waitForFinished(30000));
    QCOMPARE(update.exitCode(), 0);
    const QByteArray complaints = update.readAllStandardError();
    QVERIFY2(complaints.isEmpty(), complaints.constData());
    QVERIFY(QFile::exists(mime + QStringLiteral("/mime.cache")));

    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    auto& layer = layers.Add<TTextLayer>();
    layer.BeginUpdate();
    layer.Text = "Mark";
    layer.EndUpdate();
    watermark_ = data_.filePath(QStringLiteral("source.tvx"));
    SaveWatermark(watermark_.toStdString(), layers, exif);
  }

  void WatermarkFilesAreRecognised_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("watermark");
    const QByteArray real = WatermarkBytes();
    const QByteArray empty = [] {
      // a watermark without layers still starts with the EXIF chunk's name
      TLayerCollection layers;
      Watermark::TWatermarkExif exif;
      const std::string file = (std::filesystem::temp_directory_path() / "tvx-empty-mark.tvx").string();
      SaveWatermark(file, layers, exif);
      std::ifstream in(file, std::ios::binary);
      QByteArray bytes = QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
      std::filesystem::remove(file);
      return bytes;
    }();
    QTest::newRow("by name") << "mark.tvx" << real << true;
    QTest::newRow("by name, upper case") << "MARK.TVX" << real << true;
    QTest::newRow("by content, renamed") << "mark.dat" << real << true;
    QTest::newRow("by content, no name part") << "download" << real << true;
    QTest::newRow("empty watermark by content") << "empty" << empty << true;
    QTest::newRow("signature alone is not enough")
        << "other.dat" << QByteArray("TVX1\x01\0\0\0garbage", 15) << false;
    QTest::newRow("text file") << "notes.dat" << QByteArray("TVX1 is a name\n") << false;
  }
  void WatermarkFilesAreRecognised() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, watermark);
    const QString path = Write(name, content);
    QVERIFY(!path.isEmpty());
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    if (watermark)
      QCOMPARE(type, QStringLiteral("application/x-tarvex-watermark"));
    else
      QVERIFY2(type != QStringLiteral("application/x-tarvex-watermark"), qPrintable(type));
  }

  void TheTypeHasItsIconAndComment() {
    const QMimeType type = QMimeDatabase().mimeTypeForName(QStringLiteral("application/x-tarvex-watermark"));
    QVERIFY(type.isValid());
    QCOMPARE(type.comment(), QStringLiteral("Tarvex watermark"));
    QCOMPARE(type.iconName(), QStringLiteral("application-x-tarvex-watermark"));
    QVERIFY(QFile::exists(
        ShareFile(QStringLiteral("icons/hicolor/scalable/mimetypes/application-x-tarvex-watermark.svg"))));
    QVERIFY(QFile::exists(
        ShareFile(QStringLiteral("icons/hicolor/48x48/mimetypes/application-x-tarvex-watermark.png"))));
  }

  void DesktopEntryOffersEveryLoadablePictureType() {
    QFile entry(ShareFile(QStringLiteral("applications/" TARVEX_APP_ID ".desktop")));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList offered;
    for (const QByteArray& line : entry.readAll().split('\n'))
      if (line.startsWith("MimeType="))
        offered = QString::fromUtf8(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QVERIFY(offered.contains(QStringLiteral("application/x-tarvex-watermark")));
    TPluginManager plugins(test::BinDir().string());
    int loadable = 0;
    QMimeDatabase db;
    for (const TFileFormat& format : plugins.Formats()) {
      if (!format.CanLoad) continue;
      ++loadable;
      const QMimeType type =
          db.mimeTypeForFile(QStringLiteral("picture") + QString::fromStdString(format.Extension),
                             QMimeDatabase::MatchExtension);
      QVERIFY2(offered.contains(type.name()),
               qPrintable(QStringLiteral("%1 (%2) is not in the desktop entry")
                              .arg(type.name(), QString::fromStdString(format.Extension))));
    }
    QVERIFY(loadable >= 5);
  }
};

}  // namespace tvx

TVX_QTEST_MAIN(tvx::TDesktopIntegrationTest)
#include "DesktopIntegrationTest.moc"
