#include "editor/TextEditSession.h"

#include <gtest/gtest.h>

#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Utils.h"
#include "watermark/WatermarkTestUtil.h"

namespace tvx {
namespace {

std::string Saved(const TBaseLayer& layer) {
  TMemoryStream s;
  layer.SaveToStream(s);
  return test::Bytes(s);
}

// A text with a drop shadow (which enlarges the rendered bitmap), stretched
// by the user to 150 % x 200 %.
struct TStretchedText {
  TLayerCollection Layers;
  TTextLayer& Text = Layers.Add<TTextLayer>();
  int32_t Width = 0, Height = 0;
  TStretchedText() {
    Text.Name = "Photo by";
    Text.Text = "Photo by";
    Text.Font.Size = 24;
    Text.Justification = tjCentered;
    Text.RenderText();
    Width = Text.NaturalWidth * 3 / 2;
    Height = Text.NaturalHeight * 2;
    {
      TLayerUpdate update(Text);
      ResampleBitmap(Text.SourceBitmap(), Width, Height);
    }
    RegisterFilterKinds();
    TFiltersParams styles;
    styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
    Text.SetStyles(styles);
  }
};

TEST(TextEditSession, ShowsThePlainTextWhileEditingAndTheStylesAfter) {
  TStretchedText t;
  int placed = 0;
  {
    TTextEditSession session(t.Text, [&](TTextLayer&) { ++placed; });
    EXPECT_FALSE(t.Text.StylesEnabled());
    EXPECT_EQ(t.Text.RenderedBitmap().Width(), t.Width);
    EXPECT_EQ(placed, 1);
    session.Ok();
  }
  EXPECT_TRUE(t.Text.StylesEnabled());
  EXPECT_GT(t.Text.RenderedBitmap().Width(), t.Width);
  EXPECT_EQ(placed, 2);
}

TEST(TextEditSession, EditingKeepsTheStretchWithoutInflatingIt) {
  TStretchedText t;
  const float fx = t.Text.HorizontalStretch(), fy = t.Text.VerticalStretch();
  TTextEditSession session(t.Text);
  // again and again: the shadow's margin must not creep into the stretch
  for (const char* text : {"Photo by me", "Photo", "Photo by"}) session.SetText(text);
  session.SetColor(0x0000FF);
  session.SetStyle(true, false, false, false);
  session.Ok();
  EXPECT_NEAR(t.Text.HorizontalStretch(), fx, 0.02);
  EXPECT_NEAR(t.Text.VerticalStretch(), fy, 0.02);
  EXPECT_TRUE(t.Text.Font.Bold);
}

TEST(TextEditSession, ANewSizeDropsTheStretch) {
  TStretchedText t;
  TTextEditSession session(t.Text);
  session.SetFontSize(30);
  EXPECT_EQ(t.Text.SourceBitmap().Width(), t.Text.NaturalWidth);
  session.SetFontSize(24);  // back to the size the stretch was made at
  EXPECT_EQ(t.Text.SourceBitmap().Width(), t.Width);
  session.SetFontSize(0);  // refused
  EXPECT_EQ(t.Text.Font.Size, 24);
  session.SetFontSize(5000);
  EXPECT_EQ(t.Text.Font.Size, 2000);
  session.Cancel();
}

TEST(TextEditSession, CancelPutsEverythingBack) {
  TStretchedText t;
  const std::string before = Saved(t.Text);
  const TFloatRect location = t.Text.Location();
  {
    TTextEditSession session(t.Text);
    session.SetText("Other\ntext");
    session.SetFontName("DejaVu Serif");
    session.SetFontSize(40);
    session.SetJustification(tjRight);
    session.Cancel();
  }
  EXPECT_TRUE(Saved(t.Text) == before);
  EXPECT_EQ(t.Text.Justification, tjCentered);
  EXPECT_EQ(t.Text.Location(), location);
  EXPECT_TRUE(t.Text.StylesEnabled());
}

TEST(TextEditSession, ASessionLeftWithoutAnAnswerCancels) {
  TStretchedText t;
  const std::string before = Saved(t.Text);
  {
    TTextEditSession session(t.Text);
    session.SetText("Changed");
  }
  EXPECT_TRUE(Saved(t.Text) == before);
}

struct TNameCase {
  const char* Typed;
  const char* Text;  // as stored
  const char* Name;
};

class TextEditNameTest : public testing::TestWithParam<TNameCase> {};

TEST_P(TextEditNameTest, TheNameIsTheFirstLine) {
  TLayerCollection layers;
  auto& text = layers.Add<TTextLayer>();
  TTextEditSession session(text);
  session.SetText(GetParam().Typed);
  session.Ok();
  EXPECT_EQ(text.Text, GetParam().Text);
  EXPECT_EQ(text.Name, GetParam().Name);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextEditNameTest,
                         testing::Values(TNameCase{"One\nTwo\nThree", "One\r\nTwo\r\nThree", "One"},
                                         TNameCase{"Single", "Single", "Single"}, TNameCase{"", "", ""},
                                         TNameCase{"\nSecond", "\r\nSecond", ""},
                                         TNameCase{"Win\r\nlines", "Win\r\nlines", "Win"}));

TEST(TextEditSession, ATextTooLargeToRenderLeavesTheLastGoodState) {
  TLayerCollection layers;
  auto& text = layers.Add<TTextLayer>();
  text.Text = "Fine";
  TTextEditSession session(text);
  session.SetFontSize(2000);
  const int32_t width = text.SourceBitmap().Width();
  EXPECT_GT(width, 0);
  // a line far wider than the rasteriser's limit at this size
  EXPECT_NE(test::ErrorOf([&] { session.SetText(std::string(400, 'W')); }), "");
  EXPECT_EQ(text.Text, "Fine");
  EXPECT_EQ(text.SourceBitmap().Width(), width);
  session.Ok();
  EXPECT_EQ(text.Name, "Fine");
}

}  // namespace
}  // namespace tvx
