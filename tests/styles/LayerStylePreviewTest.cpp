#include <gtest/gtest.h>

#include "styles/LayerStylePreview.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"

namespace tvx {
namespace {

constexpr TColor32 kGrey = 0xFF7F7F7Fu;
constexpr TColor32 kLight = 0xFFBFBFBFu;

TFiltersParams One(const std::string& kind, const TFilterParams& block) {
  TFiltersParams p;
  p.Items[kind] = block;
  return p;
}

class LayerStylePreview : public ::testing::Test {
 protected:
  void SetUp() override { RegisterFilterKinds(); }
  TLayerStylePreview preview_;
  TBitmap32 output_;
};

TEST_F(LayerStylePreview, WithoutAStyleTheGreySquareIsCentredOnLightGrey) {
  preview_.Update(output_, 79, TFiltersParams{});
  ASSERT_EQ(output_.Width(), 79);
  ASSERT_EQ(output_.Height(), 79);
  for (int32_t y = 0; y < 79; ++y)
    for (int32_t x = 0; x < 79; ++x) {
      const bool inSquare = x >= 19 && x < 59 && y >= 19 && y < 59;
      ASSERT_EQ(output_.Pixel(x, y), inSquare ? kGrey : kLight) << x << "," << y;
    }
}

TEST_F(LayerStylePreview, TheSquareStaysCentredWhateverTheStyleAdds) {
  TStrokeRecord stroke;
  stroke.Size = 3;
  stroke.Position = spOutside;
  stroke.Color = 0x0000FF;  // red
  const struct {
    const char* kind;
    TFilterParams block;
  } cases[] = {{kDropShadowKind, TShadowRecord::Defaults().ToParams()},
               {kGlowKind, TShadowRecord::GlowDefaults().ToParams()},
               {kStrokeKind, stroke.ToParams()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    preview_.Update(output_, 79, One(c.kind, c.block));
    EXPECT_GT(preview_.Dx() + preview_.Dy(), 0);
    // the square's own pixels, inside the outline, are still the plain grey
    for (int32_t y = 22; y < 56; ++y)
      for (int32_t x = 22; x < 56; ++x) ASSERT_EQ(output_.Pixel(x, y), kGrey) << x << "," << y;
    // and something was drawn around it
    EXPECT_NE(output_.Pixel(60, 60), kLight);
  }
}

TEST_F(LayerStylePreview, TheDefaultShadowFallsDownAndRightAndIsClipped) {
  preview_.Update(output_, 79, One(kDropShadowKind, TShadowRecord::Defaults().ToParams()));
  // offsets (2, 4) from 60 degrees and 5 pixels: target 50 x 50, square at (3, 1) in it
  EXPECT_EQ(preview_.Target().Width(), 50);
  EXPECT_EQ(preview_.Target().Height(), 50);
  EXPECT_EQ(preview_.Dx(), 3);
  EXPECT_EQ(preview_.Dy(), 1);
  EXPECT_EQ(output_.Pixel(0, 0), kLight);
  EXPECT_LT(RedOf(output_.Pixel(58, 62)), RedOf(kLight));  // below the square
  EXPECT_EQ(output_.Pixel(58, 16), kLight);                // the shadow does not rise above it
}

TEST_F(LayerStylePreview, ALargeGlowReachesTheEdgesOfTheOutput) {
  TShadowRecord glow = TShadowRecord::GlowDefaults();
  glow.Size = 50;
  preview_.Update(output_, 79, One(kGlowKind, glow.ToParams()));
  EXPECT_EQ(preview_.Target().Width(), 140);
  EXPECT_LT(RedOf(output_.Pixel(1, 39)), RedOf(kLight));
}

TEST_F(LayerStylePreview, AGradientRecoloursTheSquare) {
  preview_.Update(output_, 79, One(kGradientKind, TGradRecord::ToParams(TGradient{})));
  // black at the left edge of the square, brighter to the right
  EXPECT_EQ(output_.Pixel(19, 30), 0xFF000000u);
  EXPECT_GT(RedOf(output_.Pixel(58, 30)), 200);
  EXPECT_EQ(output_.Pixel(18, 30), kLight);
}

TEST_F(LayerStylePreview, TheParametersAreCopied) {
  TFiltersParams p = One(kGlowKind, TShadowRecord::GlowDefaults().ToParams());
  preview_.Update(output_, 79, p);
  p.Items.clear();
  EXPECT_EQ(preview_.Params().Items.size(), 1u);
}

TEST(RenderStyledLayer, RunsTheStyleOnTheLayersContentWithItsOpacity) {
  RegisterFilterKinds();
  TBitmap32 source(30, 10);
  source.Clear(0xFFFFFFFFu);
  TShadowRecord glow = TShadowRecord::GlowDefaults();
  glow.Size = 4;
  const TStyledLayer styled = RenderStyledLayer(source, One(kGlowKind, glow.ToParams()), 128);
  EXPECT_EQ(styled.Bitmap.Width(), 38);
  EXPECT_EQ(styled.Bitmap.Height(), 18);
  EXPECT_EQ(styled.Dx, 4);
  EXPECT_EQ(styled.Dy, 4);
  EXPECT_EQ(styled.Bitmap.Pixel(4, 4), 0xFFFFFFFFu);
  EXPECT_EQ(styled.Bitmap.DrawMode, dmBlend);
  EXPECT_EQ(styled.Bitmap.CombineMode, cmMerge);
  EXPECT_EQ(styled.Bitmap.MasterAlpha, 128);
  const TStyledLayer plain = RenderStyledLayer(source, TFiltersParams{});
  EXPECT_EQ(plain.Bitmap.Width(), 30);
  EXPECT_EQ(plain.Dx, 0);
}

}  // namespace
}  // namespace tvx
