#include "watermark/Macros.h"

#include <gtest/gtest.h>

#include "watermark/TextLayer.h"

namespace tvx {
namespace {

TExifParameters SamplePicture() {
  TExifParameters p;
  p.FileName = "/pics/photo.jpg";
  p.Index = 3;
  p.Count = 12;
  p.Width = 6000;
  p.Height = 4000;
  p.Values = {{315, "Ann"}, {33432, "(c) Ann"}, {306, "2026:12:08 10:00:00"}, {271, "Make"}, {42016, "U-1"}};
  return p;
}

TEST(Macros, TableExpandsEveryMacro) {
  const TExifParameters p = SamplePicture();
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<FILENAME>", "/pics/photo.jpg"},
      {"<FILE_INDEX>/<FILE_COUNT>", "3/12"},
      {"<WIDTH>x<HEIGHT>", "6000x4000"},
      {"<ARTIST> <COPYRIGHT>", "Ann (c) Ann"},
      {"<DATE_TIME>", "2026:12:08 10:00:00"},
      {"<MAKE>|<MODEL>|<UID>", "Make||U-1"},  // a missing EXIF value is empty
      {"<DATE_TIME_ORIGINAL>", ""},
      {"<FILENAME><FILENAME>", "/pics/photo.jpg/pics/photo.jpg"},
      {"<filename>", "<filename>"},  // case-sensitive
      {"no macros", "no macros"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandMacros(c.text, p), c.expected) << c.text;
  EXPECT_EQ(TextMacros().size(), 32u);
  for (const TTextMacro& m : TextMacros()) {
    EXPECT_EQ(m.Name[0], '<');
    EXPECT_TRUE(std::string(m.Name).ends_with(">"));
  }
}

TEST(Macros, ValueHoldingItsOwnMacroStaysUnexpanded) {
  TExifParameters p;
  p.FileName = "a<FILENAME>b";
  EXPECT_EQ(ExpandMacros("x <FILENAME> y", p), "x <FILENAME> y");
  // an earlier macro's value is expanded by a later macro of the table
  p.FileName = "<WIDTH>";
  p.Width = 7;
  EXPECT_EQ(ExpandMacros("<FILENAME>", p), "7");
}

TEST(Macros, HasMacrosLooksAtTheFirstBrackets) {
  EXPECT_TRUE(TextHasMacros("a <DATE_TIME>"));
  EXPECT_TRUE(TextHasMacros("<anything>"));
  EXPECT_FALSE(TextHasMacros("a > b <DATE_TIME>"));
  EXPECT_FALSE(TextHasMacros("only <"));
  EXPECT_FALSE(TextHasMacros("only >"));
  EXPECT_FALSE(TextHasMacros(""));
  TLayerCollection layers;
  auto* text = &layers.Add<TTextLayer>();
  text->Text = "x > 1 <FILENAME>";
  EXPECT_FALSE(text->HasMacros());
  text->Text = "<FILENAME>";
  EXPECT_TRUE(text->HasMacros());
}

}  // namespace
}  // namespace tvx
