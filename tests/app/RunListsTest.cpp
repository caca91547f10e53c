// What a run is given: manifests of paths, and shards of a list.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <set>

#include "app/Session.h"
#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

struct TManifestCase {
  std::string Text;
  bool Nul;
  std::vector<std::string> Paths;
};

class Manifests : public ::testing::TestWithParam<TManifestCase> {};

TEST_P(Manifests, Split) { EXPECT_EQ(SplitManifest(GetParam().Text, GetParam().Nul), GetParam().Paths); }

INSTANTIATE_TEST_SUITE_P(
    RunLists, Manifests,
    ::testing::Values(TManifestCase{"/a.jpg\n/b c.jpg\n", false, {"/a.jpg", "/b c.jpg"}},
                      TManifestCase{"/a.jpg", false, {"/a.jpg"}},  // no closing newline
                      TManifestCase{"\n\n/a.jpg\r\n\r\n/b.jpg\r\n", false, {"/a.jpg", "/b.jpg"}},
                      TManifestCase{"", false, {}},
                      // NUL-separated lists keep what a line list cannot hold
                      TManifestCase{
                          std::string("/a\nb.jpg\0/c\r.jpg\0", 16), true, {"/a\nb.jpg", "/c\r.jpg"}},
                      TManifestCase{std::string("/a.jpg\0\0/b.jpg", 14), true, {"/a.jpg", "/b.jpg"}},
                      TManifestCase{"  /lead space.jpg\n", false, {"  /lead space.jpg"}}));

TEST(RunLists, AManifestGoesThroughTheListsMasks) {
  test::TTempDir dir;
  const std::string list = dir / "list.txt";
  test::WriteFileBytes(list, "/p/a.JPG\n/p/notes.txt\n/p/b.jpeg\n/p/a.JPG\n");
  TImageList images;
  images.Masks = {"*.jpg", "*.jpeg"};
  EXPECT_EQ(images.AddManifest(list, false), 3u);
  EXPECT_EQ(images.Paths, (std::vector<std::string>{"/p/a.JPG", "/p/b.jpeg", "/p/a.JPG"}));
  try {
    images.AddManifest(dir / "missing.txt", false);
    FAIL() << "no error";
  } catch (const EError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  "ReadManifest::1 - Cannot read the list of pictures " + (dir / "missing.txt"), 0),
              0u)
        << e.what();
  }
}

// Shards: every row in exactly one shard, the split independent of the list's order.
struct TShardCase {
  std::vector<std::string> Paths;
  int32_t Count;
};

class Shards : public ::testing::TestWithParam<TShardCase> {};

TEST_P(Shards, PartitionTheListWhateverItsOrder) {
  const TShardCase& c = GetParam();
  std::vector<int> seen(c.Paths.size(), 0);
  std::vector<std::set<std::string>> members(static_cast<size_t>(c.Count));
  for (int32_t i = 0; i < c.Count; ++i) {
    const std::vector<size_t> rows = ShardRows(c.Paths, i, c.Count);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end())) << "rows keep list order";
    for (size_t r : rows) {
      ++seen[r];
      members[static_cast<size_t>(i)].insert(c.Paths[r]);
    }
    // Balanced: shard sizes differ by at most one.
    EXPECT_LE(rows.size(),
              (c.Paths.size() + static_cast<size_t>(c.Count) - 1) / static_cast<size_t>(c.Count));
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
  // Another host builds the list in another order: the same paths per shard.
  std::vector<std::string> reversed(c.Paths.rbegin(), c.Paths.rend());
  for (int32_t i = 0; i < c.Count; ++i) {
    std::set<std::string> again;
    for (size_t r : ShardRows(reversed, i, c.Count)) again.insert(reversed[r]);
    EXPECT_EQ(again, members[static_cast<size_t>(i)]) << "shard " << i;
  }
}

std::vector<std::string> Numbered(int n) {
  std::vector<std::string> paths;
  for (int i = 0; i < n; ++i) paths.push_back("/pics/" + std::to_string(i * 7919 % 1000) + ".jpg");
  return paths;
}

INSTANTIATE_TEST_SUITE_P(RunLists, Shards,
                         ::testing::Values(TShardCase{Numbered(10), 3}, TShardCase{Numbered(2), 3},
                                           TShardCase{{}, 2}, TShardCase{Numbered(100), 1},
                                           TShardCase{Numbered(97), 7},
                                           TShardCase{{"/b.jpg", "/a.jpg", "/b.jpg", "rel.jpg"}, 2}));

TEST(RunLists, ShardsSortByFullPath) {
  // Sorted: /x/a.jpg, /x/b.jpg, /x/c.jpg, /y/a.jpg: shard 0 of 2 has the first and third.
  const std::vector<std::string> paths = {"/y/a.jpg", "/x/c.jpg", "/x/a.jpg", "/x/b.jpg"};
  EXPECT_EQ(ShardRows(paths, 0, 2), (std::vector<size_t>{1, 2}));
  EXPECT_EQ(ShardRows(paths, 1, 2), (std::vector<size_t>{0, 3}));
  // A relative path counts from the current folder.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::vector<std::string> mixed = {"b.jpg", std::string(cwd) + "/a.jpg"};
  EXPECT_EQ(ShardRows(mixed, 0, 2), (std::vector<size_t>{1}));
  EXPECT_TRUE(ShardRows(paths, 2, 2).empty());
}

}  // namespace
}  // namespace tvx
