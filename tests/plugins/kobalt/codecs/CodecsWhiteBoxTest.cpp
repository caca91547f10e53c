// The codec library from the inside: orientation parsing and transforms, and
// hand-made BMP variants that no sample file covers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "CodecsInternal.h"
#include "FileNames.h"

namespace kobalt {
namespace {

TBytes ExifApp1(uint16_t orientation, bool little) {
  auto p16 = [&](TBytes& b, uint16_t v) {
    little ? (b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)))
           : (b.push_back(uint8_t(v >> 8)), b.push_back(uint8_t(v)));
  };
  auto p32 = [&](TBytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(little ? v >> (8 * i) : v >> (24 - 8 * i)));
  };
  TBytes tiff;
  tiff.push_back(little ? 'I' : 'M');
  tiff.push_back(little ? 'I' : 'M');
  p16(tiff, 42);
  p32(tiff, 8);
  p16(tiff, 2);  // two entries: Make first, then Orientation
  p16(tiff, 0x010F), p16(tiff, 2), p32(tiff, 4), p32(tiff, 0x414243);
  p16(tiff, 0x0112), p16(tiff, 3), p32(tiff, 1), p16(tiff, orientation), p16(tiff, 0);
  p32(tiff, 0);
  TBytes seg;
  const uint8_t head[] = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  for (uint8_t b : head) seg.push_back(b);
  for (uint8_t b : tiff) seg.push_back(b);
  size_t len = seg.size() - 2;
  seg[2] = uint8_t(len >> 8);
  seg[3] = uint8_t(len);
  return seg;
}

TBytes WithApp1(const TBytes& jpeg, const TBytes& app1) {
  // byte by byte: GCC 12 warns falsely about range inserts here
  TBytes out;
  out.reserve(jpeg.size() + app1.size());
  for (size_t i = 0; i < 2; ++i) out.push_back(jpeg[i]);
  for (uint8_t b : app1) out.push_back(b);
  for (size_t i = 2; i < jpeg.size(); ++i) out.push_back(jpeg[i]);
  return out;
}

// Picture with a distinct colour per quadrant, large blocks so JPEG keeps them.
TImage Quadrants(int w, int h) {
  TImage img{w, h, {}};
  img.Pixels.resize(size_t(w) * h);
  const uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Pixels[size_t(y) * w + x] = colours[(y >= h / 2) * 2 + (x >= w / 2)];
  return img;
}

uint32_t At(const TImage& img, int x, int y) { return img.Pixels[size_t(y) * img.Width + x]; }

TEST(FileNames, ExtensionOfTheNamePartAndTheFormatItIsWrittenAs) {
  const struct {
    const char* path;
    size_t nameStart;
    const char* lower;
    const char* format;
  } cases[] = {
      {"/pics/photo.JPG", 6, ".jpg", ".jpg"},
      {"/pics/photo.jpeg", 6, ".jpeg", ".jpg"},
      {"/pics/photo.JpE", 6, ".jpe", ".jpg"},
      {"/pics/scan.TIFF", 6, ".tiff", ".tif"},
      {"/p/.a.jpg.part-Ab12Cd.tiff", 3, ".tiff", ".tif"},
      {"/pics/a.tar.gz", 6, ".gz", ""},
      {"/pics.jpg/photo", 10, "", ""},
      {"/pics/.hidden", 6, ".hidden", ""},
      {"/pics/", 6, "", ""},
      {"/", 1, "", ""},
      {"photo.Png", 0, ".png", ".png"},
      {"", 0, "", ""},
      {"a.jfif", 0, ".jfif", ""},
      {"a.bmp", 0, ".bmp", ".bmp"},
      {"a.GIF", 0, ".gif", ".gif"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kobalt::NameStart(c.path), c.nameStart) << c.path;
    EXPECT_EQ(kobalt::LowerExtension(c.path), c.lower) << c.path;
    EXPECT_EQ(kobalt::EncodedFormat(c.path), c.format) << c.path;
  }
}

TEST(Orientation, ReadFromTheFirstExifSegment) {
  TBytes jpeg;
  TImage q = Quadrants(32, 16);
  ASSERT_TRUE(EncodeJpegToMemory(q.Pixels.data(), 32, 16, 90, jpeg));
  EXPECT_EQ(JpegOrientation(jpeg.data(), jpeg.size()), 1);
  for (uint16_t o = 1; o <= 8; ++o) {
    TBytes le = WithApp1(jpeg, ExifApp1(o, true)), be = WithApp1(jpeg, ExifApp1(o, false));
    EXPECT_EQ(JpegOrientation(le.data(), le.size()), o);
    EXPECT_EQ(JpegOrientation(be.data(), be.size()), o);
  }
  TBytes bad = WithApp1(jpeg, ExifApp1(9, true));
  EXPECT_EQ(JpegOrientation(bad.data(), bad.size()), 1);
  // every cut of the segment is bounds-checked and gives 1 or the value
  TBytes full = WithApp1(jpeg, ExifApp1(6, true));
  for (size_t cut = 0; cut < 60; ++cut) {
    int o = JpegOrientation(full.data(), cut);
    EXPECT_TRUE(o == 1 || o == 6) << cut;
  }
  // an IFD offset past the segment
  TBytes seg = ExifApp1(6, true);
  seg[14] = 0xF0;
  TBytes broken = WithApp1(jpeg, seg);
  EXPECT_EQ(JpegOrientation(broken.data(), broken.size()), 1);
}

