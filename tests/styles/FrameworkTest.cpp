#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "styles/FilterParams.h"
#include "styles/Filters.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "util/Paths.h"
#include "util/Utils.h"

namespace tvx {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EError& e) {
    return e.what();
  }
  return "";
}

TFiltersParams AllFour() {
  TFiltersParams p;
  p.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  p.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  p.Items["Glow"] = TShadowRecord::GlowDefaults().ToParams();
  p.Items["Gradient"] = TGradRecord::ToParams(TGradient{});
  return p;
}

// ---- parameter streams ---------------------------------------------------------

TEST(FiltersParams, EmptyRecordIsTwelveBytes) {
  TMemoryStream stream;
  TFiltersParams{}.SaveToStream(stream);
  const std::vector<uint8_t> expected = {'F', 'S', 'P', 'M', 1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(stream.Bytes(), expected);
}

TEST(FiltersParams, EntriesAreWrittenInNameOrderAndReadBack) {
  TFiltersParams p;
  p.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  p.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  TMemoryStream stream;
  p.SaveToStream(stream);
  const std::string bytes(stream.Bytes().begin(), stream.Bytes().end());
  EXPECT_LT(bytes.find("Drop Shadow"), bytes.find("Stroke"));
  // FSPM header, then "STR1" + 11 + name, then "FPRM", 1, 24 and the block
  EXPECT_EQ(bytes.substr(12, 4), "STR1");
  EXPECT_EQ(bytes.substr(31, 4), "FPRM");
  EXPECT_EQ(stream.Bytes()[39], 24);
  EXPECT_EQ(bytes.substr(43, 4), "DRPS");
  stream.Seek(0);
  TFiltersParams read;
  read.Items["Glow"] = TFilterParams(3);
  read.LoadFromStream(stream);
  EXPECT_EQ(read, p);
}

TEST(FiltersParams, EmptyBlocksReadBack) {
  TFiltersParams p;
  p.Items["Glow"] = TFilterParams(0);
  TMemoryStream stream;
  p.SaveToStream(stream);
  stream.Seek(0);
  TFiltersParams read;
  read.LoadFromStream(stream);
  EXPECT_EQ(read, p);
  EXPECT_EQ(stream.Remaining(), 0);
}

TEST(FiltersParams, FirstOccurrenceOfANameWins) {
  TMemoryStream stream;
  stream.WriteSignature("FSPM");
  stream.WriteValue<int32_t>(1);
  stream.WriteValue<int32_t>(2);
  WriteString(stream, "Stroke");
  TFilterParams(std::vector<uint8_t>{1, 2}).SaveToStream(stream);
  WriteString(stream, "Stroke");
  TFilterParams(std::vector<uint8_t>{3}).SaveToStream(stream);
  stream.Seek(0);
  TFiltersParams read;
  read.LoadFromStream(stream);
  ASSERT_EQ(read.Items.size(), 1u);
  EXPECT_EQ(read.Items["Stroke"].Data, (std::vector<uint8_t>{1, 2}));
}

TEST(FiltersParams, ReadErrors) {
  const auto load = [](const std::vector<uint8_t>& bytes, auto& into) {
    return ErrorOf([&] {
      TMemoryStream stream(bytes);
      into.LoadFromStream(stream);
    });
  };
  TFilterParams one;
  TFiltersParams many;
  EXPECT_EQ(load({'F', 'P', 'R', 'X', 1, 0, 0, 0, 0, 0, 0, 0}, one),
            "TFilterParams::LoadFromStream::94 - Invalid signature!");
  EXPECT_EQ(load({'F', 'P', 'R', 'M', 2, 0, 0, 0, 0, 0, 0, 0}, one),
            "TFilterParams::LoadFromStream::104 - Unknown version (2)!");
  EXPECT_EQ(load({'F', 'S', 'P', 'X', 1, 0, 0, 0, 0, 0, 0, 0}, many),
            "TFiltersParams::LoadFromStream::139 - Invalid signature!");
  EXPECT_EQ(load({'F', 'S', 'P', 'M', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, many),
            "TFiltersParams::LoadFromStream::154 - Unknown version (-1)!");
  // sizes and counts beyond the stream's end are refused before any allocation
  EXPECT_NE(load({'F', 'P', 'R', 'M', 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}, one).find("TFilterParams::LoadFromStream::"),
            std::string::npos);
  EXPECT_NE(load({'F', 'S', 'P', 'M', 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}, many).find("TFiltersParams::LoadFromStream::"),
            std::string::npos);
  EXPECT_EQ(load({'F', 'S', 'P', 'M', 1, 0, 0, 0, 1, 0, 0, 0, 'S', 'T', 'R', '2', 0, 0, 0, 0, 'F', 'P', 'R', 'M', 1,
                  0, 0, 0, 0, 0, 0, 0},
                 many),
            "ReadString::232 - Invalid string (Stream pointer: 16)!");
}

TEST(FiltersParams, EntriesReadBeforeAFailureStay) {
  TFiltersParams p = AllFour();
  TMemoryStream stream;
  p.SaveToStream(stream);
  std::vector<uint8_t> bytes = stream.Bytes();
  bytes.resize(bytes.size() - 10);  // the last entry ("Stroke") is cut short
  TMemoryStream cut(bytes);
  TFiltersParams read;
  EXPECT_NE(ErrorOf([&] { read.LoadFromStream(cut); }), "");
  EXPECT_EQ(read.Items.size(), 3u);
  EXPECT_EQ(read.Items.count("Stroke"), 0u);
}

// ---- the style run -------------------------------------------------------------

std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

template <const char* Name>
void Spy(const TBitmap32&, TBitmap32&, int32_t&, int32_t&, const TFilterParams*) {
  Calls().push_back(Name);
}

constexpr char kStroke[] = "Stroke", kShadow[] = "Drop Shadow", kGlow[] = "Glow", kGradient[] = "Gradient";

class StyleRun : public ::testing::Test {
 protected:
  void SetUp() override { Calls().clear(); }
  void TearDown() override { RegisterFilterKinds(); }  // the real operations again
  static void RegisterSpies() {
    RegisterFilter("Stroke", Spy<kStroke>, 10);
    RegisterFilter("Drop Shadow", Spy<kShadow>, -10);
    RegisterFilter("Glow", Spy<kGlow>, 10);
    RegisterFilter("Gradient", Spy<kGradient>, 11);
  }
};

TEST_F(StyleRun, OrderIsGradientGlowStrokeShadow) {
  RegisterSpies();
  TBitmap32 source(2, 2), target(2, 2);
  int32_t dx = 0, dy = 0;
  ApplyStyles(source, target, dx, dy, AllFour());
  EXPECT_EQ(Calls(), (std::vector<std::string>{"Gradient", "Glow", "Stroke", "Drop Shadow"}));
  Calls().clear();
  TFiltersParams two;
  two.Items["Stroke"] = TFilterParams(20);
  two.Items["Glow"] = TFilterParams(24);
  ApplyStyles(source, target, dx, dy, two);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"Glow", "Stroke"}));
}

