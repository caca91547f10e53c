#include "watermark/WatermarkFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "WatermarkTestUtil.h"
#include "support/TestSupport.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

using test::ErrorOf;
using Watermark::TWatermarkExif;

const std::string kEmptyWatermark = std::string("TVX1\1\0\0\0STR1\x0E\0\0\0TWatermarkExifWMEX\1\0\0\0\0\0\0\0", 42) +
                                    std::string("STR1\0\0\0\0", 8) + std::string("STR1\0\0\0\0", 8) +
                                    std::string("STR1\0\0\0\0", 8) + std::string("STR1\0\0\0\0", 8);

TEST(WatermarkFile, EmptyWatermarkIsExactly74Bytes) {
  ASSERT_EQ(kEmptyWatermark.size(), 74u);
  test::TTempDir dir;
  TLayerCollection layers;
  TWatermarkExif exif;
  SaveWatermark(dir / "empty.tvx", layers, exif);
  EXPECT_EQ(test::ReadFileBytes(dir / "empty.tvx"), kEmptyWatermark);
  // and an empty style set inside a layer is the 12 bytes "FSPM", 1, 0
  TMemoryStream styles;
  TFiltersParams().SaveToStream(styles);
  EXPECT_EQ(test::Bytes(styles), std::string("FSPM\1\0\0\0\0\0\0\0", 12));
}

TEST(WatermarkFile, MissingOrForeignFilesOpenAsEmptyWatermarks) {
  test::TTempDir dir;
  TLayerCollection layers;
  TWatermarkExif exif;
  test::AddPictureLayer(layers, 2, 2, 0xFF000000);
  exif.WriteTitle = true;
  OpenWatermark(dir / "missing.tvx", layers, exif);
  EXPECT_EQ(layers.Count(), 0);
  EXPECT_TRUE(exif.IsEmpty());
  for (const std::string& content : {std::string("PK\3\4 not a watermark"), std::string("TV"), std::string()}) {
    test::AddPictureLayer(layers, 2, 2, 0xFF000000);
    test::WriteFileBytes(dir.Path() / "foreign.tvx", content);
    EXPECT_EQ(ErrorOf([&] { OpenWatermark(dir / "foreign.tvx", layers, exif); }), "");
    EXPECT_EQ(layers.Count(), 0);
  }
  std::filesystem::create_directory(dir.Path() / "folder.tvx");
  EXPECT_EQ(ErrorOf([&] { OpenWatermark(dir / "folder.tvx", layers, exif); }), "");
}

TEST(WatermarkFile, ResetEmptiesLayersAndExif) {
  TLayerCollection layers;
  TWatermarkExif exif;
  test::AddPictureLayer(layers, 2, 2, 0xFF000000);
  exif.WriteComment = true;
  exif.Comment = "c";
  ResetWatermark(layers, exif);
  EXPECT_EQ(layers.Count(), 0);
  EXPECT_FALSE(exif.WriteComment);
  EXPECT_EQ(exif.Comment, "");
}

TEST(WatermarkFile, ReportsBadVersionsAndChunks) {
  TLayerCollection layers;
  TWatermarkExif exif;
  auto open = [&](const std::string& bytes) {
    TMemoryStream s(bytes.data(), bytes.size());
    return ErrorOf([&] { OpenWatermark(s, layers, exif); });
  };
  EXPECT_EQ(open(std::string("TVX1\2\0\0\0", 8)), "Open::149 - Unknown version (2)!");
  EXPECT_EQ(open(std::string("TVX1\1\0\0\0STR1\4\0\0\0Junk", 20)), "Open::137 - Unknown chunk class (Junk)!");
  EXPECT_EQ(open(std::string("TVX1\1\0\0\0STR1\x0A\0\0\0tTextLayer", 26)),
            "Open::137 - Unknown chunk class (tTextLayer)!");
  EXPECT_EQ(open(std::string("TVX1\1\0\0\0STX1\4\0\0\0Junk", 20)), "ReadString::232 - Invalid string (Stream pointer: 12)!");
  // fewer than four trailing bytes are ignored
  EXPECT_EQ(open(kEmptyWatermark + "abc"), "");
  std::string badExif = kEmptyWatermark;
  badExif[30] = 'X';
  EXPECT_EQ(open(badExif), "TWatermarkExif::LoadFromStream::51 - Invalid signature!");
  std::string exifVersion = kEmptyWatermark;
  exifVersion[34] = 2;
  EXPECT_EQ(open(exifVersion), "TWatermarkExif::LoadFromStream::66 - Unknown version (2)!");
}

TEST(WatermarkFile, LaterExifChunkWins) {
  TMemoryStream s;
  TLayerCollection layers;
  TWatermarkExif first, second;
  first.WriteArtist = true;
  first.Artist = "first";
  second.WriteCopyright = true;
  second.Copyright = "second";
  SaveWatermark(s, layers, first);
  WriteString(s, "TWatermarkExif");
  second.SaveToStream(s);
  s.Seek(0);
  TWatermarkExif read;
  OpenWatermark(s, layers, read);
  EXPECT_FALSE(read.WriteArtist);
  EXPECT_TRUE(read.WriteCopyright);
  EXPECT_EQ(read.Copyright, "second");
}

