#include "watermark/WatermarkDocument.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "WatermarkTestUtil.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

using test::ErrorOf;

// A watermark with a picture layer, a styled and stretched text layer and
// EXIF settings, as a user leaves it after editing.
void FillWatermark(TWatermarkDocument& doc) {
  auto* picture = test::AddPictureLayer(doc.Layers(), 30, 10, 0xC0FF8000);
  picture->Name = "logo";
  picture->HAlign = haRight;
  picture->XCoord = 12;
  picture->SetMasterAlpha(128);
  auto& text = doc.Layers().Add<TTextLayer>();
  text.BeginUpdate();
  text.Text = "(c) <FILENAME>";
  text.Font.Size = 30;
  text.VAlign = vaBottom;
  text.YUnit = cuPercent;
  text.YCoord = 5;
  text.EndUpdate();
  text.ResizeTo(text.NaturalWidth * 3 / 2, text.NaturalHeight);
  RegisterFilters();
  TFiltersParams styles;
  styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  text.SetStyles(styles);
  doc.Exif().WriteCopyright = true;
  doc.Exif().Copyright = "(c) Studio";
  doc.Changed();
}

std::vector<const TCustomLayer*> LayerObjects(const TWatermarkDocument& doc) {
  std::vector<const TCustomLayer*> objects;
  for (int i = 0; i < doc.Layers().Count(); ++i) objects.push_back(&doc.Layers().Items(i));
  return objects;
}

TEST(WatermarkDocument, EmptyMeansNoLayersAndNoChosenExifField) {
  struct TCase {
    bool layer, flag, text;
    bool empty;
  };
  for (const TCase c :
       {TCase{false, false, false, true}, TCase{false, false, true, true}, TCase{false, true, false, false},
        TCase{true, false, false, false}, TCase{true, true, true, false}}) {
    TWatermarkDocument doc;
    if (c.layer) test::AddPictureLayer(doc.Layers(), 2, 2, 0xFF000000);
    doc.Exif().WriteArtist = c.flag;
    if (c.text) doc.Exif().Title = "texts alone choose nothing";
    EXPECT_EQ(doc.IsEmpty(), c.empty) << c.layer << c.flag << c.text;
  }
}

TEST(WatermarkDocument, OpenTakesTheFileIntoTheSameCollection) {
  test::TTempDir dir;
  TWatermarkDocument source;
  FillWatermark(source);
  source.Save(dir / "mark.tvx");

  TWatermarkDocument doc;
  test::AddPictureLayer(doc.Layers(), 4, 4, 0xFF00FF00);
  doc.Changed();
  TLayerCollection* collection = &doc.Layers();
  int notified = 0;
  doc.Subscribe([&] { ++notified; });
  doc.Open(dir / "mark.tvx");

  EXPECT_EQ(notified, 1);
  EXPECT_EQ(&doc.Layers(), collection);
  ASSERT_EQ(doc.Layers().Count(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(doc.Layers().Items(i).LayerCollection(), collection);
  EXPECT_EQ(doc.FileName(), dir / "mark.tvx");
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(doc.Exif(), source.Exif());
  EXPECT_EQ(doc.Snapshot().Bytes, source.Snapshot().Bytes);
}

// A damaged file used to be read straight into the current watermark, which
// it emptied. Now the watermark stays as it was, object for object.
class WatermarkDocumentDamaged : public ::testing::TestWithParam<int> {};

TEST_P(WatermarkDocumentDamaged, FailedOpenLeavesTheDocumentExactlyAsItWas) {
  test::TTempDir dir;
  TWatermarkDocument other;
  FillWatermark(other);
  TMemoryStream valid;
  SaveWatermark(valid, other.Layers(), other.Exif());
  std::string bytes(valid.Bytes().begin(), valid.Bytes().end());
  switch (GetParam()) {
    case 0:  // cut inside the second layer: the first one reads
      bytes.resize(bytes.size() - 120);
      break;
    case 1:
      bytes += std::string("STR1\4\0\0\0Junk", 12);
      break;
    case 2:
      bytes[4] = 7;  // file version
      break;
    case 3:  // the EXIF block's signature
      bytes[bytes.rfind("WMEX")] = 'X';
      break;
  }
  test::WriteFileBytes(dir.Path() / "damaged.tvx", bytes);

  TWatermarkDocument doc;
  FillWatermark(doc);
  doc.Save(dir / "mine.tvx");
  doc.Exif().Artist = "unsaved change";
  doc.Changed();
  const TWatermarkDocument::TSnapshot before = doc.Snapshot();
  const auto objects = LayerObjects(doc);
  int notified = 0;
  doc.Subscribe([&] { ++notified; });

  const std::string error = ErrorOf([&] { doc.Open(dir / "damaged.tvx"); });
  const char* expected[] = {"ReadString::233", "Open::137", "Open::149",
                            "TWatermarkExif::LoadFromStream::51"};
  EXPECT_EQ(error.rfind(expected[GetParam()], 0), 0u) << error;
  EXPECT_EQ(doc.Snapshot(), before);
  EXPECT_EQ(LayerObjects(doc), objects);
  EXPECT_EQ(doc.FileName(), dir / "mine.tvx");
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(notified, 0);
}

INSTANTIATE_TEST_SUITE_P(Damage, WatermarkDocumentDamaged, ::testing::Values(0, 1, 2, 3));

TEST(WatermarkDocument, MissingOrForeignFilesOpenAsEmptyWatermarks) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.Path() / "foreign.tvx", "PK\3\4 an archive");
  for (const std::string name : {"missing.tvx", "foreign.tvx"}) {
    TWatermarkDocument doc;
    FillWatermark(doc);
    doc.Open(dir / name);
    EXPECT_TRUE(doc.IsEmpty()) << name;
    EXPECT_FALSE(doc.Modified());
  }
}

