#include "util/Paths.h"

#include <gtest/gtest.h>

#include <ostream>
#include <utility>

namespace tvx {
namespace {

// One path taken apart every way.
struct TSplitCase {
  const char* path;
  const char* folder;
  const char* name;
  const char* ext;
  const char* lowerExt;
  const char* nameWithoutExt;
};

void PrintTo(const TSplitCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class PathSplit : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(PathSplit, FolderNameAndExtension) {
  const TSplitCase& c = GetParam();
  EXPECT_EQ(ExtractFilePath(c.path), c.folder);
  EXPECT_EQ(ExtractFileName(c.path), c.name);
  EXPECT_EQ(ExtractFileExt(c.path), c.ext);
  EXPECT_EQ(LowerFileExt(c.path), c.lowerExt);
  EXPECT_EQ(ExtractFileNameWithoutExt(c.path), c.nameWithoutExt);
  // The parts put together give the path back.
  EXPECT_EQ(ExtractFilePath(c.path) + ExtractFileNameWithoutExt(c.path) + ExtractFileExt(c.path), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplit,
    ::testing::Values(
        // path, folder, name, extension, lower-cased extension, name without extension
        TSplitCase{"/pics/photo.jpg", "/pics/", "photo.jpg", ".jpg", ".jpg", "photo"},
        TSplitCase{"/pics/PHOTO.JPEG", "/pics/", "PHOTO.JPEG", ".JPEG", ".jpeg", "PHOTO"},
        TSplitCase{"/pics/archive.tar.gz", "/pics/", "archive.tar.gz", ".gz", ".gz", "archive.tar"},
        TSplitCase{"/a.b/c.d/e.f.g.Tiff", "/a.b/c.d/", "e.f.g.Tiff", ".Tiff", ".tiff", "e.f.g"},
        TSplitCase{"/pics.old/photo", "/pics.old/", "photo", "", "", "photo"},
        TSplitCase{"/pics/.hidden", "/pics/", ".hidden", ".hidden", ".hidden", ""},
        TSplitCase{"/pics/.name.part-Ab12Cd.jpg", "/pics/", ".name.part-Ab12Cd.jpg", ".jpg", ".jpg",
                   ".name.part-Ab12Cd"},
        TSplitCase{"/pics/photo.", "/pics/", "photo.", ".", ".", "photo"},
        TSplitCase{"/pics/", "/pics/", "", "", "", ""}, TSplitCase{"/pics.d/", "/pics.d/", "", "", "", ""},
        TSplitCase{"/", "/", "", "", "", ""},
        TSplitCase{"/photo.PNG", "/", "photo.PNG", ".PNG", ".png", "photo"},
        TSplitCase{"photo.jpg", "", "photo.jpg", ".jpg", ".jpg", "photo"},
        TSplitCase{"sub/photo", "sub/", "photo", "", "", "photo"},
        TSplitCase{"./a..b", "./", "a..b", ".b", ".b", "a."}, TSplitCase{"", "", "", "", "", ""},
        TSplitCase{"/fotos/Ä.JPG", "/fotos/", "Ä.JPG", ".JPG", ".jpg", "Ä"}));

TEST(IncludeTrailingPathDelimiter, AddsOneSlashOnlyWhereMissing) {
  const std::pair<const char*, const char*> cases[] = {
      {"/pics", "/pics/"}, {"/pics/", "/pics/"}, {"/", "/"}, {"pics", "pics/"}, {"", ""}, {"/a.b", "/a.b/"}};
  for (const auto& [folder, expected] : cases)
    EXPECT_EQ(IncludeTrailingPathDelimiter(folder), expected) << folder;
}

}  // namespace
}  // namespace tvx
