#include "util/Utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;
using test::WriteFileBytes;

std::vector<std::string> Sorted(std::vector<std::string> list) {
  std::sort(list.begin(), list.end());
  return list;
}

std::string ErrorOf(TStream& stream) {
  try {
    ReadString(stream);
  } catch (const EError& e) {
    return e.what();
  }
  return "no error";
}

// ---- files ------------------------------------------------------------------

struct TLineBreakCase {
  const char* Text;
  const char* CrLf;
  const char* Lf;
  const char* First;
};

class LineBreaksTest : public testing::TestWithParam<TLineBreakCase> {};

TEST_P(LineBreaksTest, ConvertBothWays) {
  const TLineBreakCase& c = GetParam();
  EXPECT_EQ(ToCrLfLineBreaks(c.Text), c.CrLf);
  EXPECT_EQ(ToLfLineBreaks(c.Text), c.Lf);
  EXPECT_EQ(FirstLine(c.Text), c.First);
  EXPECT_EQ(ToCrLfLineBreaks(ToLfLineBreaks(c.Text)), c.CrLf);
}

INSTANTIATE_TEST_SUITE_P(Texts, LineBreaksTest,
                         testing::Values(TLineBreakCase{"", "", "", ""},
                                         TLineBreakCase{"one", "one", "one", "one"},
                                         TLineBreakCase{"a\nb", "a\r\nb", "a\nb", "a"},
                                         TLineBreakCase{"a\r\nb", "a\r\nb", "a\nb", "a"},
                                         TLineBreakCase{"a\rb\n", "a\r\nb\r\n", "a\nb\n", "a"},
                                         TLineBreakCase{"\n\nx", "\r\n\r\nx", "\n\nx", ""},
                                         TLineBreakCase{"a\n\rb", "a\r\n\r\nb", "a\n\nb", "a"}));

TEST(FindFiles, MatchesWildcardsIgnoringCaseAndFiltersDirectories) {
  TTempDir dir;
  for (const char* name : {"a.fp", "B.FP", "c.fpx", "Über.fp", "d.txt", "ab.fp"}) WriteFileBytes(dir / name, "x");
  fs::create_directory(dir / "sub.fp");

  std::vector<std::string> list{"kept"};
  FindFiles(dir / "*.fp", 0, &list, true);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{"B.FP", "a.fp", "ab.fp", "kept", "sub.fp", "Über.fp"}));

  FindFiles(dir / "?.FP", 0, &list, false);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{"B.FP", "a.fp"}));
  FindFiles(dir / "üBER.*", 0, &list, false);
  EXPECT_EQ(list, std::vector<std::string>{"Über.fp"});

  FindFiles(dir / "*.fp", faDirectory, &list, false);
  EXPECT_EQ(list, std::vector<std::string>{"sub.fp"});
  FindFiles(dir / "*.*", 0, &list, false);
  EXPECT_EQ(list.size(), 7u);  // "." and ".." are never listed
  FindFiles(dir / "nothing*", 0, &list, false);
  EXPECT_TRUE(list.empty());
  FindFiles(dir / "*", 0, nullptr, false);  // no list: nothing happens
}

TEST(FindFiles, ListsInNameOrderIgnoringLetterCaseWhateverTheDirectoryOrder) {
  TTempDir dir;
  // created in an order unlike the expected one; the file system's own order is arbitrary
  for (const char* name : {"c.jpg", "B.jpg", "a10.jpg", "A2.jpg", "b.JPG", "a1.jpg"}) WriteFileBytes(dir / name, "x");
  std::vector<std::string> list;
  FindFiles(dir / "*.jpg", 0, &list, false);
  EXPECT_EQ(list, (std::vector<std::string>{"a1.jpg", "a10.jpg", "A2.jpg", "B.jpg", "b.JPG", "c.jpg"}));

  fs::create_directory(dir / "sub");
  WriteFileBytes(dir / "sub/z.jpg", "x");
  WriteFileBytes(dir / "sub/Y.jpg", "x");
  FindFilesRecursive(dir.Path().string(), "", 0, faDirectory, &list, false);
  const std::string root = dir.Path().string() + "/";
  EXPECT_EQ(list, (std::vector<std::string>{root + "a1.jpg", root + "a10.jpg", root + "A2.jpg", root + "B.jpg",
                                            root + "b.JPG", root + "c.jpg", root + "sub/Y.jpg", root + "sub/z.jpg"}));
}

