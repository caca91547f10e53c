#include "raster/text/Bidi.h"

#include <gtest/gtest.h>

namespace tvx::text {
namespace {

// Hebrew letters (alef U+05D0, bet U+05D1) stand for any right-to-left script.
std::vector<uint8_t> Levels(const std::u32string& s) { return ResolveBidiLevels(s); }

TEST(BidiTest, SingleDirectionLines) {
  EXPECT_EQ(Levels(U"abc 1.5"), std::vector<uint8_t>(7, 0));
  EXPECT_EQ(Levels(U"\u05D0 \u05D1"), std::vector<uint8_t>(3, 1));
  EXPECT_EQ(Levels(U"12 +-"), std::vector<uint8_t>(5, 0));  // no strong letter: left to right
}

TEST(BidiTest, NumbersStayLeftToRightInsideRightToLeftText) {
  EXPECT_EQ(Levels(U"\u05D0 2026:12:08 \u05D1"),
            (std::vector<uint8_t>{1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1}));
  // A terminator sticks to its number; a lone separator does not.
  EXPECT_EQ(Levels(U"\u05D050%"), (std::vector<uint8_t>{1, 2, 2, 2}));
  EXPECT_EQ(Levels(U"\u05D05:\u05D1"), (std::vector<uint8_t>{1, 2, 1, 1}));
}

TEST(BidiTest, MixedLinesFollowTheFirstStrongLetter) {
  // Left-to-right paragraph with a right-to-left island holding a number.
  EXPECT_EQ(Levels(U"ab \u05D0 7 \u05D1 cd"), (std::vector<uint8_t>{0, 0, 0, 1, 1, 2, 1, 1, 0, 0, 0}));
  // Right-to-left paragraph with a left-to-right island.
  EXPECT_EQ(Levels(U"\u05D0 ab \u05D1"), (std::vector<uint8_t>{1, 1, 2, 2, 1, 1}));
  // A combining mark (patah) takes its base's direction.
  EXPECT_EQ(Levels(U"a\u05D0\u05B7"), (std::vector<uint8_t>{0, 1, 1}));
}

TEST(BidiTest, VisualRunOrderReversesRightToLeftSequences) {
  EXPECT_EQ(VisualRunOrder({}), std::vector<size_t>{});
  EXPECT_EQ(VisualRunOrder({0, 0, 0}), (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(VisualRunOrder({1, 1}), (std::vector<size_t>{1, 0}));
  // Latin, Hebrew, number, Hebrew, Latin.
  EXPECT_EQ(VisualRunOrder({0, 1, 2, 1, 0}), (std::vector<size_t>{0, 3, 2, 1, 4}));
  // Hebrew paragraph with a Latin word and a number.
  EXPECT_EQ(VisualRunOrder({1, 2, 1, 2, 1}), (std::vector<size_t>{4, 3, 2, 1, 0}));
}

}  // namespace
}  // namespace tvx::text