TEST(Orientation, EightTransformsTurnThePictureUpright) {
  // stored corner colours after each orientation, read at the output's
  // top-left, top-right, bottom-left, bottom-right
  const uint32_t R = 0xFFFF0000u, G = 0xFF00FF00u, B = 0xFF0000FFu, Y = 0xFFFFFF00u;
  struct TCase {
    int Orientation;
    uint32_t TL, TR, BL, BR;
  };
  const TCase cases[] = {{1, R, G, B, Y}, {2, G, R, Y, B}, {3, Y, B, G, R}, {4, B, Y, R, G},
                         {5, R, B, G, Y}, {6, B, R, Y, G}, {7, Y, G, B, R}, {8, G, Y, R, B}};
  TBytes jpeg;
  TImage q = Quadrants(64, 32);
  ASSERT_TRUE(EncodeJpegToMemory(q.Pixels.data(), 64, 32, 95, jpeg));
  auto near = [](uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8)
      if (std::abs(int((a >> s) & 255) - int((b >> s) & 255)) > 24) return false;
    return true;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Orientation);
    TImage plain = Quadrants(64, 32);
    ApplyOrientation(plain, c.Orientation);
    TBytes file = WithApp1(jpeg, ExifApp1(uint16_t(c.Orientation), c.Orientation % 2));
    TImage decoded;
    ASSERT_TRUE(DecodeMemory(file.data(), file.size(), decoded));
    int32_t w = 0, h = 0;
    ASSERT_TRUE(ReadPictureSizeMemory(file.data(), file.size(), w, h));
    for (const TImage* img : {&plain, &decoded}) {
      ASSERT_EQ(img->Width, c.Orientation >= 5 ? 32 : 64);
      ASSERT_EQ(img->Height, c.Orientation >= 5 ? 64 : 32);
      int x1 = img->Width - 4, y1 = img->Height - 4;
      EXPECT_TRUE(near(At(*img, 3, 3), c.TL));
      EXPECT_TRUE(near(At(*img, x1, 3), c.TR));
      EXPECT_TRUE(near(At(*img, 3, y1), c.BL));
      EXPECT_TRUE(near(At(*img, x1, y1), c.BR));
    }
    EXPECT_EQ(w, decoded.Width);
    EXPECT_EQ(h, decoded.Height);
  }
}

TEST(Orientation, TransposeIsExactOnOddSizes) {
  TImage img{3, 2, {1, 2, 3, 4, 5, 6}};
  ApplyOrientation(img, 6);  // 90 degrees clockwise
  EXPECT_EQ(img.Width, 2);
  EXPECT_EQ(img.Pixels, (std::vector<uint32_t>{4, 1, 5, 2, 6, 3}));
  ApplyOrientation(img, 8);  // and back
  EXPECT_EQ(img.Pixels, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
  ApplyOrientation(img, 5);
  EXPECT_EQ(img.Pixels, (std::vector<uint32_t>{1, 4, 2, 5, 3, 6}));
  ApplyOrientation(img, 7);
  EXPECT_EQ(img.Pixels, (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));
}

struct TBmpBuilder {
  TBytes Bytes;
  void P16(uint32_t v) { Bytes.push_back(uint8_t(v)), Bytes.push_back(uint8_t(v >> 8)); }
  void P32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Bytes.push_back(uint8_t(v >> (8 * i)));
  }
  // file header + 40-byte info header; the pixel offset is patched by Finish
  TBmpBuilder(int32_t w, int32_t h, uint16_t bits, uint32_t compression) {
    Bytes = {'B', 'M'};
    P32(0), P32(0), P32(0);
    P32(40), P32(uint32_t(w)), P32(uint32_t(h)), P16(1), P16(bits), P32(compression);
    P32(0), P32(0), P32(0), P32(0), P32(0);
  }
  void PixelsStartHere() {
    uint32_t at = uint32_t(Bytes.size());
    std::memcpy(Bytes.data() + 10, &at, 4);
  }
};