TEST(MatchesMask, StarsAndQuestionMarks) {
  EXPECT_TRUE(MatchesMask("photo.JPG", "*.jpg"));
  EXPECT_TRUE(MatchesMask("photo.jpg", "p*o*.?pg"));
  EXPECT_TRUE(MatchesMask("noext", "*.*"));
  EXPECT_TRUE(MatchesMask("ÉTÉ.png", "été.PNG"));
  EXPECT_TRUE(MatchesMask("Москва", "москва"));
  EXPECT_FALSE(MatchesMask("photo.jpeg", "*.jpg"));
  EXPECT_FALSE(MatchesMask("ab", "a?b"));
  EXPECT_TRUE(MatchesMask("é", "?"));  // one character, not one byte
  EXPECT_FALSE(MatchesMask(std::string(40, 'a'), std::string(20, 'a') + "*" + std::string(30, 'a') + "*b"));
}

TEST(FindFilesRecursive, ListsFilesOfAllSubfoldersAndSkipsExcludedDirectories) {
  TTempDir dir;
  fs::create_directories(dir / "Sub/Deeper");
  WriteFileBytes(dir / "top_Photo.jpg", "x");
  WriteFileBytes(dir / "other.jpg", "x");
  WriteFileBytes(dir / "Sub/PHOTO2.png", "x");
  WriteFileBytes(dir / "Sub/Deeper/my photo.gif", "x");
  fs::create_directory_symlink(dir.Path(), dir.Path() / "Sub/loop");  // must not recurse forever

  std::string root = dir.Path().string();  // no trailing slash: it is added
  std::vector<std::string> list;
  FindFilesRecursive(root, "PHOTO", 0, faDirectory, &list, false);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{root + "/Sub/Deeper/my photo.gif", root + "/Sub/PHOTO2.png",
                                                    root + "/top_Photo.jpg"}));

  // Directories get a "/" and come after their content.
  FindFilesRecursive(root + "/", "", faDirectory, 0, &list, false);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{root + "/Sub/", root + "/Sub/Deeper/", root + "/Sub/loop/"}));
  FindFilesRecursive(root, "", 0, 0, &list, false);
  auto at = [&](const std::string& s) { return std::find(list.begin(), list.end(), s) - list.begin(); };
  EXPECT_LT(at(root + "/Sub/PHOTO2.png"), at(root + "/Sub/"));
  EXPECT_EQ(list.size(), 7u);

  list = {"kept"};
  FindFilesRecursive(root + "/missing", "", 0, 0, &list, true);
  EXPECT_EQ(list, std::vector<std::string>{"kept"});
  FindFilesRecursive("", "", 0, 0, &list, false);  // never the whole file system
  EXPECT_TRUE(list.empty());
}

TEST(GetFileSizeOf, FullSizeOrMinusOne) {
  TTempDir dir;
  WriteFileBytes(dir / "five.bin", "12345");
  EXPECT_EQ(GetFileSizeOf(dir / "five.bin"), 5);
  EXPECT_EQ(GetFileSizeOf(dir / "FIVE.*"), 5);
  EXPECT_EQ(GetFileSizeOf(dir / "missing"), -1);
  EXPECT_EQ(GetFileSizeOf(dir / "*.none"), -1);
  // Sizes beyond 4 GiB are not cut to 32 bits (a sparse file takes no space).
  WriteFileBytes(dir / "big.bin", "");
  ASSERT_EQ(truncate((dir / "big.bin").c_str(), (int64_t(1) << 32) + 7), 0);
  EXPECT_EQ(GetFileSizeOf(dir / "big.bin"), (int64_t(1) << 32) + 7);
}

TEST(ExtractFileNameWithoutExt, LastDotOfTheNamePart) {
  EXPECT_EQ(ExtractFileNameWithoutExt("/pics/photo.jpg"), "photo");
  EXPECT_EQ(ExtractFileNameWithoutExt("/pics/archive.tar.gz"), "archive.tar");
  EXPECT_EQ(ExtractFileNameWithoutExt("/pics.d/noext"), "noext");
  EXPECT_EQ(ExtractFileNameWithoutExt("/pics/.hidden"), "");
  EXPECT_EQ(ExtractFileNameWithoutExt("name."), "name");
}

