// A run's metadata step on a segment list in one pass against the separate
// in-memory operations one after the other (each on the bytes the last one
// wrote): the same bytes for every camera photo and for sources without
// EXIF, into a fresh output and one that has EXIF already, with every
// combination of the four fields, and a field too long to write among them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "ExifBlock.h"
#include "ExifTestSupport.h"
#include "JpegFile.h"
#include "support/TestSupport.h"

namespace kobalt {
namespace {

namespace fs = std::filesystem;

// Fixed, so a block the fields create is dated alike on both sides.
constexpr std::time_t kNow = 1'780'000'000;

TImage Gradient(int w, int h) {
  TImage image;
  image.Width = w;
  image.Height = h;
  image.Pixels.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.Pixels[size_t(y) * size_t(w) + size_t(x)] =
          0xFF000000u | uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 | uint32_t((x + y) & 0xFF);
  return image;
}

std::vector<uint8_t> EncodedGradient(int w, int h) {
  TImage image = Gradient(w, h);
  std::vector<uint8_t> jpeg;
  EXPECT_TRUE(EncodeJpegToMemory(image.Pixels.data(), w, h, 80, jpeg));
  return jpeg;
}

// The same JPEG without its APP0 (JFIF) segment.
std::vector<uint8_t> WithoutApp0(const std::vector<uint8_t>& jpeg) {
  TJpegFile file;
  EXPECT_TRUE(file.Read(jpeg.data(), jpeg.size()));
  std::erase_if(file.Segments(), [](const TJpegSegment& s) { return s.Marker == kMarkerApp0; });
  return file.Write();
}

// A thumbnail source that does not depend on the destination's bytes, with
// the real encoder: both sides must make the same thumbnail from it.
TThumbnailCodec FixedCodec() {
  TThumbnailCodec codec;
  codec.DecodeDestination = [](TImage& image) {
    image = Gradient(96, 64);
    return true;
  };
  codec.EncodeJpeg = EncodeJpegToMemory;
  return codec;
}

struct TSource {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

// Every camera photo of the shared test data (when present) and two made
// here without any EXIF.
std::vector<std::string> SourceNames() {
  std::vector<std::string> names = {"made:plain", "made:no-app0"};
  if (fs::path dir = tvx::test::TestDataDir(); !dir.empty()) {
    std::vector<std::string> photos;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "photos"))
      if (entry.path().extension() == ".jpg") photos.push_back(entry.path().filename().string());
    std::sort(photos.begin(), photos.end());
    names.insert(names.end(), photos.begin(), photos.end());
  }
  return names;
}

std::vector<uint8_t> SourceBytes(const std::string& name) {
  if (name == "made:plain") return EncodedGradient(40, 30);
  if (name == "made:no-app0") return WithoutApp0(EncodedGradient(30, 40));
  return test::ReadBytes(test::Photo(name));
}

using TFields = std::vector<tvx::TExifFieldText>;

// Every combination of the four watermark fields, in their order; a UTF-8
// copyright, an empty artist and a two-line comment.
std::vector<TFields> FieldCombinations() {
  const tvx::TExifFieldText all[] = {{270, "Sunset over the bay"},
                                     {33432, "(c) 2026 Studio Zo\xC3\xAB"},
                                     {315, ""},
                                     {37510, "line 1\r\nline 2"}};
  std::vector<TFields> sets;
  for (unsigned mask = 0; mask < 16; ++mask) {
    TFields fields;
    for (unsigned i = 0; i < 4; ++i)
      if (mask & (1u << i)) fields.push_back(all[i]);
    sets.push_back(fields);
  }
  // One field no segment can hold, between two that fit.
  sets.push_back({all[0], {33432, std::string(70000, 'x')}, all[3]});
  return sets;
}

// The separate operations: copy, then each field, every step on the bytes
// the previous successful one produced; a failed step changes nothing.
std::vector<uint8_t> OneAfterTheOther(const std::vector<uint8_t>& source, const std::vector<uint8_t>& dest,
                                      const TFields& fields, bool& anyDone) {
  std::vector<uint8_t> file = dest, out;
  anyDone = false;
  if (CopyExifInJpeg(source, file, FixedCodec(), out)) {
    file = out;
    anyDone = true;
  }
  for (const tvx::TExifFieldText& field : fields)
    if (WriteExifInJpeg(file, field.Tag, field.Text, kNow, out)) {
      file = out;
      anyDone = true;
    }
  return file;
}

// The one pass, as the plug-in does it on a file: the destination's headers
// edited and put back in front of its untouched picture data.
std::vector<uint8_t> OnePass(const std::vector<uint8_t>& source, const std::vector<uint8_t>& dest,
                             const TFields& fields, bool& changed) {
  TJpegFile from, to;
  const bool haveSource = from.ReadHeaders(source.data(), source.size());
  EXPECT_TRUE(to.ReadHeaders(dest.data(), dest.size()));
  changed =
      ApplyExifInSegments(haveSource ? &from : nullptr, to, FixedCodec(), fields.data(), fields.size(), kNow);
  std::vector<uint8_t> result = to.WriteHeaders();
  result.insert(result.end(), dest.begin() + std::ptrdiff_t(to.HeaderBytes()), dest.end());
  return result;
}

class ExifOnePass : public ::testing::TestWithParam<std::string> {};

TEST_P(ExifOnePass, GivesTheBytesOfTheSeparateSteps) {
  const std::vector<uint8_t> source = SourceBytes(GetParam());
  ASSERT_FALSE(source.empty());
  const std::vector<uint8_t> fresh = EncodedGradient(96, 64);
  // An output that has EXIF of its own already (a new block, dated kNow).
  std::vector<uint8_t> withExif;
  ASSERT_TRUE(WriteExifInJpeg(fresh, 315, "Someone else", kNow, withExif));

  const std::pair<const char*, const std::vector<uint8_t>*> dests[] = {{"fresh", &fresh},
                                                                       {"with EXIF", &withExif}};
  for (const auto& [destName, dest] : dests) {
    for (const TFields& fields : FieldCombinations()) {
      std::string trace = std::string("into ") + destName + ", fields";
      for (const tvx::TExifFieldText& f : fields) (trace += ' ') += std::to_string(f.Tag);
      SCOPED_TRACE(trace);
      bool anyDone = false, changed = false;
      const std::vector<uint8_t> expected = OneAfterTheOther(source, *dest, fields, anyDone);
      const std::vector<uint8_t> actual = OnePass(source, *dest, fields, changed);
      EXPECT_EQ(changed, anyDone);
      ASSERT_EQ(actual.size(), expected.size());
      ASSERT_TRUE(actual == expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, ExifOnePass, ::testing::ValuesIn(SourceNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(ExifOnePassSteps, AFailedStepLeavesTheListAsItWas) {
  // Fields that cannot be written at all: nothing changes, nothing is
  // reported as done, and the list writes back the bytes it was read from.
  const std::vector<uint8_t> dest = EncodedGradient(64, 48);
  TJpegFile to;
  ASSERT_TRUE(to.ReadHeaders(dest.data(), dest.size()));
  const std::vector<uint8_t> before = to.WriteHeaders();
  const TFields tooLong = {{270, std::string(70000, 'a')}, {37510, std::string(66000, 'b')}};
  EXPECT_FALSE(ApplyExifInSegments(nullptr, to, FixedCodec(), tooLong.data(), tooLong.size(), kNow));
  EXPECT_EQ(to.WriteHeaders(), before);
  // A source without EXIF has nothing to copy either.
  const std::vector<uint8_t> plain = EncodedGradient(20, 20);
  TJpegFile from;
  ASSERT_TRUE(from.ReadHeaders(plain.data(), plain.size()));
  EXPECT_FALSE(ApplyExifInSegments(&from, to, FixedCodec(), nullptr, 0, kNow));
  EXPECT_EQ(to.WriteHeaders(), before);
}

}  // namespace
}  // namespace kobalt
