#include "ExifBlock.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include "ExifTestSupport.h"
#include "JpegFile.h"
#include "support/TestSupport.h"

namespace kobalt {
namespace {

using test::Photo;
using test::ReadBytes;

TExifDataPtr ExifOf(const std::vector<uint8_t>& jpeg) {
  return LoadExifFromFileBytes(jpeg.data(), jpeg.size());
}

ExifEntry* Entry(ExifData* data, ExifIfd ifd, uint16_t tag) {
  return exif_content_get_entry(data->ifd[ifd], static_cast<ExifTag>(tag));
}

int ShortValue(ExifData* data, ExifIfd ifd, uint16_t tag) {
  ExifEntry* e = Entry(data, ifd, tag);
  if (!e || !e->data) return -1;
  ExifByteOrder order = exif_data_get_byte_order(data);
  return e->format == EXIF_FORMAT_SHORT ? exif_get_short(e->data, order)
                                        : static_cast<int>(exif_get_long(e->data, order));
}

TImage Solid(int w, int h, uint32_t color) {
  TImage image;
  image.Width = w;
  image.Height = h;
  image.Pixels.assign(size_t(w) * h, color);
  return image;
}

// Fake codec: records what it was asked to encode and returns fixed bytes.
struct TFakeCodec {
  TImage Picture;
  bool DecodeWorks = true;
  size_t ThumbnailBytes = 1000;
  int EncodedWidth = 0, EncodedHeight = 0, Quality = 0;

  TThumbnailCodec Make() {
    TThumbnailCodec codec;
    codec.DecodeDestination = [this](TImage& image) {
      image = Picture;
      return DecodeWorks;
    };
    codec.EncodeJpeg = [this](const uint32_t*, int32_t w, int32_t h, int q, std::vector<uint8_t>& out) {
      EncodedWidth = w;
      EncodedHeight = h;
      Quality = q;
      out.assign(ThumbnailBytes, 0xAB);
      out[0] = 0xFF;
      out[1] = 0xD8;
      return true;
    };
    return codec;
  }
};

TEST(ExifValues, CameraPhotoGivesTheListedTags) {
  TVX_REQUIRE_TESTDATA();
  std::vector<uint8_t> bytes = ReadBytes(Photo("canon_eos_rebel_t3i.jpg"));
  auto values = ReadExifValues(bytes.data(), bytes.size());
  EXPECT_EQ(values[271], "Canon");
  EXPECT_EQ(values[272], "Canon EOS REBEL T3i");
  EXPECT_EQ(values[33434], "1/200 sec.");
  EXPECT_FALSE(values[37378].empty());  // ApertureValue
  EXPECT_FALSE(values[34855].empty());  // ISO
  EXPECT_FALSE(values[37385].empty());  // Flash
  for (auto& [tag, text] : values) {
    EXPECT_FALSE(text.empty());
    EXPECT_NE(std::find(ExifValueTags().begin(), ExifValueTags().end(), tag), ExifValueTags().end());
  }
  EXPECT_EQ(ExifValueTags().size(), 43u);
  EXPECT_EQ(values[33437], "f/14.0");  // FNumber

  // No EXIF (a foreign APP1 included): empty map. Loader "fixes" stay off:
  // a block without ExifVersion does not grow one on reading.
  for (const char* name : {"casio_qv-7000sx_no_exif.jpg", "grayscale_no_exif.jpg", "xmp_iptc_no_exif.jpg"}) {
    bytes = ReadBytes(Photo(name));
    EXPECT_TRUE(ReadExifValues(bytes.data(), bytes.size()).empty()) << name;
  }
  bytes = ReadBytes(Photo("nikon_e900_exif_truncated.jpg"));
  auto partial = ReadExifValues(bytes.data(), bytes.size());
  EXPECT_EQ(partial.count(40961), 0u);  // ColorSpace would be invented by the fix-up
}

TEST(ExifValues, BadFilesNeverCrash) {
  TVX_REQUIRE_TESTDATA();
  for (const auto& entry : std::filesystem::directory_iterator(tvx::test::TestDataDir() / "bad")) {
    std::vector<uint8_t> bytes = ReadBytes(entry.path());
    auto values = ReadExifValues(bytes.data(), bytes.size());
    for (auto& [tag, text] : values) EXPECT_LE(text.size(), 1023u);
    std::vector<uint8_t> out;
    WriteExifInJpeg(bytes, 270, "x", 0, out);
    TFakeCodec fake;
    fake.Picture = Solid(10, 10, 0xFF000000);
    CopyExifInJpeg(bytes, bytes, fake.Make(), out);
  }
}

TEST(WriteExifInJpeg, EntriesAndFormats) {
  TVX_REQUIRE_TESTDATA();
  std::vector<uint8_t> jpeg = ReadBytes(Photo("grayscale_no_exif.jpg")), out;
  std::time_t when = 1700000000;
  ASSERT_TRUE(WriteExifInJpeg(jpeg, 37510, "abc", when, out));
  ASSERT_TRUE(WriteExifInJpeg(out, 270, "first", when, out));
  ASSERT_TRUE(WriteExifInJpeg(out, 270, "second", when + 100, out));
  TExifDataPtr data = ExifOf(out);
  ASSERT_TRUE(data);

  ExifEntry* comment = Entry(data.get(), EXIF_IFD_EXIF, 37510);
  ASSERT_TRUE(comment);
  EXPECT_EQ(comment->format, EXIF_FORMAT_UNDEFINED);
  ASSERT_EQ(comment->size, 12u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(comment->data), 12), std::string("ASCII\0\0\0abc\0", 12));