// ---- stream strings ---------------------------------------------------------

TEST(StreamString, LayoutAndRoundTrip) {
  TMemoryStream s;
  WriteString(s, "abc");
  WriteString(s, "");
  WriteString(s, "Grüße €");
  const auto& b = s.Bytes();
  ASSERT_GE(b.size(), 11u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 11), std::string("STR1\x03\0\0\0abc", 11));
  EXPECT_EQ(std::string(b.begin() + 11, b.begin() + 19), std::string("STR1\0\0\0\0", 8));
  s.Seek(0);
  EXPECT_EQ(ReadString(s), "abc");
  EXPECT_EQ(ReadString(s), "");
  EXPECT_EQ(ReadString(s), "Grüße €");
  EXPECT_EQ(s.Remaining(), 0);
}

TEST(StreamString, BadTagReportsThePositionAfterIt) {
  TMemoryStream s(std::vector<uint8_t>(120, 'x'));
  s.Seek(100);
  EXPECT_EQ(ErrorOf(s), "ReadString::232 - Invalid string (Stream pointer: 104)!");
  TMemoryStream shortStream(std::vector<uint8_t>{'S', 'T'});
  EXPECT_EQ(ErrorOf(shortStream), "ReadString::232 - Invalid string (Stream pointer: 2)!");
}

TEST(StreamString, LengthBeyondTheEndIsAnErrorNotAnAllocation) {
  for (uint32_t length : {4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    TMemoryStream s;
    s.WriteSignature("STR1");
    s.WriteValue<uint32_t>(length);
    s.Write("abc", 3);
    s.Seek(0);
    EXPECT_EQ(ErrorOf(s), "ReadString::233 - Invalid string length (Stream pointer: 8)!") << length;
  }
  TMemoryStream cut(std::string_view("STR1\x03\0", 6).data(), 6);
  EXPECT_EQ(ErrorOf(cut), "ReadString::233 - Invalid string length (Stream pointer: 4)!");
}

TEST(StreamString, Windows1252TextIsConvertedToUtf8) {
  // "Café – 50€ ™" as a Windows program would have stored it.
  std::string cp1252 = "Caf\xE9 \x96 50\x80 \x99 \x81";
  TMemoryStream s;
  WriteString(s, cp1252);
  s.Seek(0);
  EXPECT_EQ(ReadString(s), "Café – 50€ ™ \xC2\x81");
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
  EXPECT_EQ(Cp1252ToUtf8("\x8A\x9F\xFF"), "ŠŸÿ");
}

// ---- text -------------------------------------------------------------------

TEST(ExtractNumber, KeepsDigitsOnly) {
  EXPECT_EQ(ExtractNumber("120%"), 120);
  EXPECT_EQ(ExtractNumber("-5"), 5);
  EXPECT_EQ(ExtractNumber("1.5"), 15);
  EXPECT_EQ(ExtractNumber(""), 0);
  EXPECT_EQ(ExtractNumber("px"), 0);
  EXPECT_EQ(ExtractNumber("2147483647"), 2147483647);
  EXPECT_EQ(ExtractNumber("2147483648"), 0);
  EXPECT_EQ(ExtractNumber("99999999999999999999999"), 0);
  EXPECT_EQ(ExtractNumber("000000000000000042"), 42);
}

TEST(ReplaceText, RescansAndRefusesSelfContainingReplacements) {
  EXPECT_EQ(ReplaceText("<NAME>", "x<NAME>y", "a <NAME> b"), "a <NAME> b");
  EXPECT_EQ(ReplaceText("<N>", "photo", "<N>-<N>.jpg"), "photo-photo.jpg");
  EXPECT_EQ(ReplaceText("<n>", "photo", "<N>"), "<N>");  // case-sensitive
  // Replacing "ab" by "a" in "aaabbb": each replacement forms a new "ab".
  EXPECT_EQ(ReplaceText("ab", "a", "aaabbb"), "aaa");
  // A replacement and its neighbours form an occurrence: "<A<A>>" -> "<A>" -> "".
  EXPECT_EQ(ReplaceText("<A>", "", "<A<A>>"), "");
  EXPECT_EQ(ReplaceText("", "x", "text"), "text");
}

// The plain rule: find the first occurrence, replace it, search again from the start.
std::string NaiveReplace(const std::string& search, const std::string& replacement, std::string text) {
  if (replacement.find(search) != std::string::npos) return text;
  for (size_t at; (at = text.find(search)) != std::string::npos;) text.replace(at, search.size(), replacement);
  return text;
}

TEST(ReplaceText, AgreesWithRescanningFromTheStart) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  auto word = [&](size_t maxLength) {
    std::string w(next() % (maxLength + 1), 'a');
    for (char& c : w) c = "abc"[next() >> 16 & 1 ? 0 : (next() >> 20) % 3];
    return w;
  };
  for (int i = 0; i < 3000; ++i) {
    std::string search = word(3), replacement = word(2), text = word(12);
    if (search.empty()) continue;
    ASSERT_EQ(ReplaceText(search, replacement, text), NaiveReplace(search, replacement, text))
        << search << " -> " << replacement << " in " << text;
  }
}