TEST(WatermarkDocument, RestoreGivesBackTheSnapshotByteForByte) {
  TWatermarkDocument doc;
  FillWatermark(doc);
  const TWatermarkDocument::TSnapshot backup = doc.Snapshot();
  ASSERT_TRUE(backup.Modified);

  // what an editing session might do before Cancel
  doc.Layers().Delete(0);
  doc.Layers().Add<TTextLayer>().RenderText();
  dynamic_cast<TBaseLayer&>(doc.Layers().Items(0)).XCoord = 99;
  doc.Exif() = {};
  doc.Changed(false);

  int notified = 0;
  doc.Subscribe([&] { ++notified; });
  doc.Restore(backup);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(doc.Snapshot(), backup);
  EXPECT_TRUE(doc.Modified());
  // and so is the file it saves
  test::TTempDir dir;
  doc.Save(dir / "restored.tvx");
  const std::string saved = test::ReadFileBytes(dir.Path() / "restored.tvx");
  EXPECT_EQ(saved, std::string(backup.Bytes.begin(), backup.Bytes.end()));
}

TEST(WatermarkDocument, RestoringADamagedSnapshotChangesNothing) {
  TWatermarkDocument doc;
  FillWatermark(doc);
  TWatermarkDocument::TSnapshot broken = doc.Snapshot();
  broken.Bytes.resize(broken.Bytes.size() / 2);
  broken.FileName = "elsewhere.tvx";
  const TWatermarkDocument::TSnapshot before = doc.Snapshot();
  EXPECT_NE(ErrorOf([&] { doc.Restore(broken); }), "");
  EXPECT_EQ(doc.Snapshot(), before);
}

TEST(WatermarkDocument, SaveNamesTheDocumentAndResetForgetsIt) {
  test::TTempDir dir;
  TWatermarkDocument doc;
  FillWatermark(doc);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.FileName(), "");
  doc.Save(dir / "a.tvx");
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(doc.FileName(), dir / "a.tvx");

  // a save that fails keeps the name, the flag and the old file
  doc.Changed();
  EXPECT_NE(ErrorOf([&] { doc.Save(dir / "no-such-folder/b.tvx"); }), "");
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.FileName(), dir / "a.tvx");

  doc.Reset();
  EXPECT_TRUE(doc.IsEmpty());
  EXPECT_EQ(doc.FileName(), "");
  EXPECT_FALSE(doc.Modified());
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "a.tvx"));
}

TEST(WatermarkDocument, ListenersMayUnsubscribeDuringANotification) {
  TWatermarkDocument doc;
  std::vector<std::string> calls;
  TWatermarkDocument::TToken a = 0, b = 0, c = 0;
  a = doc.Subscribe([&] {
    calls.push_back("a");
    doc.Unsubscribe(a);  // itself
  });
  b = doc.Subscribe([&] {
    calls.push_back("b");
    doc.Unsubscribe(c);  // one later in the same round: not called any more
    doc.Subscribe([&] { calls.push_back("new"); });
  });
  c = doc.Subscribe([&] { calls.push_back("c"); });
  doc.Changed();
  EXPECT_EQ(calls, (std::vector<std::string>{"a", "b"}));
  calls.clear();
  doc.Changed();
  EXPECT_EQ(calls, (std::vector<std::string>{"b", "new"}));
  doc.Unsubscribe(b);
  doc.Unsubscribe(b);  // twice is harmless
  doc.Unsubscribe(12345);
}

TEST(WatermarkDocument, ARaisingListenerDoesNotSilenceTheOthers) {
  TWatermarkDocument doc;
  int later = 0;
  doc.Subscribe([] { RaiseError("Listener", 1, "first"); });
  doc.Subscribe([] { RaiseError("Listener", 2, "second"); });
  doc.Subscribe([&] { ++later; });
  EXPECT_EQ(ErrorOf([&] { doc.Changed(); }), "Listener::1 - first");
  EXPECT_EQ(later, 1);
  EXPECT_TRUE(doc.Modified());
}

}  // namespace
}  // namespace tvx
