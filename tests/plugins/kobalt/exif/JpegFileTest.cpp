#include "JpegFile.h"

#include <gtest/gtest.h>

#include "ExifTestSupport.h"
#include "support/TestSupport.h"

namespace kobalt {
namespace {

using test::ReadBytes;
namespace fs = std::filesystem;

std::vector<uint8_t> Segment(uint8_t marker, const std::string& payload) {
  std::vector<uint8_t> out(4 + payload.size());
  out[0] = 0xFF;
  out[1] = marker;
  out[2] = uint8_t((payload.size() + 2) >> 8);
  out[3] = uint8_t((payload.size() + 2) & 0xFF);
  std::copy(payload.begin(), payload.end(), out.begin() + 4);
  return out;
}

// A minimal structurally valid JPEG: SOI, the given segments, SOS, scan, EOI.
std::vector<uint8_t> MakeJpeg(const std::vector<std::vector<uint8_t>>& segments,
                              const std::string& scan = "\x12\x34\xFF\x00\x56") {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  for (const auto& s : segments) out.insert(out.end(), s.begin(), s.end());
  auto sos = Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
  out.insert(out.end(), sos.begin(), sos.end());
  out.insert(out.end(), scan.begin(), scan.end());
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

TEST(JpegFile, EveryPhotoReadsAndWritesBackByteIdentical) {
  TVX_REQUIRE_TESTDATA();
  int count = 0;
  for (const char* folder : {"photos", "formats"})
    for (const auto& entry : fs::directory_iterator(tvx::test::TestDataDir() / folder)) {
      if (entry.path().extension() != ".jpg") continue;
      std::vector<uint8_t> bytes = ReadBytes(entry.path());
      TJpegFile file;
      ASSERT_TRUE(file.Read(bytes.data(), bytes.size())) << entry.path();
      EXPECT_TRUE(file.Write() == bytes) << entry.path();
      ++count;
    }
  EXPECT_GE(count, 25);
}

TEST(JpegFile, FillBytesTrailingDataAndMissingEoiSurvive) {
  // Fill bytes before a marker, bytes after the primary picture's EOI, and a
  // scan cut short without EOI all come back unchanged.
  std::vector<uint8_t> jpeg = MakeJpeg({Segment(0xE0, "JFIF")});
  jpeg.insert(jpeg.begin() + 2, {0xFF, 0xFF});
  std::vector<uint8_t> trailing = jpeg;
  for (uint8_t b : {0x00, 0x11, 0xFF, 0xD8, 0xFF, 0xD9}) trailing.push_back(b);
  std::vector<uint8_t> truncated(jpeg.begin(), jpeg.end() - 3);
  for (const auto& bytes : {jpeg, trailing, truncated}) {
    TJpegFile file;
    ASSERT_TRUE(file.Read(bytes.data(), bytes.size()));
    EXPECT_TRUE(file.Write() == bytes);
  }
}

TEST(JpegFile, RefusesWhatItCannotRewriteSafely) {
  std::vector<uint8_t> good = MakeJpeg({Segment(0xE0, "JFIF")});
  std::vector<std::vector<uint8_t>> bad = {
      {},
      {0xFF},
      {0x00, 0xD8, 0xFF, 0xD9},
      std::vector<uint8_t>(good.begin(), good.begin() + 7),       // length runs past the end
      std::vector<uint8_t>(good.begin(), good.end() - 9),         // cut inside SOS
      MakeJpeg({{0xFF, 0xE0, 0x00, 0x01}}),                       // length below 2
      MakeJpeg({{0x12, 0x34}}),                                   // no marker where one belongs
      MakeJpeg({Segment(0xE0, "JFIF")}, ""),                       // SOS without scan data
  };
  for (const auto& bytes : bad) {
    TJpegFile file;
    EXPECT_FALSE(file.Read(bytes.data(), bytes.size()));
    EXPECT_TRUE(file.Write().empty());
    EXPECT_EQ(file.SetExif(std::vector<uint8_t>{'E', 'x', 'i', 'f', 0, 0}), -1);
  }
}

TEST(JpegFile, BadFilesNeverCrash) {
  TVX_REQUIRE_TESTDATA();
  for (const auto& entry : fs::directory_iterator(tvx::test::TestDataDir() / "bad")) {
    std::vector<uint8_t> bytes = ReadBytes(entry.path());
    TJpegFile file;
    if (file.Read(bytes.data(), bytes.size())) {
      EXPECT_TRUE(file.Write() == bytes) << entry.path();
    }
  }
  for (const char* name : {"jpeg_app1_length_overflow.jpg", "jpeg_empty.jpg",
                           "jpeg_headers_only_no_scan.jpg", "jpeg_soi_zeroed.jpg",
                           "jpeg_extension_but_png_content.jpg"}) {
    std::vector<uint8_t> bytes = ReadBytes(tvx::test::TestDataDir() / "bad" / name);
    TJpegFile file;
    EXPECT_FALSE(file.Read(bytes.data(), bytes.size())) << name;
  }
}

TEST(JpegFile, OnlyExifApp1IsTheExifBlock) {
  std::string xmp("http://ns.adobe.com/xap/1.0/\0<x/>", 33);
  std::vector<uint8_t> jpeg = MakeJpeg({Segment(0xE0, "JFIF"), Segment(0xE1, xmp)});
  TJpegFile file;
  ASSERT_TRUE(file.Read(jpeg.data(), jpeg.size()));
  EXPECT_EQ(file.FindExif(), -1);
  EXPECT_EQ(file.ExifPayload(), nullptr);

  // A new block goes after SOI and JFIF; the XMP segment stays as it was.
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
  EXPECT_EQ(file.SetExif(block), 2);
  EXPECT_EQ(file.FindExif(), 2);
  ASSERT_EQ(file.Segments().size(), 6u);
  EXPECT_EQ(file.Segments()[1].Marker, 0xE0);
  EXPECT_EQ(file.Segments()[3].Payload, std::vector<uint8_t>(xmp.begin(), xmp.end()));

  // A second replacement reuses the same segment.
  block.push_back(0);
  EXPECT_EQ(file.SetExif(block), 2);
  EXPECT_EQ(file.Segments().size(), 6u);
  std::vector<uint8_t> written = file.Write();
  TJpegFile again;
  ASSERT_TRUE(again.Read(written.data(), written.size()));
  EXPECT_EQ(*again.ExifPayload(), block);

  // Too large for one segment.
  EXPECT_EQ(file.SetExif(std::vector<uint8_t>(kMaxSegmentPayload + 1, 0)), -1);
}

TEST(JpegFile, FrameSizeAndComponents) {
  TVX_REQUIRE_TESTDATA();
  struct {
    const char* name;
    int width, height, components;
  } cases[] = {{"canon_powershot_a85_orient8.jpg", 1704, 2272, 3},
               {"grayscale_no_exif.jpg", 128, 128, 1},
               {"cmyk_ycck_multichunk_icc.jpg", 140, 140, 4}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = ReadBytes(test::Photo(c.name));
    TJpegFile file;
    ASSERT_TRUE(file.Read(bytes.data(), bytes.size()));
    int w = 0, h = 0;
    EXPECT_TRUE(file.FrameSize(w, h));
    EXPECT_EQ(w, c.width) << c.name;
    EXPECT_EQ(h, c.height) << c.name;
    EXPECT_EQ(file.Components(), c.components) << c.name;
  }
}

}  // namespace
}  // namespace kobalt
