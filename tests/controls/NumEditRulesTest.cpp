#include "controls/NumEditRules.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tvx {
namespace {

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

struct TCharCase {
  const char* name;
  char32_t c;
  bool acceptFloat;
  const char* title;  // nullptr: accepted
  const char* text;
};

class TypedCharTest : public ::testing::TestWithParam<TCharCase> {};

TEST_P(TypedCharTest, FilterDecides) {
  const auto& c = GetParam();
  auto refused = RefuseTypedChar(c.c, c.acceptFloat);
  if (!c.title) {
    EXPECT_FALSE(refused.has_value());
    return;
  }
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->Icon, TBalloonIcon::Error);
  EXPECT_EQ(refused->Title, c.title);
  EXPECT_EQ(refused->Text, c.text);
}

constexpr const char* kNumber = "Invalid number";
constexpr const char* kChar = "Invalid char";
constexpr const char* kIntegers = "Only integers are allowed.";
constexpr const char* kNumbers = "Only valid numbers are allowed.";

INSTANTIATE_TEST_SUITE_P(NumEdit, TypedCharTest,
                         ::testing::Values(TCharCase{"Digit", U'7', false, nullptr, nullptr},
                                           TCharCase{"Minus", U'-', false, nullptr, nullptr},
                                           TCharCase{"Plus", U'+', false, nullptr, nullptr},
                                           TCharCase{"Comma", U',', false, nullptr, nullptr},
                                           TCharCase{"Space", U' ', false, nullptr, nullptr},
                                           TCharCase{"Backspace", U'\b', false, nullptr, nullptr},
                                           TCharCase{"At", U'@', false, nullptr, nullptr},
                                           TCharCase{"BraceAfterz", U'{', false, nullptr, nullptr},
                                           TCharCase{"Delete127", U'\x7f', false, nullptr, nullptr},
                                           TCharCase{"SeparatorForFloats", U'.', true, nullptr, nullptr},
                                           TCharCase{"SeparatorForIntegers", U'.', false, kNumber, kIntegers},
                                           TCharCase{"UpperA", U'A', true, kChar, kNumbers},
                                           TCharCase{"LowerZ", U'z', true, kChar, kNumbers},
                                           TCharCase{"LetterE", U'e', true, kChar, kNumbers},
                                           TCharCase{"Bracket", U'[', true, kChar, kNumbers},
                                           TCharCase{"Underscore", U'_', true, kChar, kNumbers},
                                           TCharCase{"Code128", char32_t{128}, true, kChar, kNumbers},
                                           TCharCase{"EAcute", U'\u00e9', true, kChar, kNumbers},
                                           TCharCase{"ArabicDigit", U'\u0663', true, kChar, kNumbers}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TReadCase {
  const char* text;
  int32_t asInt;
  double asFloat;
};

class ReadingTest : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ReadingTest, Lenient) {
  const auto& c = GetParam();
  EXPECT_EQ(NumEditIntValue(c.text), c.asInt) << '"' << c.text << '"';
  EXPECT_DOUBLE_EQ(NumEditFloatValue(c.text), c.asFloat) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    NumEdit, ReadingTest,
    ::testing::Values(
        TReadCase{"", 0, 0}, TReadCase{"42", 42, 42}, TReadCase{"12px", 12, 12}, TReadCase{"-3.5", -35, -3.5},
        TReadCase{"abc", 0, 0}, TReadCase{"1-2", 0, 0}, TReadCase{"-", 0, 0}, TReadCase{"--5", 0, 0},
        TReadCase{"+7", 7, 7}, TReadCase{"1 000", 1000, 1000}, TReadCase{"1.2.3", 123, 0},
        TReadCase{".5", 5, 0.5}, TReadCase{"007", 7, 7}, TReadCase{"-0", 0, 0},
        TReadCase{"2147483647", kIntMax, 2147483647.0}, TReadCase{"-2147483648", kIntMin, -2147483648.0},
        // beyond the 32-bit range: the nearest limit, never a wrap
        TReadCase{"2147483648", kIntMax, 2147483648.0}, TReadCase{"99999999999", kIntMax, 99999999999.0},
        TReadCase{"-99999999999", kIntMin, -99999999999.0}, TReadCase{"4294967297", kIntMax, 4294967297.0},
        TReadCase{"99999999999-1", 0, 0}));

struct TRangeCase {
  const char* name;
  const char* text;
  int32_t min, max;
  TRangeStage stage;
  const char* expected;  // nullptr: left as it is
  const char* balloon;
};

class RangeTest : public ::testing::TestWithParam<TRangeCase> {};

TEST_P(RangeTest, Clamps) {
  const auto& c = GetParam();
  TRangeCheck r = CheckRange(c.text, c.min, c.max, c.stage);
  if (!c.expected) {
    EXPECT_FALSE(r.Clamped) << "became " << r.Text;
    return;
  }
  ASSERT_TRUE(r.Clamped);
  EXPECT_EQ(r.Text, c.expected);
  EXPECT_EQ(r.Balloon.Title, "Invalid number");
  EXPECT_EQ(r.Balloon.Icon, TBalloonIcon::Error);
  EXPECT_EQ(r.Balloon.Text, c.balloon);
}

constexpr auto kTyping = TRangeStage::Typing;
constexpr auto kFinished = TRangeStage::Finished;

INSTANTIATE_TEST_SUITE_P(
    NumEdit, RangeTest,
    ::testing::Values(
        TRangeCase{"InRange", "500", 0, 1000, kTyping, nullptr, nullptr},
        TRangeCase{"AtMax", "1000", 0, 1000, kTyping, nullptr, nullptr},
        TRangeCase{"AboveMaxAtOnce", "1500", 0, 1000, kTyping, "1000", "Entered number (1500) is too huge."},
        TRangeCase{"HugeKeepsTheTypedText", "15x00", 0, 1000, kTyping, "1000",
                   "Entered number (15x00) is too huge."},
        TRangeCase{"NegativeBelowZeroAtOnce", "-5", 0, 1000, kTyping, "0",
                   "Entered number (-5) is too small."},
        TRangeCase{"NegativeBelowPositiveMinAtOnce", "-1", 3, 10000, kTyping, "3",
                   "Entered number (-1) is too small."},
        // on the way to "100" with minimum 3: left for more typing
        TRangeCase{"FirstDigitBelowMin", "1", 3, 10000, kTyping, nullptr, nullptr},
        TRangeCase{"EmptyBelowMin", "", 3, 10000, kTyping, nullptr, nullptr},
        TRangeCase{"HundredWithMinThree", "100", 3, 10000, kTyping, nullptr, nullptr},
        TRangeCase{"BelowMinWhenEditingEnds", "1", 3, 10000, kFinished, "3",
                   "Entered number (1) is too small."},
        TRangeCase{"EmptyWhenEditingEnds", "", 3, 10000, kFinished, "3", "Entered number (0) is too small."},
        TRangeCase{"NegativeMinTyping", "-50", -10, 10, kTyping, "-10", "Entered number (-50) is too small."},
        TRangeCase{"LoneMinusNegativeMax", "-", -100, -5, kTyping, nullptr, nullptr},
        TRangeCase{"OnTheWayToNegativeInRange", "-1", -100, -5, kTyping, nullptr, nullptr},
        TRangeCase{"NegativeMaxWhenEditingEnds", "-1", -100, -5, kFinished, "-5",
                   "Entered number (-1) is too huge."},
        TRangeCase{"PositiveAboveNegativeMax", "3", -100, -5, kTyping, "-5",
                   "Entered number (3) is too huge."},
        TRangeCase{"SaturatedAboveMax", "99999999999", 0, 1000, kTyping, "1000",
                   "Entered number (99999999999) is too huge."},
        TRangeCase{"FullRangeNeverClamps", "99999999999", kIntMin, kIntMax, kFinished, nullptr, nullptr},
        TRangeCase{"FloatTextReadAsInteger", "2.5", 0, 20, kTyping, "20",
                   "Entered number (2.5) is too huge."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvx
