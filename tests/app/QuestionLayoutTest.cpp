#include "app/QuestionLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tvx {
namespace {

// Every character (not byte) is 10 pixels wide.
int32_t Measure(std::string_view text) {
  int32_t chars = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  return chars * 10;
}

struct TWidthCase {
  const char* name;
  int32_t label, screen, expected;
};

class ClientWidthTest : public ::testing::TestWithParam<TWidthCase> {};

TEST_P(ClientWidthTest, LabelPlusMarginsWithinLimits) {
  const auto& c = GetParam();
  EXPECT_EQ(QuestionClientWidth(c.label, c.screen), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Question, ClientWidthTest,
                         ::testing::Values(TWidthCase{"ShortLabel", 100, 1280, 283},
                                           TWidthCase{"JustAtTheMinimum", 251, 1280, 283},
                                           TWidthCase{"WiderLabel", 400, 1280, 432},
                                           TWidthCase{"WiderThanTheScreen", 3000, 1280, 1280},
                                           TWidthCase{"TinyScreen", 10, 200, 200}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TBreakCase {
  const char* name;
  const char* text;
  int32_t maxWidth;
  std::vector<std::string> lines;
};

class BreakLinesTest : public ::testing::TestWithParam<TBreakCase> {};

TEST_P(BreakLinesTest, Breaks) {
  const auto& c = GetParam();
  std::vector<std::string> lines = BreakLines(c.text, c.maxWidth, Measure);
  EXPECT_EQ(lines, c.lines);
  for (const std::string& line : lines) EXPECT_LE(Measure(line), std::max(c.maxWidth, 10)) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Question, BreakLinesTest,
    ::testing::Values(
        TBreakCase{"FitsAsItIs", "Replace /a/b.jpg?", 200, {"Replace /a/b.jpg?"}},
        TBreakCase{"PathBreaksBetweenFolders",
                   "Replace /photos/2024/holiday/beach.jpg?",
                   200,
                   {"Replace /photos/", "2024/holiday/", "beach.jpg?"}},
        TBreakCase{
            "SpaceEndsALineUnseen", "Replace these pictures now?", 150, {"Replace these", "pictures now?"}},
        TBreakCase{"NoSeparatorBreaksBetweenCharacters", "abcdefghij", 40, {"abcd", "efgh", "ij"}},
        TBreakCase{"NeverInsideAUtf8Sequence",
                   "\xc3\xa4\xc3\xb6\xc3\xbc\xc3\xa4\xc3\xb6",
                   30,
                   {"\xc3\xa4\xc3\xb6\xc3\xbc", "\xc3\xa4\xc3\xb6"}},
        TBreakCase{"LeadingSlashIsNoBreak", "/abcdefgh", 50, {"/abcd", "efgh"}},
        TBreakCase{"LineBreaksStay", "one\n\ntwo", 200, {"one", "", "two"}},
        TBreakCase{"NarrowerThanOneCharacterStillMoves", "abc", 5, {"a", "b", "c"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BreakLines, EveryCharacterOfALongPathIsKept) {
  std::string path = "Replace /home/user/Pictures";
  for (int i = 0; i < 40; ++i) path += "/folder" + std::to_string(i);
  path += "/picture_wm(12).jpg?";
  std::vector<std::string> lines = BreakLines(path, 300, Measure);
  ASSERT_GT(lines.size(), 5u);
  std::string joined;
  for (const std::string& line : lines) {
    EXPECT_LE(Measure(line), 300);
    joined += line;
    if (line == "Replace") joined += ' ';
  }
  EXPECT_EQ(joined, path);
}

}  // namespace
}  // namespace tvx
