// The watermark's EXIF fields: their stored block, byte for byte, and the
// order in which they reach an output file, recorded by a test plug-in.

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "util/Error.h"

namespace tvx::Watermark {
namespace {

using test::TPluginLog;
using test::TTempDir;

std::string BytesOf(const TWatermarkExif& exif) {
  TMemoryStream stream;
  exif.SaveToStream(stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

std::string LoadError(const std::string& bytes, TWatermarkExif& exif) {
  TMemoryStream stream(bytes.data(), bytes.size());
  try {
    exif.LoadFromStream(stream);
  } catch (const EError& e) {
    return e.what();
  }
  return "<no error>";
}

TEST(WatermarkExif, NewRecordIsEmptyAndStoresAsTheDefaultBlock) {
  TWatermarkExif exif;
  EXPECT_TRUE(exif.IsEmpty());
  using namespace std::string_literals;
  EXPECT_EQ(BytesOf(exif),
            "WMEX\x01\0\0\0"s
            "\0\0\0\0"s
            "STR1\0\0\0\0"s
            "STR1\0\0\0\0"s
            "STR1\0\0\0\0"s
            "STR1\0\0\0\0"s);
  // Texts alone do not make a record non-empty.
  exif.Comment = "unused";
  EXPECT_TRUE(exif.IsEmpty());
  exif.WriteArtist = true;
  EXPECT_FALSE(exif.IsEmpty());
}

TEST(WatermarkExif, StoresFlagsThenTextsInFieldOrder) {
  TWatermarkExif exif;
  exif.WriteTitle = true;
  exif.WriteArtist = true;
  exif.WriteComment = true;
  exif.Title = "T";
  exif.Copyright = "(c) Zo\xC3\xAB";  // kept while its flag is off
  exif.Artist = "";
  exif.Comment = "a\r\nb";
  using namespace std::string_literals;
  const std::string expected =
      "WMEX\x01\0\0\0"s
      "\x01\x00\x01\x01"s
      "STR1\x01\0\0\0T"s
      "STR1\x08\0\0\0(c) Zo\xC3\xAB"s
      "STR1\0\0\0\0"s
      "STR1\x04\0\0\0a\r\nb"s;
  EXPECT_EQ(BytesOf(exif), expected);

  TWatermarkExif read;
  EXPECT_EQ(LoadError(expected, read), "<no error>");
  EXPECT_EQ(read, exif);
}

TEST(WatermarkExif, AnyNonZeroFlagByteReadsAsSet) {
  using namespace std::string_literals;
  const std::string emptyText = "STR1\0\0\0\0"s;
  TWatermarkExif read;
  EXPECT_EQ(LoadError("WMEX\x01\0\0\0"s
                      "\x02\x00\xFF\x00"s +
                          emptyText + emptyText + emptyText + emptyText,
                      read),
            "<no error>");
  EXPECT_TRUE(read.WriteTitle);
  EXPECT_FALSE(read.WriteCopyright);
  EXPECT_TRUE(read.WriteArtist);
  EXPECT_FALSE(read.WriteComment);
}

TEST(WatermarkExif, BadBlocksRaiseAndKeepTheRecord) {
  using namespace std::string_literals;
  TWatermarkExif exif;
  exif.WriteCopyright = true;
  exif.Copyright = "mine";
  const TWatermarkExif before = exif;

  EXPECT_EQ(LoadError("WMEY\x01\0\0\0"s, exif), "TWatermarkExif::LoadFromStream::51 - Invalid signature!");
  EXPECT_EQ(LoadError("WMEX\x02\0\0\0"s, exif), "TWatermarkExif::LoadFromStream::66 - Unknown version (2)!");
  EXPECT_EQ(LoadError("WMEX\xFF\xFF\xFF\xFF"s, exif),
            "TWatermarkExif::LoadFromStream::66 - Unknown version (-1)!");
  // A damaged string raises the string reader's error.
  EXPECT_EQ(LoadError("WMEX\x01\0\0\0"s
                      "\x01\x01\x01\x01"s
                      "STR2"s,
                      exif),
            "ReadString::232 - Invalid string (Stream pointer: 16)!");
  // Cut short in the middle of the texts.
  std::string full = BytesOf(before);
  EXPECT_NE(LoadError(full.substr(0, full.size() - 2), exif), "<no error>");
  EXPECT_EQ(exif, before);
}

// ---- applying the fields to an output file ---------------------------------

class ApplyWatermarkExifTest : public ::testing::Test {
 protected:
  void SetUp() override { test::CopyTestPlugins(plugins_, {"first", "second"}); }
  TPluginLog log_;
  TTempDir plugins_;
};

TEST_F(ApplyWatermarkExifTest, CopiesTheSourceBlockThenWritesChosenFieldsInOrder) {
  TPluginManager manager(plugins_.Path().string());
  TWatermarkExif exif;
  exif.WriteTitle = true;  // with an empty text: still written
  exif.Copyright = "not chosen";
  exif.WriteArtist = true;
  exif.Artist = "Me";
  exif.WriteComment = true;
  exif.Comment = "line 1\r\nline 2";
  // Every call of the recording plug-in reports false: the run goes on.
  ApplyWatermarkExif(manager, exif, "/pics/s.sec", "/out/o.rec");
  EXPECT_EQ(log_.Calls(), (std::vector<std::string>{
                              "second CopyExif /pics/s.sec /out/o.rec",
                              "first WriteExif /out/o.rec 270 []",
                              "first WriteExif /out/o.rec 315 [Me]",
                              "first WriteExif /out/o.rec 37510 [line 1\r",
                              "line 2]",
                          }));

  log_.Clear();
  exif.WriteCopyright = true;
  ApplyWatermarkExif(manager, exif, "/pics/s.rec", "/out/o.png");
  std::vector<std::string> calls = log_.Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0], "first CopyExif /pics/s.rec /out/o.png");
  EXPECT_EQ(calls[1], "second WriteExif /out/o.png 270 []");
  EXPECT_EQ(calls[2], "second WriteExif /out/o.png 33432 [not chosen]");
  EXPECT_EQ(calls[3], "second WriteExif /out/o.png 315 [Me]");
}

TEST_F(ApplyWatermarkExifTest, WithoutChosenFieldsOnlyTheBlockIsCopied) {
  TPluginManager manager(plugins_.Path().string());
  TWatermarkExif exif;
  exif.Title = "ignored";
  // The output's extension is never looked at when no field is chosen.
  ApplyWatermarkExif(manager, exif, "/pics/s.rec", "/out/o.unknown");
  EXPECT_EQ(log_.Calls(), std::vector<std::string>{"first CopyExif /pics/s.rec /out/o.unknown"});
}

TEST_F(ApplyWatermarkExifTest, UnservedExtensionsRaise) {
  TPluginManager manager(plugins_.Path().string());
  TWatermarkExif exif;
  exif.WriteArtist = true;
  exif.WriteComment = true;
  auto errorOf = [&](const std::string& source, const std::string& output) -> std::string {
    try {
      ApplyWatermarkExif(manager, exif, source, output);
    } catch (const EError& e) {
      return e.what();
    }
    return "<no error>";
  };
  EXPECT_EQ(errorOf("/pics/s.gif", "/out/o.rec"), "TPluginManager::CopyExif::295 - Unsupported file plugin!");
  EXPECT_TRUE(log_.Calls().empty());  // nothing is written after the copy failed
  EXPECT_EQ(errorOf("/pics/s.rec", "/out/o.gif"),
            "TPluginManager::WriteExif::286 - Unsupported file plugin!");
  EXPECT_EQ(log_.Calls(), std::vector<std::string>{"first CopyExif /pics/s.rec /out/o.gif"});
}

// ---- one rewrite where one plug-in serves both files ------------------------

struct TRouteCase {
  const char* Name;
  const char* Source;
  const char* Output;
  bool Title, Comment;
  std::vector<std::string> Calls;
  const char* Error = "";
};
void PrintTo(const TRouteCase& c, std::ostream* out) { *out << c.Name; }

class OneRewriteRouting : public ::testing::TestWithParam<TRouteCase> {
 protected:
  void SetUp() override { test::CopyTestPlugins(plugins_, {"first", "second", "editor"}); }
  TPluginLog log_;
  TTempDir plugins_;
};

TEST_P(OneRewriteRouting, TakesTheOneRewriteOnlyWhereItIsOffered) {
  const TRouteCase& c = GetParam();
  TPluginManager manager(plugins_.Path().string());
  TWatermarkExif exif;
  exif.WriteTitle = c.Title;
  exif.Title = "T";
  exif.WriteComment = c.Comment;
  exif.Comment = "C";
  std::string error;
  try {
    ApplyWatermarkExif(manager, exif, c.Source, c.Output);
  } catch (const EError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, c.Error);
  EXPECT_EQ(log_.Calls(), c.Calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneRewriteRouting,
    ::testing::Values(TRouteCase{"SamePluginOneRewrite",
                                 "/p/s.eds",
                                 "/o/o.edt",
                                 true,
                                 true,
                                 {"editor ApplyExif /p/s.eds /o/o.edt 270 [T] 37510 [C]"}},
                      TRouteCase{"DeclinedFallsBackToTheSeparateCalls",
                                 "/p/s.edt",
                                 "/o/o.eds",
                                 true,
                                 true,
                                 {"editor ApplyExif /p/s.edt /o/o.eds 270 [T] 37510 [C]",
                                  "editor CopyExif /p/s.edt /o/o.eds", "editor WriteExif /o/o.eds 270 [T]",
                                  "editor WriteExif /o/o.eds 37510 [C]"}},
                      TRouteCase{"SourceOfAnotherPlugin",
                                 "/p/s.rec",
                                 "/o/o.edt",
                                 false,
                                 true,
                                 {"first CopyExif /p/s.rec /o/o.edt", "editor WriteExif /o/o.edt 37510 [C]"}},
                      TRouteCase{"OutputOfAnotherPlugin",
                                 "/p/s.edt",
                                 "/o/o.sec",
                                 true,
                                 false,
                                 {"editor CopyExif /p/s.edt /o/o.sec", "second WriteExif /o/o.sec 270 [T]"}},
                      TRouteCase{"PluginWithoutTheExport",
                                 "/p/s.rec",
                                 "/o/o.rec",
                                 true,
                                 true,
                                 {"first CopyExif /p/s.rec /o/o.rec", "first WriteExif /o/o.rec 270 [T]",
                                  "first WriteExif /o/o.rec 37510 [C]"}},
                      TRouteCase{"NoFieldsOnlyCopies",
                                 "/p/s.edt",
                                 "/o/o.edt",
                                 false,
                                 false,
                                 {"editor CopyExif /p/s.edt /o/o.edt"}},
                      // Unserved extensions raise from the separate calls as before.
                      TRouteCase{"UnservedOutput",
                                 "/p/s.edt",
                                 "/o/o.gif",
                                 true,
                                 false,
                                 {"editor CopyExif /p/s.edt /o/o.gif"},
                                 "TPluginManager::WriteExif::286 - Unsupported file plugin!"},
                      TRouteCase{"UnservedSource",
                                 "/p/s.gif",
                                 "/o/o.edt",
                                 true,
                                 false,
                                 {},
                                 "TPluginManager::CopyExif::295 - Unsupported file plugin!"}),
    [](const ::testing::TestParamInfo<TRouteCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace tvx::Watermark