  ExifEntry* title = Entry(data.get(), EXIF_IFD_0, 270);
  ASSERT_TRUE(title);
  EXPECT_EQ(title->format, EXIF_FORMAT_ASCII);
  EXPECT_EQ(title->components, 7u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(title->data)), "second");
  int titles = 0;
  for (unsigned i = 0; i < data->ifd[EXIF_IFD_0]->count; ++i)
    titles += data->ifd[EXIF_IFD_0]->entries[i]->tag == 270;
  EXPECT_EQ(titles, 1);

  EXPECT_EQ(std::string(reinterpret_cast<char*>(Entry(data.get(), EXIF_IFD_EXIF, 36864)->data), 4), "0210");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Entry(data.get(), EXIF_IFD_EXIF, 40960)->data), 4), "0100");
  // The date is stamped once, by the first write.
  std::tm local{};
  localtime_r(&when, &local);
  char expected[32];
  std::strftime(expected, sizeof expected, "%Y:%m:%d %H:%M:%S", &local);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Entry(data.get(), EXIF_IFD_EXIF, 36867)->data)), expected);

  // An empty text is one zero byte; a long one is read back capped.
  ASSERT_TRUE(WriteExifInJpeg(out, 315, "", when, out));
  EXPECT_EQ(Entry(ExifOf(out).get(), EXIF_IFD_0, 315)->size, 1u);
  ASSERT_TRUE(WriteExifInJpeg(out, 33432, std::string(5000, 'c'), when, out));
  EXPECT_EQ(ReadTagText(ExifOf(out).get(), 33432).size(), 1023u);
  // A text too large for any APP1 fails cleanly.
  EXPECT_FALSE(WriteExifInJpeg(out, 33432, std::string(70000, 'c'), when, out));
}

TEST(WriteExifInJpeg, UserCommentMisplacedInIfd0DoesNotHideTheNewOne) {
  // Some writers put UserComment into IFD 0, which is looked up first.
  TExifDataPtr data = NewExifData();
  ExifEntry* stale = exif_entry_new();
  stale->tag = static_cast<ExifTag>(37510);
  stale->format = EXIF_FORMAT_UNDEFINED;
  stale->components = stale->size = 12;
  stale->data = static_cast<unsigned char*>(std::malloc(12));
  std::memcpy(stale->data, "ASCII\0\0\0old\0", 12);
  exif_content_add_entry(data->ifd[EXIF_IFD_0], stale);
  exif_entry_unref(stale);
  std::vector<uint8_t> payload, jpeg;
  ASSERT_TRUE(SaveExifData(data.get(), payload));
  std::vector<uint32_t> pixels(16 * 8, 0xFF808080);
  ASSERT_TRUE(EncodeJpegToMemory(pixels.data(), 16, 8, 80, jpeg));
  TJpegFile file;
  ASSERT_TRUE(file.Read(jpeg.data(), jpeg.size()));
  file.SetExif(payload);
  jpeg = file.Write();
  ASSERT_EQ(ReadExifValues(jpeg.data(), jpeg.size())[37510], "old");

  ASSERT_TRUE(WriteExifInJpeg(jpeg, 37510, "new", 0, jpeg));
  EXPECT_EQ(ReadExifValues(jpeg.data(), jpeg.size())[37510], "new");
  EXPECT_FALSE(Entry(ExifOf(jpeg).get(), EXIF_IFD_0, 37510));
}

