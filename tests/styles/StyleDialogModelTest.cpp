#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "styles/StyleDialogModel.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "util/Stream.h"

namespace tvx {
namespace {

enum Row { rDropShadow = 0, rGlow = 1, rGradient = 2, rStroke = 3 };

TFilterParams Block(const std::string& kind) { return *DefaultFrameBlock(kind); }

TStrokeRecord StrokeOf(const TFilterParams* p) { return TStrokeRecord::FromParams(p).value(); }
TShadowRecord ShadowOf(const TFilterParams* p) { return TShadowRecord::FromParams(p).value(); }

TFilterParams Stroke(int32_t size, int32_t opacity = 100) {
  TStrokeRecord r;
  r.Size = size;
  r.Opacity = opacity;
  return r.ToParams();
}

std::vector<bool> CheckMarks(const TStyleDialogModel& m) {
  std::vector<bool> marks;
  for (int row = 0; row < static_cast<int>(m.Rows().size()); ++row) marks.push_back(m.Checked(row));
  return marks;
}

class StyleDialogModel : public ::testing::Test {
 protected:
  TStyles styles_;
  TStyleDialogModel model_{styles_};
};

TEST_F(StyleDialogModel, RowsAreTheRegisteredKindsInNameOrder) {
  EXPECT_EQ(model_.Rows(), (std::vector<std::string>{"Drop Shadow", "Glow", "Gradient", "Stroke"}));
  EXPECT_EQ(model_.RowOf("Stroke"), rStroke);
  EXPECT_EQ(model_.RowOf("Bevel"), -1);
}

TEST_F(StyleDialogModel, SetStyleChecksExactlyTheLayersFiltersAndShowsNoFrame) {
  TFiltersParams style;
  style.Items["Glow"] = Block("Glow");
  style.Items["Stroke"] = Stroke(3);
  model_.Select(rDropShadow, nullptr);
  model_.SetStyle(style);
  EXPECT_EQ(CheckMarks(model_), (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(model_.CurrentRow(), -1);
  EXPECT_EQ(model_.CurrentKind(), "");
  EXPECT_EQ(model_.Style(), style);
}

TEST_F(StyleDialogModel, SelectingARowEnablesItWithTheFramesDefaults) {
  EXPECT_TRUE(model_.Select(rDropShadow, nullptr));
  EXPECT_EQ(model_.CurrentKind(), "Drop Shadow");
  ASSERT_TRUE(model_.Checked(rDropShadow));
  const TShadowRecord r = ShadowOf(model_.Entry("Drop Shadow"));
  EXPECT_EQ(r, TShadowRecord::Defaults());
  EXPECT_EQ(model_.Entry("Drop Shadow")->Size(), 24u);
  EXPECT_EQ(r.Size, 5);
  EXPECT_EQ(r.Distance, 5u);
  EXPECT_FLOAT_EQ(r.Angle, 1.0471976f);
  // selecting the current row again does nothing
  EXPECT_FALSE(model_.Select(rDropShadow, nullptr));
  EXPECT_FALSE(model_.Select(7, nullptr));
  EXPECT_FALSE(model_.Select(-1, nullptr));
}

TEST_F(StyleDialogModel, LeavingARowStoresWhatItsFrameHolds) {
  model_.Select(rStroke, nullptr);
  const TFilterParams edited = Stroke(12, 40);
  EXPECT_TRUE(model_.Select(rGlow, &edited));
  EXPECT_EQ(*model_.Entry("Stroke"), edited);
  EXPECT_EQ(ShadowOf(model_.Entry("Glow")), TShadowRecord::GlowDefaults());
}

TEST_F(StyleDialogModel, FrameChangesAreStoredForTheCurrentRowOnly) {
  model_.Select(rStroke, nullptr);
  model_.StoreFrame(Stroke(7));
  EXPECT_EQ(StrokeOf(model_.Entry("Stroke")).Size, 7);
  EXPECT_EQ(model_.Style().Items.size(), 1u);
}

TEST_F(StyleDialogModel, UncheckingTheOpenRowDropsItsEntryAndIgnoresItsFrameUntilCheckedAgain) {
  model_.Select(rStroke, nullptr);
  EXPECT_FALSE(model_.Toggle(rStroke, nullptr));
  EXPECT_FALSE(model_.Checked(rStroke));
  EXPECT_EQ(model_.CurrentRow(), rStroke);  // the frame stays
  model_.StoreFrame(Stroke(9));
  EXPECT_TRUE(model_.Style().Empty());
  // checking it again takes what the frame holds now
  const TFilterParams frame = Stroke(11);
  EXPECT_FALSE(model_.Toggle(rStroke, &frame));
  EXPECT_EQ(*model_.Entry("Stroke"), frame);
}

TEST_F(StyleDialogModel, CheckingAnotherRowOpensItsFrameAndUncheckingOneDoesNot) {
  model_.Select(rGlow, nullptr);
  const TFilterParams glowFrame = Block("Glow");
  EXPECT_TRUE(model_.Toggle(rGradient, &glowFrame));
  EXPECT_EQ(model_.CurrentRow(), rGradient);
  EXPECT_EQ(*model_.Entry("Gradient"), TGradRecord::ToParams(TGradient{}));
  const TFilterParams gradientFrame = *model_.Entry("Gradient");
  EXPECT_FALSE(model_.Toggle(rGlow, &gradientFrame));
  EXPECT_EQ(model_.CurrentRow(), rGradient);
  EXPECT_EQ(CheckMarks(model_), (std::vector<bool>{false, false, true, false}));
}

// Checking a row whose frame is not shown must never file the shown frame's
// block under the checked row's name (a stroke block under "Glow").
TEST_F(StyleDialogModel, AFramesBlockNeverLandsUnderAnotherKind) {
  model_.Select(rGlow, nullptr);
  const TFilterParams strokeFrame = Stroke(13);
  model_.Toggle(rStroke, nullptr);  // Stroke checked and shown
  model_.StoreFrame(strokeFrame);
  model_.Toggle(rGlow, &strokeFrame);  // Glow unchecked; the stroke frame stays
  model_.Toggle(rGlow, &strokeFrame);  // Glow checked again
  EXPECT_EQ(model_.CurrentKind(), "Glow");
  EXPECT_EQ(ShadowOf(model_.Entry("Glow")), TShadowRecord::GlowDefaults());
  EXPECT_EQ(*model_.Entry("Stroke"), strokeFrame);
}

struct TNormaliseCase {
  const char* name;
  const char* kind;
  std::vector<uint8_t> block;
  TFilterParams expected;
};

void PrintTo(const TNormaliseCase& c, std::ostream* os) { *os << c.name; }

TFilterParams Raw(std::initializer_list<int32_t> words, const char (&signature)[5]) {
  TMemoryStream s;
  s.WriteSignature(signature);
  for (int32_t w : words) s.WriteValue<int32_t>(w);
  return TFilterParams(s.Bytes());
}

class StyleDialogModelNormalise : public ::testing::TestWithParam<TNormaliseCase> {};

// Selecting a row shows its entry in the frame; the entry becomes what the
// frame gives back, so the layer never keeps a value the frame cannot show.
TEST_P(StyleDialogModelNormalise, SelectedEntryIsWhatItsFrameShows) {
  const TNormaliseCase& c = GetParam();
  TStyles styles;
  TStyleDialogModel model(styles);
  TFiltersParams style;
  style.Items[c.kind] = TFilterParams(c.block);
  model.SetStyle(style);
  model.Select(model.RowOf(c.kind), nullptr);
  EXPECT_EQ(*model.Entry(c.kind), c.expected);
}

TShadowRecord Glow(int32_t size, uint32_t opacity, uint32_t color) {
  TShadowRecord r = TShadowRecord::GlowDefaults();
  r.Size = size;
  r.Opacity = opacity;
  r.Color = color;
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StyleDialogModelNormalise,
    ::testing::Values(TNormaliseCase{"stroke_size_above_range", "Stroke",
                                     Raw({999, 50, 1, 0xFF}, "STRK").Data,
                                     [] {
                                       TStrokeRecord r{250, 50, spOutside, 0xFF};
                                       return r.ToParams();
                                     }()},
                      TNormaliseCase{"stroke_block_too_long", "Stroke", Raw({9, 50, 1, 0xFF, 0}, "STRK").Data,
                                     TStrokeRecord::Defaults().ToParams()},
                      TNormaliseCase{"glow_drops_its_displacement", "Glow",
                                     Raw({12, 60, 7, 0x3F800000, 0x00FF00}, "DRPS").Data,
                                     Glow(12, 60, 0x00FF00).ToParams()},
                      TNormaliseCase{"glow_with_a_stroke_block", "Glow", Raw({3, 100, 0, 0}, "STRK").Data,
                                     TShadowRecord::GlowDefaults().ToParams()},
                      TNormaliseCase{"shadow_opacity_above_range", "Drop Shadow",
                                     Raw({5, 300, 5, 0, 0}, "DRPS").Data,
                                     [] {
                                       TShadowRecord r;
                                       r.Opacity = 100;
                                       r.Angle = 0;
                                       return r.ToParams();
                                     }()},
                      TNormaliseCase{"gradient_type_the_list_lacks", "Gradient",
                                     Raw({0, 9, 0x0000FF, 0xFF0000, 0}, "GRAD").Data,
                                     [] {
                                       TGradient g;
                                       g.StartColor = 0x0000FF;
                                       g.EndColor = 0xFF0000;
                                       return TGradRecord::ToParams(g);
                                     }()},
                      TNormaliseCase{"gradient_foreign_signature", "Gradient",
                                     Raw({0, 0, 0, 0, 0}, "XXXX").Data, TGradRecord::ToParams(TGradient{})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StyleDialogModel, EntriesOfUnknownKindsAreKept) {
  TFiltersParams style;
  style.Items["Bevel"] = TFilterParams(std::vector<uint8_t>{1, 2, 3});
  model_.SetStyle(style);
  model_.Select(rStroke, nullptr);
  model_.Toggle(rStroke, nullptr);
  EXPECT_EQ(model_.Style().Items.size(), 1u);
  EXPECT_EQ(model_.Style().Items.at("Bevel").Data, (std::vector<uint8_t>{1, 2, 3}));
}

// ---- the saved styles ---------------------------------------------------------

TEST_F(StyleDialogModel, ChoosingCustomChangesNothingAndNoneClearsTheStyle) {
  TFiltersParams shadow;
  shadow.Items["Drop Shadow"] = Block("Drop Shadow");
  styles_.AddStyle("Shadow", shadow);
  EXPECT_EQ(model_.StyleRows(), (std::vector<std::string>{"Custom", "None", "Shadow"}));

  model_.Select(rStroke, nullptr);
  EXPECT_FALSE(model_.ChooseStyle(0, "Custom"));
  EXPECT_TRUE(model_.Checked(rStroke));
  EXPECT_TRUE(model_.ChooseStyle(2, "Shadow"));
  EXPECT_EQ(model_.Style(), shadow);
  EXPECT_EQ(model_.CurrentRow(), -1);
  EXPECT_TRUE(model_.ChooseStyle(1, "None"));
  EXPECT_TRUE(model_.Style().Empty());
  EXPECT_EQ(CheckMarks(model_), (std::vector<bool>{false, false, false, false}));
}

struct TNameCase {
  const char* name;
  const char* message;  // nullptr: accepted
};

class StyleNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(StyleNames, AreCheckedBeforeSaving) {
  const auto& c = GetParam();
  const std::optional<std::string> refusal = CheckStyleName(c.name);
  if (c.message) {
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(*refusal, c.message);
  } else {
    EXPECT_FALSE(refusal.has_value()) << *refusal;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StyleNames,
    ::testing::Values(TNameCase{"", "Style name must not be empty."},
                      TNameCase{"None", "Style name must not be \"None\" or \"Custom\"."},
                      TNameCase{"NONE", "Style name must not be \"None\" or \"Custom\"."},
                      TNameCase{"custom", "Style name must not be \"None\" or \"Custom\"."},
                      TNameCase{"cUsToM", "Style name must not be \"None\" or \"Custom\"."},
                      TNameCase{"Nonesuch", nullptr}, TNameCase{" None", nullptr},
                      TNameCase{"Customer", nullptr}, TNameCase{"Glow", nullptr},
                      TNameCase{"Schön", nullptr}));

void CountCalls(void* owner) { ++*static_cast<int*>(owner); }

TEST_F(StyleDialogModel, SavingAddsAnExistingNameAsksAndReplacingReplaces) {
  int notified = 0;
  styles_.AddListener(CountCalls, &notified);
  model_.Select(rGlow, nullptr);
  EXPECT_EQ(model_.SaveStyle("None"), TStyleDialogModel::TSaveResult::Refused);
  EXPECT_EQ(model_.SaveStyle(""), TStyleDialogModel::TSaveResult::Refused);
  EXPECT_EQ(notified, 0);
  EXPECT_EQ(model_.SaveStyle("Halo"), TStyleDialogModel::TSaveResult::Saved);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(styles_.GetStyle("Halo"), model_.Style());

  const TFiltersParams first = model_.Style();
  model_.Select(rStroke, nullptr);
  EXPECT_EQ(model_.SaveStyle("Halo"), TStyleDialogModel::TSaveResult::Exists);
  EXPECT_EQ(styles_.GetStyle("Halo"), first);  // unchanged until the user agrees
  EXPECT_EQ(notified, 1);
  model_.ReplaceStyle("Halo");
  EXPECT_EQ(styles_.GetStyle("Halo"), model_.Style());
  EXPECT_EQ(notified, 2);
  styles_.RemoveListener(CountCalls, &notified);
}

TEST(StyleMessages, QuestionsNameTheStyle) {
  EXPECT_EQ(StyleExistsQuestion("Halo"), "Style \"Halo\" already exists. Replace it?");
  EXPECT_EQ(DeleteStyleQuestion("Halo"), "Delete the style \"Halo\"?");
}

struct TKeptRowCase {
  int oldRow, count, expected;
};

class KeptStyleRow : public ::testing::TestWithParam<TKeptRowCase> {};

TEST_P(KeptStyleRow, KeepsThePositionOrFallsBackToCustom) {
  const auto& c = GetParam();
  EXPECT_EQ(TStyleDialogModel::KeptStyleRow(c.oldRow, c.count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeptStyleRow,
                         ::testing::Values(TKeptRowCase{0, 2, 0}, TKeptRowCase{3, 5, 3},
                                           TKeptRowCase{3, 4, 3}, TKeptRowCase{4, 4, 0},
                                           TKeptRowCase{-1, 3, 0}));

TEST(StyleDialogModelDelete, NotOnTheFixedRows) {
  EXPECT_FALSE(TStyleDialogModel::CanDelete(0));
  EXPECT_FALSE(TStyleDialogModel::CanDelete(1));
  EXPECT_TRUE(TStyleDialogModel::CanDelete(2));
}

// ---- the styles file -------------------------------------------------------------

TFiltersParams LargeStyle() {
  TGradient g;
  for (int i = 0; i < 600; ++i) g.Stops.push_back({static_cast<uint32_t>(i), i / 600.0f});
  TFiltersParams style;
  style.Items["Gradient"] = TGradRecord::ToParams(g);
  return style;
}

TEST_F(StyleDialogModel, WritesTheStylesFileOfItsFolder) {
  test::TTempDir dir;
  model_.SetStylesFolder(dir.Path().string());
  EXPECT_EQ(model_.StylesFile(), dir / ".styles");
  model_.Select(rGlow, nullptr);
  model_.SaveStyle("Halo");
  model_.WriteStylesFile();
  TMemoryStream expected;
  styles_.SaveToStream(expected);
  const std::string bytes = test::ReadFileBytes(dir / ".styles");
  EXPECT_EQ(bytes, std::string(expected.Bytes().begin(), expected.Bytes().end()));
  model_.DeleteStyle("Halo");
  model_.WriteStylesFile();
  EXPECT_EQ(test::ReadFileBytes(dir / ".styles").size(), 12u);  // "STYL", 1, 0
}

TEST_F(StyleDialogModel, AFailedWriteRaisesAndKeepsTheOldFileAndTheStyles) {
  test::TTempDir dir;
  model_.SetStylesFolder(dir.Path().string());
  model_.Select(rGlow, nullptr);
  model_.SaveStyle("Halo");
  model_.WriteStylesFile();
  const std::string before = test::ReadFileBytes(dir / ".styles");

  model_.SetStyle(LargeStyle());
  model_.SaveStyle("Big");
  // A file size limit makes the write fail even for root, like a full disk.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old;
  limit.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string error;
  try {
    model_.WriteStylesFile();
  } catch (const EError& e) {
    error = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadFileBytes(dir / ".styles"), before);
  EXPECT_TRUE(styles_.HasStyle("Big"));
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()),
      1)
      << "a temporary file was left behind";
  EXPECT_NE(StylesNotSavedMessage(dir / ".styles", error).find(error), std::string::npos);
}

TEST_F(StyleDialogModel, AFolderThatDoesNotExistRaises) {
  test::TTempDir dir;
  model_.SetStylesFolder(dir / "missing");
  EXPECT_THROW(model_.WriteStylesFile(), EError);
}

// ---- the frames' blocks ----------------------------------------------------------

TEST(FrameBlocks, DefaultsAreTheFramesInitialValues) {
  const TFilterParams stroke = Block("Stroke"), shadow = Block("Drop Shadow"), glow = Block("Glow"),
                      gradient = Block("Gradient");
  EXPECT_EQ(StrokeOf(&stroke), (TStrokeRecord{1, 100, spInside, 0}));
  EXPECT_EQ(ShadowOf(&shadow), (TShadowRecord{5, 100, 5, 1.0471976f, 0}));
  EXPECT_EQ(ShadowOf(&glow), (TShadowRecord{20, 100, 0, 0.0f, 0}));
  EXPECT_EQ(gradient.Size(), 24u);
  EXPECT_EQ(TGradRecord::FromParams(&gradient), TGradient{});
  EXPECT_FALSE(DefaultFrameBlock("Bevel").has_value());
}

}  // namespace
}  // namespace tvx