TEST_F(StyleRun, EmptyStyleAndUnknownNamesDoNothing) {
  RegisterFilterKinds();
  TBitmap32 source(5, 4);
  source.Clear(0xFF336699);
  TBitmap32 target = source;
  int32_t dx = 0, dy = 0;
  ApplyStyles(source, target, dx, dy, TFiltersParams{});
  TFiltersParams unknown;
  unknown.Items["Bevel"] = TStrokeRecord{5, 100, spOutside, 0}.ToParams();
  unknown.Items[""] = TFilterParams(0);
  ApplyStyles(source, target, dx, dy, unknown);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  EXPECT_EQ(target.Width(), 5);
  EXPECT_EQ(target.Height(), 4);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(target.Bits()[i], 0xFF336699u);
}

TEST_F(StyleRun, GlowThenOutsideStrokeFindsTheMargins) {
  RegisterFilterKinds();
  TBitmap32 source(100, 40);
  source.Clear(0xFFFFFFFF);
  TBitmap32 target = source;
  int32_t dx = 0, dy = 0;
  TFiltersParams p;
  p.Items["Glow"] = TShadowRecord::GlowDefaults().ToParams();
  p.Items["Stroke"] = TStrokeRecord{3, 100, spOutside, 0}.ToParams();
  ApplyStyles(source, target, dx, dy, p);
  EXPECT_EQ(target.Width(), 140);
  EXPECT_EQ(target.Height(), 80);
  EXPECT_EQ(dx, 20);
  EXPECT_EQ(dy, 20);
}

TEST_F(StyleRun, AllFourAtTheirDefaults) {
  RegisterFilterKinds();
  TBitmap32 source(20, 10);
  source.Clear(0xFFFFFFFF);
  TBitmap32 target = source;
  int32_t dx = 0, dy = 0;
  ApplyStyles(source, target, dx, dy, AllFour());
  // glow 20 on every side; the shadow (5, displaced 2, 4) fits inside it
  EXPECT_EQ(target.Width(), 60);
  EXPECT_EQ(target.Height(), 50);
  EXPECT_EQ(dx, 20);
  EXPECT_EQ(dy, 20);
  // the gradient spans the source only: its left column is black, its last column light
  EXPECT_EQ(target.Pixel(dx + 10, dy + 5) & 0xFFFFFF, 0x7F7F7Fu);
}

// ---- saved styles --------------------------------------------------------------

struct TCounter {
  int Count = 0;
  static void Tell(void* owner) { ++static_cast<TCounter*>(owner)->Count; }
};

TEST(Styles, NamesAndLookups) {
  TStyles styles;
  std::vector<std::string> names{"stale"};
  styles.GetNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Custom", "None"}));
  EXPECT_TRUE(styles.GetStyle("None").Empty());
  styles.AddStyle("b", AllFour());
  styles.AddStyle("a", TFiltersParams{});
  styles.AddStyle("B", TFiltersParams{});
  styles.GetNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Custom", "None", "B", "a", "b"}));
  EXPECT_EQ(styles.GetStyle("b"), AllFour());
}

