#include "app/JsonProgress.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>

namespace tvx {
namespace {

struct TQuoteCase {
  std::string Text;
  std::string Json;
};

class JsonQuoting : public ::testing::TestWithParam<TQuoteCase> {};

TEST_P(JsonQuoting, Quote) { EXPECT_EQ(JsonQuote(GetParam().Text), GetParam().Json); }

INSTANTIATE_TEST_SUITE_P(JsonProgress, JsonQuoting,
                         ::testing::Values(TQuoteCase{"/pics/a.jpg", "\"/pics/a.jpg\""},
                                           TQuoteCase{"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
                                           TQuoteCase{"a\nb\tc\rd\x01", "\"a\\nb\\tc\\rd\\u0001\""},
                                           TQuoteCase{"Fotos/Ärger €.jpg 𝄞", "\"Fotos/Ärger €.jpg 𝄞\""},
                                           // bytes that are no UTF-8 (a Latin-1 name) stay recoverable
                                           TQuoteCase{"/caf\xe9.jpg", "\"/caf\\udce9.jpg\""},
                                           // overlong "/", an encoded surrogate, a cut sequence
                                           TQuoteCase{"\xc0\xaf", "\"\\udcc0\\udcaf\""},
                                           TQuoteCase{"\xed\xa0\x80", "\"\\udced\\udca0\\udc80\""},
                                           TQuoteCase{"x\xe2\x82", "\"x\\udce2\\udc82\""},
                                           TQuoteCase{"", "\"\""}));

std::string Capture(const std::function<void(TJsonProgress&)>& write) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  {
    TJsonProgress json(out);
    write(json);
  }
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

TEST(JsonProgress, OneLinePerRowThenTheFinalObject) {
  const std::string text = Capture([](TJsonProgress& json) {
    TPictureEvent written{3, "/in/a.jpg", "/out/a.jpg", TPictureStatus::Written, "new", "", 412};
    json.PictureDone(written);
    json.PictureDone({4, "/in/b.jpg", "/out/b.jpg", TPictureStatus::Copied, "replace", "", 5});
    json.PictureDone({5, "/in/c.jpg", "/out/c.jpg", TPictureStatus::Skipped, "skip", "", 0});
    json.PictureDone({6, "/in/gone.jpg", "", TPictureStatus::Missing, "missing", "", 0});
    json.PictureDone({7, "/in/bad.jpg", "/out/bad.jpg", TPictureStatus::Failed, "new", "X::1 - \"bad\"", 9});
    json.PictureDone({8, "/in/d.jpg", "/out/d(1).jpg", TPictureStatus::Planned, "rename", "", 0});
    TRunStats stats;
    stats.Written = 2;
    stats.Copied = 1;
    stats.Skipped = 1;
    stats.Missing = 1;
    stats.Failed = 1;
    json.Final(stats, "failed", 1);
    json.Final(TRunStats{}, "error", 1, "Y::2 - no");
  });
  EXPECT_EQ(text,
            "{\"index\":3,\"source\":\"/in/a.jpg\",\"output\":\"/out/a.jpg\",\"status\":\"written\","
            "\"decision\":\"new\",\"ms\":412}\n"
            "{\"index\":4,\"source\":\"/in/b.jpg\",\"output\":\"/out/b.jpg\",\"status\":\"copied\","
            "\"decision\":\"replace\",\"ms\":5}\n"
            "{\"index\":5,\"source\":\"/in/c.jpg\",\"output\":\"/out/c.jpg\",\"status\":\"skipped\","
            "\"reason\":\"exists\",\"decision\":\"skip\",\"ms\":0}\n"
            "{\"index\":6,\"source\":\"/in/"
            "gone.jpg\",\"output\":null,\"status\":\"skipped\",\"reason\":\"missing\","
            "\"decision\":\"missing\",\"ms\":0}\n"
            "{\"index\":7,\"source\":\"/in/bad.jpg\",\"output\":\"/out/bad.jpg\",\"status\":\"failed\","
            "\"decision\":\"new\",\"error\":\"X::1 - \\\"bad\\\"\",\"ms\":9}\n"
            "{\"index\":8,\"source\":\"/in/d.jpg\",\"output\":\"/out/d(1).jpg\",\"status\":\"planned\","
            "\"decision\":\"rename\",\"ms\":0}\n"
            "{\"final\":true,\"status\":\"failed\",\"written\":1,\"copied\":1,\"skipped\":1,\"missing\":1,"
            "\"failed\":1,\"planned\":0,\"exit\":1}\n"
            "{\"final\":true,\"status\":\"error\",\"written\":0,\"copied\":0,\"skipped\":0,\"missing\":0,"
            "\"failed\":0,\"planned\":0,\"error\":\"Y::2 - no\",\"exit\":1}\n");
}

// With "Keep JPEG quality" on, the line says which way the picture went;
// without it (no Path) the line stays as it was.
struct TPathCase {
  const char* Name;
  const char* Path;
  const char* Reason;
  int64_t Units, Redrawn;
  const char* Tail;  // what follows "decision"
};

class JsonPath : public ::testing::TestWithParam<TPathCase> {};

TEST_P(JsonPath, SaysWhichWayAPictureWent) {
  const TPathCase& c = GetParam();
  const std::string text = Capture([&](TJsonProgress& json) {
    TPictureEvent event;
    event.Index = 1;
    event.Source = "/in/a.jpg";
    event.Output = "/out/a.jpg";
    event.Decision = "new";
    event.Ms = 7;
    event.Path = c.Path;
    event.PathReason = c.Reason;
    event.Units = c.Units;
    event.UnitsRedrawn = c.Redrawn;
    json.PictureDone(event);
  });
  EXPECT_EQ(text, std::string("{\"index\":1,\"source\":\"/in/a.jpg\",\"output\":\"/out/a.jpg\",\"status\":"
                              "\"written\",\"decision\":\"new\"") +
                      c.Tail + ",\"ms\":7}\n");
}

INSTANTIATE_TEST_SUITE_P(
    JsonProgress, JsonPath,
    ::testing::Values(
        TPathCase{"setting_off", "", "", 0, 0, ""},
        TPathCase{"blocks", "blocks", "untouched MCUs copied as coded", 375000, 420,
                  ",\"path\":\"blocks\",\"path_reason\":\"untouched MCUs copied as coded\",\"mcus\":375000,"
                  "\"mcus_redrawn\":420"},
        TPathCase{"whole", "whole", "arithmetic coding", 0, 0,
                  ",\"path\":\"whole\",\"path_reason\":\"arithmetic coding\""},
        TPathCase{"quoted_reason", "whole", "a \"b\"\n", 0, 0,
                  ",\"path\":\"whole\",\"path_reason\":\"a \\\"b\\\"\\n\""}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace tvx