TEST(Bmp, Rle4WithDeltaAndAbsoluteRuns) {
  TBmpBuilder b(6, 2, 4, 2);
  b.P32(0x00FF0000), b.P32(0x0000FF00), b.P32(0x000000FF);  // palette: red, green, blue
  b.PixelsStartHere();
  // bottom row: 4 pixels alternating 1,2 then absolute 3 pixels 0,1,2; end of line
  for (uint8_t v : {4, 0x12, 0, 3, 0x01, 0x20, 0, 0}) b.Bytes.push_back(v);
  // top row: delta right 2, then 2 pixels of 0; end of picture
  for (uint8_t v : {0, 2, 2, 0, 2, 0x00, 0, 1}) b.Bytes.push_back(v);
  TImage img;
  ASSERT_TRUE(DecodeMemory(b.Bytes.data(), b.Bytes.size(), img));
  ASSERT_EQ(img.Width, 6);
  const uint32_t R = 0xFFFF0000u, G = 0xFF00FF00u, Bl = 0xFF0000FFu;
  EXPECT_EQ(std::vector<uint32_t>(img.Pixels.begin() + 6, img.Pixels.end()),
            (std::vector<uint32_t>{G, Bl, G, Bl, R, G}));
  // the delta jumped to the next row (the top one) and skipped two pixels there
  EXPECT_EQ(std::vector<uint32_t>(img.Pixels.begin(), img.Pixels.begin() + 6),
            (std::vector<uint32_t>{0, 0, R, R, 0, 0}));
}

TEST(Bmp, SixteenBitDefaultIs555AndOs2CoreHeader) {
  TBmpBuilder b(2, 1, 16, 0);
  b.PixelsStartHere();
  b.P16(0x7C00), b.P16(0x001F);  // red, blue; row padded to 4 bytes already
  TImage img;
  ASSERT_TRUE(DecodeMemory(b.Bytes.data(), b.Bytes.size(), img));
  EXPECT_EQ(img.Pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFF0000FFu}));

  TBytes os2 = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0,  // pixels at 32
                12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 24, 0,           // 1x1, 24 bits
                0, 0, 0, 0, 0, 0,                                // filler up to 32
                0x10, 0x20, 0x30, 0};
  ASSERT_TRUE(DecodeMemory(os2.data(), os2.size(), img));
  EXPECT_EQ(img.Pixels, (std::vector<uint32_t>{0xFF302010u}));
}

TEST(Bmp, HugeOrTruncatedIsRefusedBeforeAllocating) {
  TBmpBuilder huge(100000, 100000, 24, 0);
  huge.PixelsStartHere();
  int32_t w = 0, h = 0;
  TImage img;
  EXPECT_FALSE(ReadPictureSizeMemory(huge.Bytes.data(), huge.Bytes.size(), w, h));
  EXPECT_FALSE(DecodeMemory(huge.Bytes.data(), huge.Bytes.size(), img));
  TBmpBuilder cut(100, 100, 24, 0);
  cut.PixelsStartHere();
  cut.Bytes.resize(cut.Bytes.size() + 100);
  EXPECT_TRUE(ReadPictureSizeMemory(cut.Bytes.data(), cut.Bytes.size(), w, h));
  EXPECT_FALSE(DecodeMemory(cut.Bytes.data(), cut.Bytes.size(), img));
}

TEST(Gif, TransparencyWithManyColours) {
  const int w = 64, h = 64;
  std::vector<uint32_t> px(w * h);
  for (int i = 0; i < w * h; ++i) px[i] = i % 5 == 0 ? 0 : 0xFF000000u | uint32_t(i * 2654435761u >> 8);
  TBytes gif;
  ASSERT_TRUE(EncodeGif(px.data(), w, h, gif));
  TImage img;
  ASSERT_TRUE(DecodeMemory(gif.data(), gif.size(), img));
  for (int i = 0; i < w * h; ++i) ASSERT_EQ(img.Pixels[i] >> 24, i % 5 == 0 ? 0u : 255u) << i;
}

TEST(Png, AChunkLongerThanTheFileIsRefusedBeforeLibpngAllocatesIt) {
  std::vector<uint32_t> pixels(24 * 16, 0xFF336699);
  TBytes png;
  ASSERT_TRUE(EncodePng(pixels.data(), 24, 16, png));
  EXPECT_TRUE(PngChunksBeforeImageDataFit(png.data(), png.size()));
  // A text chunk after IHDR that claims 1.3 GB (a fuzzer's find: libpng
  // allocated it, only warning that the chunk is too large).
  TBytes text = {0x53, 0x00, 0x00, 0x0F, 't', 'E', 'X', 't', 'S', 'o', 'f', 't'};
  TBytes bad(png.begin(), png.begin() + 33);
  bad.insert(bad.end(), text.begin(), text.end());
  bad.insert(bad.end(), png.begin() + 33, png.end());
  EXPECT_FALSE(PngChunksBeforeImageDataFit(bad.data(), bad.size()));
  TImage image;
  EXPECT_FALSE(DecodePng(bad.data(), bad.size(), image));
  // Exactly fitting chunks, and a file cut inside a chunk header, are left to libpng.
  EXPECT_TRUE(PngChunksBeforeImageDataFit(png.data(), 33 + 4));
  EXPECT_TRUE(PngChunksBeforeImageDataFit(png.data(), 8));
}