TEST(CopyExifInJpeg, OrientationFollowsTheDestinationPixels) {
  TVX_REQUIRE_TESTDATA();
  std::vector<uint8_t> source = ReadBytes(Photo("samsung_sm-j327t1_orient6.jpg")), out;
  TFakeCodec fake;
  fake.DecodeWorks = false;
  struct {
    const char* dest;
    int orientation;
  } cases[] = {
      {"grayscale_no_exif.jpg", 1},            // encoded from upright pixels: no block
      {"canon_powershot_a85_orient8.jpg", 8},  // has its own block: its own value stays
      {"pentax_ist_d.jpg", 1},                 // own block without orientation
      {"apple_iphone5_gps_orient3.jpg", 3},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(CopyExifInJpeg(source, ReadBytes(Photo(c.dest)), fake.Make(), out)) << c.dest;
    TExifDataPtr data = ExifOf(out);
    EXPECT_EQ(ShortValue(data.get(), EXIF_IFD_0, 274), c.orientation) << c.dest;
    EXPECT_EQ(ReadTagText(data.get(), 272), "SM-J327T1") << c.dest;
  }
  // A byte copy of the source keeps its own orientation.
  ASSERT_TRUE(CopyExifInJpeg(source, source, fake.Make(), out));
  EXPECT_EQ(ShortValue(ExifOf(out).get(), EXIF_IFD_0, 274), 6);
  // A source without orientation gains the destination's where it is not 1.
  std::vector<uint8_t> pentax = ReadBytes(Photo("pentax_ist_d.jpg"));
  ASSERT_TRUE(CopyExifInJpeg(pentax, ReadBytes(Photo("canon_powershot_a85_orient8.jpg")), fake.Make(), out));
  EXPECT_EQ(ShortValue(ExifOf(out).get(), EXIF_IFD_0, 274), 8);
  ASSERT_TRUE(CopyExifInJpeg(pentax, ReadBytes(Photo("grayscale_no_exif.jpg")), fake.Make(), out));
  EXPECT_EQ(ShortValue(ExifOf(out).get(), EXIF_IFD_0, 274), -1);
}

TEST(CopyExifInJpeg, ThumbnailIsRebuiltFromTheDestination) {
  TVX_REQUIRE_TESTDATA();
  std::vector<uint8_t> source = ReadBytes(Photo("samsung_sm-j327t1_orient6.jpg")), out;
  std::vector<uint8_t> dest = ReadBytes(Photo("canon_powershot_a85_orient8.jpg"));
  TFakeCodec fake;
  fake.Picture = Solid(2272, 1704, 0xFF204060);  // upright: orientation 8 applied
  ASSERT_TRUE(CopyExifInJpeg(source, dest, fake.Make(), out));
  // Stored like the destination's pixels, 160 on the long side, quality 75.
  EXPECT_EQ(fake.EncodedWidth, 120);
  EXPECT_EQ(fake.EncodedHeight, 160);
  EXPECT_EQ(fake.Quality, kThumbnailQuality);
  TExifDataPtr data = ExifOf(out);
  ASSERT_EQ(data->size, fake.ThumbnailBytes);
  EXPECT_EQ(data->data[2], 0xAB);
  EXPECT_EQ(ShortValue(data.get(), EXIF_IFD_EXIF, 40962), 1704);
  EXPECT_EQ(ShortValue(data.get(), EXIF_IFD_EXIF, 40963), 2272);

  // Decoding fails: no stale thumbnail, and no thumbnail IFD without one.
  fake.DecodeWorks = false;
  ASSERT_TRUE(CopyExifInJpeg(source, dest, fake.Make(), out));
  data = ExifOf(out);
  EXPECT_EQ(data->size, 0u);
  EXPECT_EQ(data->ifd[EXIF_IFD_1]->count, 0u);

  // A thumbnail that would burst the APP1 segment is dropped, the copy stays.
  fake.DecodeWorks = true;
  fake.ThumbnailBytes = 65000;
  ASSERT_TRUE(CopyExifInJpeg(source, dest, fake.Make(), out));
  EXPECT_EQ(ExifOf(out)->size, 0u);
  EXPECT_EQ(ReadTagText(ExifOf(out).get(), 271), "samsung");
}

