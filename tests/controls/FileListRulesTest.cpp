#include "controls/FileListRules.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/Session.h"
#include "support/TestSupport.h"

namespace tvx {
namespace {

struct TStripeCase {
  TColor32 Window;
  int32_t Row, Intensity;
  TColor32 Expected;
};

class Stripes : public testing::TestWithParam<TStripeCase> {};

TEST_P(Stripes, OddRowsLowerEachChannelNotBelowZero) {
  const TStripeCase& c = GetParam();
  EXPECT_EQ(StripeColor(c.Window, c.Row, c.Intensity), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Stripes,
                         testing::Values(TStripeCase{0xFFFFFFFFu, 0, 20, 0xFFFFFFFFu},
                                         TStripeCase{0xFFFFFFFFu, 1, 20, 0xFFEBEBEBu},
                                         TStripeCase{0xFFFFFFFFu, 3, 10, 0xFFF5F5F5u},
                                         TStripeCase{0xFFFFFFFFu, 4, 10, 0xFFFFFFFFu},
                                         TStripeCase{0xFF0A1E05u, 1, 10, 0xFF001400u},
                                         TStripeCase{0x80405060u, 1, 0, 0x80405060u},
                                         TStripeCase{0xFF000000u, 1, 253, 0xFF000000u},
                                         TStripeCase{0xFFF0F0F0u, 1, -20, 0xFFFFFFFFu}));

struct TIntensityCase {
  int32_t Current, Value;
  bool Accepted;
};

class StripesIntensity : public testing::TestWithParam<TIntensityCase> {};

TEST_P(StripesIntensity, OnlyANewValueBelow254) {
  EXPECT_EQ(AcceptsStripesIntensity(GetParam().Current, GetParam().Value), GetParam().Accepted);
}

INSTANTIATE_TEST_SUITE_P(Table, StripesIntensity,
                         testing::Values(TIntensityCase{10, 300, false}, TIntensityCase{10, 254, false},
                                         TIntensityCase{10, 253, true}, TIntensityCase{10, 10, false},
                                         TIntensityCase{10, 0, true}, TIntensityCase{10, 20, true},
                                         TIntensityCase{0, 0, false}));

TEST(FileListRules, IconKeyIsTheLowerCasedExtension) {
  EXPECT_EQ(FileIconKey("/pics/A.JPG"), ".jpg");
  EXPECT_EQ(FileIconKey("/pics/b.jpeg"), ".jpeg");
  EXPECT_EQ(FileIconKey("/pics/archive.Tar.GZ"), ".gz");
  EXPECT_EQ(FileIconKey("/pics.old/README"), "");
  EXPECT_EQ(FileIconKey("/pics/photo.\xC3\x89XT"), ".\xC3\xA9xt");  // .ÉXT
  EXPECT_EQ(FileIconKey("relative.Png"), ".png");
}

TEST(FileListRules, DroppedFolderBecomesTheFilesBelowItAndTheMasksStillDecide) {
  test::TTempDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.Path() / "pics" / "sub" / "deeper");
  fs::create_directories(dir.Path() / "pics" / "empty");
  for (const char* name :
       {"pics/b.jpg", "pics/a.png", "pics/sub/c.JPG", "pics/sub/deeper/d.jpg", "loose.jpg"})
    test::WriteFileBytes(dir.Path() / name, "x");
  const std::string folder = dir / "pics";
  const std::string missing = dir / "gone.jpg";

  const std::vector<std::string> expanded =
      ExpandDroppedPaths({dir / "loose.jpg", folder, missing, folder + "/"});
  const std::vector<std::string> inside{folder + "/a.png", folder + "/b.jpg", folder + "/sub/c.JPG",
                                        folder + "/sub/deeper/d.jpg"};
  std::vector<std::string> expected{dir / "loose.jpg"};
  expected.insert(expected.end(), inside.begin(), inside.end());
  expected.push_back(missing);
  expected.insert(expected.end(), inside.begin(), inside.end());  // dropped twice, listed twice
  EXPECT_EQ(expanded, expected);

  TImageList list;
  list.Masks = {"*.jpg"};
  list.Add(expanded);
  EXPECT_EQ(list.Paths, (std::vector<std::string>{dir / "loose.jpg", folder + "/b.jpg", folder + "/sub/c.JPG",
                                                  folder + "/sub/deeper/d.jpg", missing, folder + "/b.jpg",
                                                  folder + "/sub/c.JPG", folder + "/sub/deeper/d.jpg"}));
  EXPECT_TRUE(ExpandDroppedPaths({}).empty());
  EXPECT_EQ(ExpandDroppedPaths({""}), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace tvx