TEST(ReplaceText, GrowthWithoutEndStops) {
  // Each "ab" becomes "bbaa": the a's keep moving right past doubling b's.
  std::string result = ReplaceText("ab", "bbaa", std::string(30, 'a') + "b");
  EXPECT_LE(result.size(), size_t(16) << 20);
  EXPECT_GT(result.size(), size_t(1) << 20);
}

// ---- bitmaps ----------------------------------------------------------------

TBitmap32 Numbered(int32_t width, int32_t height) {
  TBitmap32 b(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) b.Pixel(x, y) = ARGB(255, uint8_t(x), uint8_t(y), 7);
  return b;
}

TEST(AddMargins, PlacesTheOldPixelsAtLeftTop) {
  TBitmap32 b = Numbered(10, 10);
  b.DrawMode = dmBlend;
  b.MasterAlpha = 99;
  AddMargins(b, 1, 2, 3, 4);
  ASSERT_EQ(b.Width(), 14);
  ASSERT_EQ(b.Height(), 16);
  EXPECT_EQ(b.DrawMode, dmBlend);
  EXPECT_EQ(b.MasterAlpha, 99);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 14; ++x) {
      bool inside = x >= 1 && x < 11 && y >= 2 && y < 12;
      ASSERT_EQ(b.Pixel(x, y), inside ? ARGB(255, uint8_t(x - 1), uint8_t(y - 2), 7) : 0u) << x << "," << y;
    }
  TBitmap32 same = Numbered(3, 3);
  AddMargins(same, 0, 0, 0, 0);
  AddMargins(same, 1, 1, -1, 1);
  AddMargins(same, 0x7FFFFFFF, 0, 1, 0);
  EXPECT_EQ(same.Width(), 3);
  EXPECT_EQ(same.Height(), 3);
}

TEST(CropToOpaque, ExactBoundingBoxOfVisiblePixels) {
  TBitmap32 b(10, 10);
  b.Clear(ARGB(0, 9, 9, 9));
  b.Pixel(3, 4) = ARGB(1, 2, 3, 4);
  b.DrawMode = dmBlend;
  CropToOpaque(b);
  ASSERT_EQ(b.Width(), 1);
  ASSERT_EQ(b.Height(), 1);
  EXPECT_EQ(b.Pixel(0, 0), ARGB(1, 2, 3, 4));
  EXPECT_EQ(b.DrawMode, dmBlend);

  TBitmap32 two(10, 10);
  two.Clear(0);
  two.Pixel(2, 9) = ARGB(255, 1, 1, 1);
  two.Pixel(7, 0) = ARGB(128, 2, 2, 2);
  CropToOpaque(two);
  ASSERT_EQ(two.Width(), 6);
  ASSERT_EQ(two.Height(), 10);
  EXPECT_EQ(two.Pixel(0, 9), ARGB(255, 1, 1, 1));
  EXPECT_EQ(two.Pixel(5, 0), ARGB(128, 2, 2, 2));
  EXPECT_EQ(two.Pixel(0, 0), 0u);

  for (TBitmap32 empty : {TBitmap32(5, 4), TBitmap32()}) {
    empty.Clear(ARGB(0, 50, 60, 70));
    CropToOpaque(empty);
    ASSERT_EQ(empty.Width(), 1);
    ASSERT_EQ(empty.Height(), 1);
    EXPECT_EQ(empty.Pixel(0, 0), 0u);  // colour bytes cleared too
  }
}