TEST(Styles, ListenersAreToldOfChanges) {
  TStyles styles;
  TCounter one, two;
  styles.AddListener(TCounter::Tell, &one);
  styles.AddListener(TCounter::Tell, &one);  // the identical pair once
  styles.AddListener(TCounter::Tell, &two);
  styles.AddStyle("x", AllFour());
  EXPECT_EQ(one.Count, 1);
  EXPECT_EQ(two.Count, 1);
  styles.AddStyle("x", TFiltersParams{});  // exists: unchanged, nobody told
  EXPECT_EQ(styles.GetStyle("x"), AllFour());
  EXPECT_EQ(one.Count, 1);
  styles.RemoveListener(TCounter::Tell, &two);
  styles.DeleteStyle("nothing");  // told in every case
  EXPECT_EQ(one.Count, 2);
  EXPECT_EQ(two.Count, 1);
  styles.DeleteStyle("x");
  EXPECT_TRUE(styles.Items().empty());
  TMemoryStream stream;
  styles.SaveToStream(stream);
  stream.Seek(0);
  styles.LoadFromStream(stream);
  EXPECT_EQ(one.Count, 4);
}

TEST(Styles, StreamRoundTripAndErrors) {
  TStyles styles;
  styles.AddStyle("Shadowed", AllFour());
  styles.AddStyle("Plain", TFiltersParams{});
  TMemoryStream stream;
  styles.SaveToStream(stream);
  EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().begin() + 4), "STYL");
  stream.Seek(0);
  TStyles read;
  read.LoadFromStream(stream);
  EXPECT_EQ(read.Items(), styles.Items());

  std::vector<uint8_t> bytes = stream.Bytes();
  bytes[0] = 'X';
  TMemoryStream bad(bytes);
  TCounter told;
  read.AddListener(TCounter::Tell, &told);
  EXPECT_EQ(ErrorOf([&] { read.LoadFromStream(bad); }), "TStyles::LoadFromStream::197 - Invalid signature!");
  EXPECT_TRUE(read.Items().empty());
  EXPECT_EQ(told.Count, 0);
  bytes[0] = 'S';
  bytes[4] = 3;
  TMemoryStream version(bytes);
  EXPECT_EQ(ErrorOf([&] { read.LoadFromStream(version); }), "TStyles::LoadFromStream::212 - Unknown version (3)!");
  bytes[4] = 1;
  bytes[8] = 0xFF, bytes[9] = 0xFF, bytes[10] = 0xFF, bytes[11] = 0x0F;
  TMemoryStream count(bytes);
  EXPECT_NE(ErrorOf([&] { read.LoadFromStream(count); }).find("TStyles::LoadFromStream::"), std::string::npos);
}

TEST(StylesFile, SavedAndLoadedBesideTheProgram) {
  test::TTempDir dir;
  const std::string folder = dir.Path().string() + "/";
  EXPECT_EQ(StylesFileName(folder), folder + ".styles");
  EXPECT_EQ(StylesFileName(dir.Path().string()), folder + ".styles");
  EXPECT_EQ(StylesFileName(), UserDataFolder() + ".styles");  // beside ".config"

  Styles() = TStyles{};
  LoadStyles(folder);  // no file: nothing happens
  EXPECT_TRUE(Styles().Items().empty());
  Styles().AddStyle("one", AllFour());
  Styles().AddStyle("two", TFiltersParams{});
  SaveStyles(folder);
  Styles().AddStyle("three", TFiltersParams{});
  SaveStyles(folder);  // replaces the file
  Styles() = TStyles{};
  LoadStyles(folder);
  EXPECT_EQ(Styles().Items().size(), 3u);
  EXPECT_EQ(Styles().GetStyle("one"), AllFour());
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files.push_back(e.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{".styles"});
  Styles() = TStyles{};
}

// Sound behaviour: a damaged styles file keeps what was read before the
// damage, and the error reaches the caller to be reported.
TEST(StylesFile, DamagedFileKeepsTheStylesReadSoFar) {
  test::TTempDir dir;
  TStyles styles;
  styles.AddStyle("a", AllFour());
  styles.AddStyle("b", AllFour());
  styles.AddStyle("c", AllFour());
  TMemoryStream stream;
  styles.SaveToStream(stream);
  std::string bytes(stream.Bytes().begin(), stream.Bytes().end());
  const size_t c = bytes.rfind("STR1");  // the name of "c"
  bytes[c + 3] = '9';
  test::WriteFileBytes(dir.Path() / ".styles", bytes);

  Styles() = TStyles{};
  const std::string error = ErrorOf([&] { LoadStyles(dir.Path().string()); });
  EXPECT_EQ(error.rfind("ReadString::232 - Invalid string", 0), 0u) << error;
  EXPECT_EQ(Styles().Items().size(), 2u);
  EXPECT_EQ(Styles().GetStyle("b"), AllFour());

  test::WriteFileBytes(dir.Path() / ".styles", "XTYL");
  EXPECT_EQ(ErrorOf([&] { LoadStyles(dir.Path().string()); }), "TStyles::LoadFromStream::197 - Invalid signature!");
  EXPECT_TRUE(Styles().Items().empty());
  Styles() = TStyles{};
}

}  // namespace
}  // namespace tvx