TEST(Sniff, FormatsByMagicBytes) {
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0}, tiffBig[] = {'M', 'M', 0, '+'},
                bmp[] = {'B', 'M', 0, 0}, junk[] = {'B', 'X', 0, 0};
  EXPECT_EQ(SniffFormat(jpeg, 4), TPictureFormat::Jpeg);
  EXPECT_EQ(SniffFormat(tiffBig, 4), TPictureFormat::Tiff);
  EXPECT_EQ(SniffFormat(bmp, 4), TPictureFormat::Bmp);
  EXPECT_EQ(SniffFormat(junk, 4), TPictureFormat::Unknown);
  EXPECT_EQ(SniffFormat(jpeg, 2), TPictureFormat::Unknown);
}

}  // namespace
}  // namespace kobalt

namespace kobalt {
namespace {

TEST(PixelBuffer, GrowsKeepsCopiesAndHandsOver) {
  TPixelBuffer a{1, 2, 3};
  ASSERT_TRUE(a.TryResize(size_t(3) << 20));  // big enough for the huge-page path
  EXPECT_EQ(a[0], 1u);
  EXPECT_EQ(a[2], 3u);
  a.resize(2);
  TPixelBuffer b = a;
  b[0] = 9;
  EXPECT_EQ(a, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(b, (std::vector<uint32_t>{9, 2}));
  uint32_t* block = b.Release();
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(block[0], 9u);
  std::free(block);
  EXPECT_FALSE(a.TryResize(SIZE_MAX / 2));
  EXPECT_EQ(a.size(), 2u);
}

}  // namespace
}  // namespace kobalt

namespace kobalt {
namespace {

// Found by fuzzing: sides near 2^32 overflowed the pixel-count check.
TEST(SizeChecks, HugeSidesAreRefusedWithoutOverflow) {
  const uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                         0xC7, 0xC7, 0xC7, 0xC7, 0xC7, 0xC7, 0xC7, 0xC7, 8, 6, 0, 0, 0};
  int32_t w = 0, h = 0;
  EXPECT_FALSE(ReadPictureSizeMemory(png, sizeof png, w, h));
  TImage img;
  EXPECT_FALSE(DecodeMemory(png, sizeof png, img));
  EXPECT_FALSE(SaneSize(int64_t(1) << 40, int64_t(1) << 40));
  EXPECT_FALSE(SaneSize(int64_t(1) << 62, 4));
  EXPECT_TRUE(SaneSize(int64_t(1) << 14, int64_t(1) << 14));
  EXPECT_FALSE(SaneSize(0, 10));
}

}  // namespace
}  // namespace kobalt

namespace kobalt {
namespace {

// A TIFF names its own orientation; the decoder turns it upright like a JPEG.
TEST(Tiff, OwnOrientationTagIsHonoured) {
  TImage source{3, 2, {1, 2, 3, 4, 5, 6}};
  for (uint32_t& p : source.Pixels) p |= 0xFF000000u;
  TBytes tiff;
  ASSERT_TRUE(EncodeTiff(source.Pixels.data(), 3, 2, tiff));
  ASSERT_EQ(tiff[0], 'I');  // libtiff writes the machine's byte order
  const uint8_t entry[] = {0x12, 0x01, 3, 0, 1, 0, 0, 0, 1, 0};  // Orientation, SHORT, 1, value 1
  auto at = std::search(tiff.begin(), tiff.end(), std::begin(entry), std::end(entry));
  ASSERT_NE(at, tiff.end());
  for (uint8_t orientation = 1; orientation <= 8; ++orientation) {
    at[8] = orientation;
    TImage decoded, expected = source;
    ApplyOrientation(expected, orientation);
    ASSERT_TRUE(DecodeMemory(tiff.data(), tiff.size(), decoded)) << int(orientation);
    EXPECT_EQ(decoded.Width, expected.Width);
    EXPECT_TRUE(decoded.Pixels == expected.Pixels) << int(orientation);
    int32_t w = 0, h = 0;
    ASSERT_TRUE(ReadPictureSizeMemory(tiff.data(), tiff.size(), w, h));
    EXPECT_EQ(w, expected.Width);
  }
}

}  // namespace
}  // namespace kobalt