TEST(AlphaMatrices, MarginsOfZerosAndBackAgain) {
  TBitmap32 b(3, 2);
  for (int32_t i = 0; i < 6; ++i) b.Bits()[i] = ARGB(uint8_t(10 * (i + 1)), 1, 2, 3);
  auto rows = AlphaToMatrix(b, 1, 1, 1, 1);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<int32_t>{0, 0, 0, 0, 0}));
  EXPECT_EQ(rows[1], (std::vector<int32_t>{0, 10, 20, 30, 0}));
  EXPECT_EQ(rows[2], (std::vector<int32_t>{0, 40, 50, 60, 0}));
  auto flat = AlphaToFlatMatrix(b, 1, 1, 1, 1);
  ASSERT_EQ(flat.size(), 20u);
  for (size_t r = 0; r < 4; ++r)
    EXPECT_TRUE(std::equal(rows[r].begin(), rows[r].end(), flat.begin() + 5 * r));
  EXPECT_TRUE(AlphaToMatrix(b, -1, 0, 0, 0).empty());
  EXPECT_TRUE(AlphaToFlatMatrix(b, 0, 0, 0, -1).empty());

  for (int32_t& v : flat) v = v * 2 + 256;  // only the low byte is taken
  SetAlphaFromMatrix(b, flat, 5, 1, 1);
  EXPECT_EQ(b.Pixel(0, 0), ARGB(20, 1, 2, 3));
  EXPECT_EQ(b.Pixel(2, 1), ARGB(120, 1, 2, 3));
  SetAlphaFromMatrix(b, flat, 5, -1, 1);
  EXPECT_EQ(b.Pixel(0, 0), ARGB(20, 1, 2, 3));
  // Entries beyond the array leave their pixels alone.
  SetAlphaFromMatrix(b, std::vector<int32_t>{7, 8, 9, 4}, 3, 0, 0);
  EXPECT_EQ(b.Pixel(0, 0), ARGB(7, 1, 2, 3));
  EXPECT_EQ(b.Pixel(0, 1), ARGB(4, 1, 2, 3));
  EXPECT_EQ(b.Pixel(1, 1), ARGB(100, 1, 2, 3));
}

TEST(AddAlphaNoise, LowersVisibleAlphaWithinRangeOnly) {
  TBitmap32 b(64, 64);
  for (int32_t i = 0; i < 64 * 64; ++i) b.Bits()[i] = ARGB(uint8_t(i % 256), uint8_t(i), 5, 6);
  const TBitmap32 before = b;
  AddAlphaNoise(b, 1);
  for (int32_t i = 0; i < 64 * 64; ++i) {
    uint8_t a = AlphaOf(before.Bits()[i]);
    ASSERT_EQ(b.Bits()[i], SetAlpha(before.Bits()[i], a == 0 ? 0 : a - 1)) << i;
  }

  b = before;
  AddAlphaNoise(b, 40);
  bool changedDifferently = false;
  for (int32_t i = 0; i < 64 * 64; ++i) {
    int a = AlphaOf(before.Bits()[i]), n = AlphaOf(b.Bits()[i]);
    ASSERT_EQ(b.Bits()[i] & 0xFFFFFFu, before.Bits()[i] & 0xFFFFFFu);
    if (a == 0) {
      ASSERT_EQ(n, 0);
      continue;
    }
    int m = std::min(a, 40);
    ASSERT_GE(a - n, 1) << i;
    ASSERT_LE(a - n, m) << i;
    changedDifferently |= (a - n) != (a > 40 ? 40 : a);
  }
  EXPECT_TRUE(changedDifferently);

  b = before;
  AddAlphaNoise(b, 0);
  AddAlphaNoise(b, 256);
  EXPECT_EQ(std::vector<TColor32>(b.Bits(), b.Bits() + 64 * 64),
            std::vector<TColor32>(before.Bits(), before.Bits() + 64 * 64));
}

}  // namespace
}  // namespace tvx