TEST(CopyExifInJpeg, CarriesXmpIccAndIptcWhereTheDestinationHasNone) {
  TVX_REQUIRE_TESTDATA();
  auto kinds = [](const std::vector<uint8_t>& bytes) {
    TJpegFile file;
    file.Read(bytes.data(), bytes.size());
    std::string list;
    for (const TJpegSegment& s : file.Segments()) {
      if (s.IsExif()) list += "E";
      else if (s.PayloadStartsWith("http://ns.adobe.com/xap/1.0/")) list += "X";
      else if (s.PayloadStartsWith("ICC_PROFILE")) list += "C";
      else if (s.PayloadStartsWith("Photoshop 3.0")) list += "P";
      else if (s.PayloadStartsWith("JFIF")) list += "J";
      else if (s.PayloadStartsWith("QVCI")) list += "Q";
    }
    return list;
  };
  TFakeCodec fake;
  fake.DecodeWorks = false;
  std::vector<uint8_t> nokia = ReadBytes(Photo("nokia_lumia800_gps_xmp_icc_iptc.jpg")), out;
  EXPECT_EQ(kinds(nokia), "EPCX");
  ASSERT_TRUE(CopyExifInJpeg(nokia, ReadBytes(Photo("casio_qv-7000sx_no_exif.jpg")), fake.Make(), out));
  EXPECT_EQ(kinds(out), "JEPCXQ");
  // The destination's own XMP and IPTC win; only the ICC profile is added.
  ASSERT_TRUE(CopyExifInJpeg(nokia, ReadBytes(Photo("xmp_iptc_no_exif.jpg")), fake.Make(), out));
  EXPECT_EQ(kinds(out), "JECPX");
  // A CMYK profile never lands on an RGB or grey picture.
  std::vector<uint8_t> cmyk = ReadBytes(Photo("cmyk_ycck_multichunk_icc.jpg"));
  ASSERT_TRUE(CopyExifInJpeg(cmyk, ReadBytes(Photo("grayscale_no_exif.jpg")), fake.Make(), out));
  EXPECT_EQ(kinds(out), "JEPX");
  ASSERT_TRUE(CopyExifInJpeg(cmyk, cmyk, fake.Make(), out));
  EXPECT_EQ(std::count(out.begin(), out.end(), 0) > 0, true);
  EXPECT_EQ(kinds(out), kinds(cmyk));
}

TEST(CopyExifInJpeg, RefusesWithoutSourceBlock) {
  TVX_REQUIRE_TESTDATA();
  TFakeCodec fake;
  std::vector<uint8_t> out;
  std::vector<uint8_t> dest = ReadBytes(Photo("canon_eos_rebel_t3i.jpg"));
  for (const char* name : {"casio_qv-7000sx_no_exif.jpg", "xmp_iptc_no_exif.jpg"})
    EXPECT_FALSE(CopyExifInJpeg(ReadBytes(Photo(name)), dest, fake.Make(), out)) << name;
}

TEST(Thumbnail, AreaScalingKeepsLevelsAndShape) {
  TImage flat = ScaleDownToFit(Solid(3264, 2448, 0xFF336699), 160);
  EXPECT_EQ(flat.Width, 160);
  EXPECT_EQ(flat.Height, 120);
  for (uint32_t p : flat.Pixels) ASSERT_EQ(p, 0xFF336699u);
  // Alternating black and white columns average to mid grey.
  TImage stripes = Solid(320, 3, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 320; x += 2) stripes.Pixels[size_t(y) * 320 + x] = 0xFFFFFFFF;
  TImage grey = ScaleDownToFit(stripes, 160);
  EXPECT_EQ(grey.Width, 160);
  for (uint32_t p : grey.Pixels) EXPECT_NEAR(int(p & 0xFF), 128, 2);
  // Small pictures are not enlarged.
  EXPECT_EQ(ScaleDownToFit(Solid(8, 8, 1), 160).Width, 8);
  EXPECT_EQ(ScaleDownToFit(Solid(1, 5000, 1), 160).Width, 1);
}

TEST(Thumbnail, UndoOrientationInvertsTheDisplayTransform) {
  // Upright 3x2 picture a b c / d e f; orientation 6 stores it turned a
  // quarter anticlockwise: c f / b e / a d.
  TImage upright;
  upright.Width = 3;
  upright.Height = 2;
  upright.Pixels = {'a', 'b', 'c', 'd', 'e', 'f'};
  TImage stored = UndoOrientation(upright, 6);
  EXPECT_EQ(stored.Width, 2);
  EXPECT_EQ(stored.Height, 3);
  EXPECT_EQ(stored.Pixels, (std::vector<uint32_t>{'c', 'f', 'b', 'e', 'a', 'd'}));
  EXPECT_EQ(UndoOrientation(upright, 8).Pixels, (std::vector<uint32_t>{'d', 'a', 'e', 'b', 'f', 'c'}));
  EXPECT_EQ(UndoOrientation(upright, 3).Pixels, (std::vector<uint32_t>{'f', 'e', 'd', 'c', 'b', 'a'}));
  EXPECT_EQ(UndoOrientation(upright, 5).Pixels, (std::vector<uint32_t>{'a', 'd', 'b', 'e', 'c', 'f'}));
  for (int o = 1; o <= 8; ++o) {
    int back = o == 6 ? 8 : o == 8 ? 6 : o;
    EXPECT_EQ(UndoOrientation(UndoOrientation(upright, o), back).Pixels, upright.Pixels) << o;
  }
}

}  // namespace
}  // namespace kobalt