TEST(WatermarkFile, SavingAndReopeningReproducesEveryLayer) {
  test::TTempDir dir;
  TLayerCollection layers;
  TWatermarkExif exif;
  exif.WriteTitle = exif.WriteComment = true;
  exif.Title = "Title";
  exif.Comment = "two\r\nlines";
  exif.Artist = "kept though not written";

  auto* picture = test::AddPictureLayer(layers, 40, 12, 0x80FF8000);
  picture->SourceBitmap().Pixel(3, 4) = 0xFF0000FF;
  picture->Render();
  picture->Name = "logo";
  picture->XUnit = cuPercent;
  picture->XCoord = 12.5f;
  picture->HAlign = haRight;
  picture->VAlign = vaMiddle;
  picture->YCoord = -4;
  picture->Tile = true;
  picture->XTileOffs = 40;
  picture->YTileOffs = 20;
  picture->SetMasterAlpha(90);
  picture->SetVisible(false);
  TFiltersParams styles;
  styles.Items["Unregistered"] = TFilterParams(std::vector<uint8_t>{'S', 'T', 'R', 'K', 1, 2, 3});
  picture->SetStyles(styles);

  auto* text = &layers.Add<TTextLayer>();
  text->Name = "caption";
  text->Text = "(c) <ARTIST>\r\n<FILENAME>";
  text->Font.Name = "DejaVu Sans Mono";
  text->Font.Size = 48;
  text->Font.Italic = true;
  text->Justification = tjRight;
  text->YUnit = cuPercent;
  text->VAlign = vaBottom;
  text->YCoord = 5;
  text->RenderText();
  RegisterFilters();
  TFiltersParams textStyles;
  textStyles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  textStyles.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  text->SetStyles(textStyles);
  ASSERT_GT(text->StyleOffsetX() + text->StyleOffsetY(), 0);

  SaveWatermark(dir / "wm.tvx", layers, exif);
  TLayerCollection read;
  TWatermarkExif readExif;
  OpenWatermark(dir / "wm.tvx", read, readExif);
  ASSERT_EQ(read.Count(), 2);
  EXPECT_TRUE(readExif.WriteTitle && readExif.WriteComment && !readExif.WriteArtist);
  EXPECT_EQ(readExif.Comment, "two\r\nlines");
  EXPECT_EQ(readExif.Artist, "kept though not written");

  auto* p = dynamic_cast<TBitmapLayer*>(&read.Items(0));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Name, "logo");
  EXPECT_EQ(p->XUnit, cuPercent);
  EXPECT_EQ(p->XCoord, 12.5f);
  EXPECT_EQ(p->HAlign, haRight);
  EXPECT_EQ(p->VAlign, vaMiddle);
  EXPECT_EQ(p->YCoord, -4);
  EXPECT_TRUE(p->Tile);
  EXPECT_EQ(p->XTileOffs, 40);
  EXPECT_EQ(p->YTileOffs, 20);
  EXPECT_EQ(p->GetMasterAlpha(), 90);
  EXPECT_FALSE(p->Visible());
  EXPECT_EQ(p->Styles(), styles);
  EXPECT_EQ(test::Pixels(p->RenderedBitmap()), test::Pixels(picture->RenderedBitmap()));
  EXPECT_EQ(p->GetLayerRect(800, 600), picture->GetLayerRect(800, 600));

  auto* t = dynamic_cast<TTextLayer*>(&read.Items(1));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Name, "caption");
  EXPECT_EQ(t->Text, text->Text);
  EXPECT_EQ(t->Font, text->Font);
  EXPECT_EQ(t->Justification, tjRight);
  EXPECT_EQ(t->YUnit, cuPercent);
  EXPECT_EQ(t->VAlign, vaBottom);
  EXPECT_EQ(t->YCoord, 5);
  EXPECT_TRUE(t->Visible());
  EXPECT_EQ(t->Styles(), textStyles);
  EXPECT_EQ(t->StyleOffsetX(), text->StyleOffsetX());
  EXPECT_EQ(t->GetLayerRect(800, 600), text->GetLayerRect(800, 600));
  EXPECT_EQ(test::Pixels(t->RenderedBitmap()), test::Pixels(text->RenderedBitmap()));

  // the file is byte-identical when written again
  SaveWatermark(dir / "again.tvx", read, readExif);
  EXPECT_EQ(test::ReadFileBytes(dir / "again.tvx"), test::ReadFileBytes(dir / "wm.tvx"));
}

TEST(WatermarkFile, EveryTruncationFailsCleanly) {
  TLayerCollection layers;
  TWatermarkExif exif;
  test::AddPictureLayer(layers, 5, 3, 0xFF102030);
  layers.Add<TTextLayer>().RenderText();
  TMemoryStream full;
  SaveWatermark(full, layers, exif);
  const std::vector<uint8_t>& bytes = full.Bytes();
  for (size_t n = 0; n < bytes.size(); ++n) {
    TMemoryStream cut(bytes.data(), n);
    TLayerCollection read;
    try {
      OpenWatermark(cut, read, exif);
    } catch (const EError& e) {
      EXPECT_NE(std::string(e.what()).find("::"), std::string::npos);
    }
  }
}

TEST(WatermarkFile, HostileCountsAndLengthsAreRefused) {
  // a layer whose style count claims more entries than the file holds
  TLayerCollection layers;
  TWatermarkExif exif;
  std::string bytes("TVX1\1\0\0\0STR1\x0C\0\0\0TBitmapLayerBASL\2\0\0\0FSPM\1\0\0\0\xFF\xFF\xFF\x0F", 48);
  TMemoryStream s(bytes.data(), bytes.size());
  const std::string error = ErrorOf([&] { OpenWatermark(s, layers, exif); });
  EXPECT_EQ(error.rfind("TFiltersParams::LoadFromStream::", 0), 0u) << error;
  EXPECT_EQ(layers.Count(), 1);  // what was read before the failure stays
  // a chunk name longer than the file
  std::string longName("TVX1\1\0\0\0STR1\xF0\xFF\xFF\x7F", 16);
  TMemoryStream n(longName.data(), longName.size());
  EXPECT_EQ(ErrorOf([&] { OpenWatermark(n, layers, exif); }).rfind("ReadString::", 0), 0u);
}

}  // namespace
}  // namespace tvx
