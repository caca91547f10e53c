#include "editor/EditorRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include <algorithm>
#include <set>

#include "watermark/Macros.h"

namespace tvx {
namespace {

struct TNameCase {
  std::vector<std::string> Taken;
  std::string New, Duplicate;  // for a new layer, and for duplicating "Logo"
};

class LayerNameTest : public testing::TestWithParam<TNameCase> {};

TEST_P(LayerNameTest, TakesTheFirstFreeName) {
  const TNameCase& c = GetParam();
  EXPECT_EQ(NewLayerName(c.Taken), c.New);
  EXPECT_EQ(DuplicateLayerName("Logo", c.Taken), c.Duplicate);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LayerNameTest,
    testing::Values(TNameCase{{}, "New Layer", "Logo copy"},
                    TNameCase{{"New Layer"}, "New Layer 1", "Logo copy"},
                    TNameCase{{"New Layer", "New Layer 1"}, "New Layer 2", "Logo copy"},
                    // a gap is filled
                    TNameCase{{"New Layer", "New Layer 2"}, "New Layer 1", "Logo copy"},
                    TNameCase{{"Logo", "Logo copy"}, "New Layer", "Logo copy 1"},
                    TNameCase{{"Logo", "Logo copy", "Logo copy 1"}, "New Layer", "Logo copy 2"},
                    // names are compared exactly
                    TNameCase{{"new layer", "Logo Copy"}, "New Layer", "Logo copy"}));

TEST(Opacity, EveryPercentageComesBackAsTyped) {
  for (int p = 0; p <= 100; ++p) {
    const int alpha = OpacityToAlpha(p);
    EXPECT_GE(alpha, 0);
    EXPECT_LE(alpha, 255);
    EXPECT_EQ(AlphaToOpacity(alpha), p) << p << "% stored as " << alpha;
  }
}

struct TAlphaCase {
  int Alpha, Shown;
};

class AlphaShownTest : public testing::TestWithParam<TAlphaCase> {};

TEST_P(AlphaShownTest, ShowsTheNearestPercentage) {
  EXPECT_EQ(AlphaToOpacity(GetParam().Alpha), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(Alphas, AlphaShownTest,
                         testing::Values(TAlphaCase{255, 100}, TAlphaCase{254, 100},  // older files
                                         TAlphaCase{191, 75}, TAlphaCase{127, 50}, TAlphaCase{128, 50},
                                         TAlphaCase{1, 0}, TAlphaCase{0, 0}, TAlphaCase{300, 100},
                                         TAlphaCase{-5, 0}));

TEST(Opacity, StoresFullAlphaAtOneHundredAndClamps) {
  EXPECT_EQ(OpacityToAlpha(100), 255);
  EXPECT_EQ(OpacityToAlpha(0), 0);
  EXPECT_EQ(OpacityToAlpha(75), 191);
  EXPECT_EQ(OpacityToAlpha(150), 255);
  EXPECT_EQ(OpacityToAlpha(-20), 0);
}

struct TTextCase {
  const char* Text;
  std::optional<int32_t> Opacity, FontSize;
};

class TypedNumberTest : public testing::TestWithParam<TTextCase> {};

TEST_P(TypedNumberTest, ReadsTheFirstNumber) {
  const TTextCase& c = GetParam();
  EXPECT_EQ(ParseOpacityText(c.Text), c.Opacity) << c.Text;
  EXPECT_EQ(ParseFontSizeText(c.Text), c.FontSize) << c.Text;
}

INSTANTIATE_TEST_SUITE_P(Texts, TypedNumberTest,
                         testing::Values(TTextCase{"75%", 75, 75}, TTextCase{"150", 100, 150},
                                         TTextCase{"-30", 30, 30}, TTextCase{"5000", 100, 2000},
                                         TTextCase{"0", 0, std::nullopt}, TTextCase{"0%", 0, std::nullopt},
                                         TTextCase{"", std::nullopt, std::nullopt},
                                         TTextCase{"abc", std::nullopt, std::nullopt},
                                         TTextCase{" 12 pt", 12, 12}, TTextCase{"12.7", 12, 12},
                                         TTextCase{"99999999999999999999", 100, 2000}));

TEST(OpacityRows, AreThePercentagesOfTheList) {
  EXPECT_EQ(OpacityRows(), (std::vector<std::string>{"0%", "25%", "33%", "50%", "66%", "75%", "100%"}));
  EXPECT_EQ(OpacityText(66), "66%");
}

TEST(MacroMenu, OffersEveryMacroOnce) {
  std::set<std::string> offered;
  for (const TMacroMenuEntry& e : MacroMenu()) {
    if (!e.Text.empty() && e.Text.front() == '<') {
      EXPECT_TRUE(offered.insert(e.Text).second) << e.Text;
    }
  }
  std::set<std::string> macros;
  for (const TTextMacro& m : TextMacros()) macros.insert(m.Name);
  EXPECT_EQ(offered, macros);
}

TEST(MacroMenu, PathsAndSpecialCharacters) {
  auto find = [](const std::string& text) {
    const auto& m = MacroMenu();
    auto it = std::find_if(m.begin(), m.end(), [&](const TMacroMenuEntry& e) { return e.Text == text; });
    return it == m.end() ? std::vector<std::string>{} : it->Path;
  };
  EXPECT_EQ(find("<FILENAME>"), (std::vector<std::string>{"Filename"}));
  EXPECT_EQ(find("<MAKE>"), (std::vector<std::string>{"JPEG Properties (EXIF)", "Camera", "Manufacturer"}));
  EXPECT_EQ(find("<FOCAL_LENGTH_35>"),
            (std::vector<std::string>{"JPEG Properties (EXIF)", "Exposure", "Focal Length In 35 mm Film"}));
  EXPECT_EQ(find("<WIDTH>"), (std::vector<std::string>{"Image Properties", "Real Width"}));
  EXPECT_EQ(find("\u00a9"), (std::vector<std::string>{"Special chars", "Copyright \u00a9 Sign"}));
  EXPECT_EQ(find("\u2122"), (std::vector<std::string>{"Special chars", "Trade Mark \u2122 Sign"}));
  EXPECT_EQ(find("\u00ae"), (std::vector<std::string>{"Special chars", "Registered \u00ae Sign"}));
  EXPECT_EQ(find("<FNUMBER>"), (std::vector<std::string>{"JPEG Properties (EXIF)", "Exposure", "F-Number"}));
  EXPECT_EQ(find("<LENS>"), (std::vector<std::string>{"JPEG Properties (EXIF)", "Camera", "Lens"}));
  EXPECT_EQ(find("<YEAR>"), (std::vector<std::string>{"JPEG Properties (EXIF)", "Year"}));
  EXPECT_EQ(find("<FOLDER>"), (std::vector<std::string>{"Folder"}));
  EXPECT_EQ(MacroMenu().size(), 39u);
}

TEST(CoordText, TwoDecimalsInFixedNotation) {
  EXPECT_EQ(CoordText(35), "35.00");
  EXPECT_EQ(CoordText(12.345f), "12.35");
  EXPECT_EQ(CoordText(-0.001), "0.00");
  EXPECT_EQ(CoordText(-7.5), "-7.50");
  EXPECT_EQ(CoordText(1e9), "1000000000.00");
  EXPECT_EQ(CoordText(std::numeric_limits<double>::quiet_NaN()), "0.00");
}

TEST(FitRules, AnglesComeIntoOneTurn) {
  struct Case {
    double in, out;
  } cases[] = {{0, 0},    {30, 30},   {180, 180}, {-180, 180}, {181, -179}, {-181, 179},   {360, 0},
               {-360, 0}, {540, 180}, {725, 5},   {-725, -5},  {NAN, 0},    {INFINITY, 0}, {-0.0, 0}};
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(NormalizeAngle(c.in), c.out) << c.in;
    EXPECT_FALSE(std::signbit(NormalizeAngle(c.in)) && NormalizeAngle(c.in) == 0) << c.in;
  }
  // the dial's radians (clockwise, as the layer turns) and back
  EXPECT_DOUBLE_EQ(RadiansToDegrees(std::numbers::pi / 2), 90);  // pointing straight down
  EXPECT_DOUBLE_EQ(RadiansToDegrees(-std::numbers::pi / 6), -30);
  EXPECT_DOUBLE_EQ(RadiansToDegrees(std::numbers::pi), 180);
  for (double degrees : {-179.0, -30.0, 0.0, 45.5, 180.0})
    EXPECT_NEAR(RadiansToDegrees(DegreesToRadians(degrees)), degrees, 1e-9);
}

}  // namespace
}  // namespace tvx
