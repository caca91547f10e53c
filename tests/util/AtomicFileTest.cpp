// The replace-by-rename policy of every file the program writes, with real
// files: modes, owners, links, temporary names and failures.

#include "util/AtomicFile.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

// Sets the umask for one test and puts the old one back.
class TUmask {
 public:
  explicit TUmask(mode_t mask) : old_(umask(mask)) {}
  ~TUmask() { umask(old_); }

 private:
  mode_t old_;
};

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

bool IsLink(const fs::path& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Names in the folder that start with "." (temporary files).
std::vector<std::string> Hidden(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().front() == '.') names.push_back(entry.path().filename());
  return names;
}

// Whether name is prefix, six letters or digits, suffix: a mkstemp-style name.
bool IsTemporaryName(const std::string& name, const std::string& prefix, const std::string& suffix) {
  if (name.size() != prefix.size() + 6 + suffix.size()) return false;
  if (name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                     name.begin() + static_cast<std::ptrdiff_t>(prefix.size() + 6),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

class AtomicFileModes : public ::testing::TestWithParam<mode_t> {};

TEST_P(AtomicFileModes, NewFileGets0666LessTheUmask) {
  test::TTempDir dir;
  TUmask mask(GetParam());
  WriteFileAtomically(dir / "new.bin", "x", 1);
  EXPECT_EQ(ModeOf(dir / "new.bin"), 0666 & ~GetParam());
}

TEST_P(AtomicFileModes, ReplacedFileKeepsItsPermissionBits) {
  // Whatever the umask: the bits are the replaced file's, set-id bits included.
  test::TTempDir dir;
  TUmask mask(022);
  const std::string target = dir / "old.bin";
  const mode_t mode = GetParam() | 0400;
  test::WriteFileBytes(target, "old");
  ASSERT_EQ(chmod(target.c_str(), mode), 0);
  WriteFileAtomically(target, "new", 3);
  EXPECT_EQ(test::ReadFileBytes(target), "new");
  EXPECT_EQ(ModeOf(target), mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, AtomicFileModes, ::testing::Values(022, 027, 077, 002, 0, 0777, 04755));

TEST(AtomicFile, ReplacedFileKeepsItsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
  test::TTempDir dir;
  const std::string target = dir / "owned.bin";
  test::WriteFileBytes(target, "old");
  ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(target.c_str(), 04750), 0);
  WriteFileAtomically(target, "new", 3);
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 04750u);  // giving it away did not cost the set-id bit
}

// A link to the target, as written in the link.
struct TLinkCase {
  const char* name;
  bool absolute;  // the link text is an absolute path
  int chain;      // links in a row before the file
  bool dangling;  // the file does not exist yet
};

void PrintTo(const TLinkCase& c, std::ostream* os) { *os << c.name; }

class AtomicFileLinks : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(AtomicFileLinks, TheFileALinkNamesIsReplacedAndTheLinkStays) {
  const TLinkCase& c = GetParam();
  test::TTempDir dir;
  fs::create_directories(dir.Path() / "store");
  fs::create_directories(dir.Path() / "links");
  const fs::path file = dir.Path() / "store" / "real.cfg";
  if (!c.dangling) {
    test::WriteFileBytes(file, "old");
    fs::permissions(file, fs::perms(0604));
  }
  // links/l0 -> links/l1 -> ... -> store/real.cfg
  fs::path next = c.absolute ? file : fs::path("../store/real.cfg");
  for (int i = c.chain - 1; i >= 0; --i) {
    const fs::path link = dir.Path() / "links" / ("l" + std::to_string(i));
    fs::create_symlink(next, link);
    next = c.absolute ? link : link.filename();
  }
  const fs::path target = dir.Path() / "links" / "l0";
  {
    TUmask mask(022);
    TAtomicFile out(target.string());
    EXPECT_EQ(out.ReplacedPath(),
              c.absolute ? file.string() : (dir.Path() / "links/../store/real.cfg").string());
    // Beside the file replaced, so the rename stays on its file system.
    EXPECT_EQ(fs::path(out.TempPath()).parent_path(), fs::path(out.ReplacedPath()).parent_path());
    out.Write("new", 3);
    out.Commit();
  }
  EXPECT_EQ(test::ReadFileBytes(file), "new");
  EXPECT_EQ(ModeOf(file), c.dangling ? 0644u : 0604u);
  for (int i = 0; i < c.chain; ++i)
    EXPECT_TRUE(IsLink(dir.Path() / "links" / ("l" + std::to_string(i)))) << i;
  EXPECT_TRUE(Hidden(dir.Path() / "store").empty());
  EXPECT_TRUE(Hidden(dir.Path() / "links").empty());
}

INSTANTIATE_TEST_SUITE_P(Links, AtomicFileLinks,
                         ::testing::Values(TLinkCase{"relative", false, 1, false},
                                           TLinkCase{"absolute", true, 1, false},
                                           TLinkCase{"chain of three", false, 3, false},
                                           TLinkCase{"dangling", false, 1, true},
                                           TLinkCase{"dangling absolute chain", true, 2, true}));

TEST(AtomicFile, LinkLoopRaisesAndLeavesNothing) {
  test::TTempDir dir;
  fs::create_symlink("b", dir.Path() / "a");
  fs::create_symlink("a", dir.Path() / "b");
  EXPECT_THROW(WriteFileAtomically(dir / "a", "x", 1), EError);
  EXPECT_TRUE(IsLink(dir.Path() / "a"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);
}

TEST(AtomicFile, TemporaryNamesAreHiddenBesideTheTarget) {
  test::TTempDir dir;
  TAtomicFile plain(dir / "photo.jpg");
  EXPECT_TRUE(IsTemporaryName(fs::path(plain.TempPath()).filename(), ".photo.jpg.tmp-", ""))
      << plain.TempPath();
  // A writer that picks the format by the extension sees the target's.
  TAtomicFile part(dir / "photo.JPEG", TAtomicFile::TTempName::KeepExtension);
  EXPECT_TRUE(IsTemporaryName(fs::path(part.TempPath()).filename(), ".photo.JPEG.part-", ".JPEG"))
      << part.TempPath();
  EXPECT_EQ(fs::path(part.TempPath()).parent_path(), dir.Path());
  EXPECT_NE(plain.TempPath(), part.TempPath());
}

TEST(AtomicFile, NameAtTheLengthLimitStillGetsATemporaryFile) {
  test::TTempDir dir;
  const std::string name = std::string(NAME_MAX - 4, 'n') + ".jpg";
  for (auto naming : {TAtomicFile::TTempName::Hidden, TAtomicFile::TTempName::KeepExtension}) {
    TAtomicFile out(dir / name, naming);
    EXPECT_LE(fs::path(out.TempPath()).filename().string().size(), size_t(NAME_MAX));
    if (naming == TAtomicFile::TTempName::KeepExtension) {
      EXPECT_EQ(fs::path(out.TempPath()).extension(), ".jpg");
    }
    out.Write("x", 1);
    out.Commit();
    EXPECT_EQ(test::ReadFileBytes(dir / name), "x");
  }
}

TEST(AtomicFile, WhatAWriterByNamePutsThereIsCommittedWithTheTargetsMode) {
  // A plug-in writes the temporary file itself, replacing it with its own file.
  test::TTempDir dir;
  TUmask mask(027);
  const std::string target = dir / "out.png";
  TAtomicFile out(target, TAtomicFile::TTempName::KeepExtension);
  const std::string other = dir / "elsewhere";
  test::WriteFileBytes(other, "picture");
  ASSERT_EQ(chmod(other.c_str(), 0600), 0);
  ASSERT_EQ(rename(other.c_str(), out.TempPath().c_str()), 0);
  out.Commit();
  EXPECT_EQ(test::ReadFileBytes(target), "picture");
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
}

TEST(AtomicFile, FailedRenameLeavesTheTargetAndNoTemporaryFile) {
  test::TTempDir dir;
  fs::create_directories(dir.Path() / "busy.cfg" / "inside");
  TAtomicFile out(dir / "busy.cfg");
  out.Write("x", 1);
  EXPECT_THROW(out.Commit(), EError);
  EXPECT_TRUE(fs::is_directory(dir.Path() / "busy.cfg" / "inside"));
  EXPECT_TRUE(Hidden(dir.Path()).empty());
}

TEST(AtomicFile, TemporaryFileReplacedByALinkIsRefused) {
  // Nothing but a plain file is renamed into place.
  test::TTempDir dir;
  test::WriteFileBytes(dir / "secret", "secret");
  const std::string target = dir / "out.cfg";
  TAtomicFile out(target);
  ASSERT_EQ(unlink(out.TempPath().c_str()), 0);
  fs::create_symlink(dir / "secret", out.TempPath());
  EXPECT_THROW(out.Commit(), EError);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(test::ReadFileBytes(dir / "secret"), "secret");
}

// A commit that must not replace: whatever appeared under the name since
// stays, with a message that says so; a free name is taken as usual, also
// through a dangling link.
struct TNoReplaceCase {
  const char* Name;
  const char* Before;  // "" nothing, "file" or "folder" (appearing meanwhile), "dangling link"
  bool Commits;
};

class AtomicFileKeepExisting : public ::testing::TestWithParam<TNoReplaceCase> {};

TEST_P(AtomicFileKeepExisting, NeverReplaces) {
  const TNoReplaceCase& c = GetParam();
  test::TTempDir dir;
  const std::string target = dir / "out.jpg";
  const std::string before = c.Before;
  // A link that was there when the name was found free is followed; what
  // appears afterwards stays.
  if (before == "dangling link") fs::create_symlink(dir / "elsewhere.jpg", target);
  TAtomicFile out(target, TAtomicFile::TTempName::KeepExtension);
  out.Write("new", 3);
  out.Flush();
  if (before == "file") test::WriteFileBytes(target, "theirs");
  if (before == "folder") fs::create_directory(target);
  if (c.Commits) {
    out.Commit(TAtomicFile::TCommitMode::KeepExisting);
    EXPECT_EQ(test::ReadFileBytes(before == "dangling link" ? dir / "elsewhere.jpg" : target), "new");
  } else {
    try {
      out.Commit(TAtomicFile::TCommitMode::KeepExisting);
      FAIL() << "replaced";
    } catch (const EError& e) {
      EXPECT_EQ(std::string(e.what()),
                "TAtomicFile::Commit::5 - " + target +
                    " exists already: another program or run wrote it meanwhile; it was "
                    "left as it is!");
    }
    if (before == "file") {
      EXPECT_EQ(test::ReadFileBytes(target), "theirs");
    }
  }
  EXPECT_TRUE(Hidden(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, AtomicFileKeepExisting,
                         ::testing::Values(TNoReplaceCase{"Free", "", true},
                                           TNoReplaceCase{"File", "file", false},
                                           TNoReplaceCase{"Folder", "folder", false},
                                           TNoReplaceCase{"DanglingLink", "dangling link", true}),
                         [](const ::testing::TestParamInfo<TNoReplaceCase>& info) {
                           return info.param.Name;
                         });

TEST(AtomicFile, FlushOfAFileReplacedByItsWriterFlushesWhatIsThereNow) {
  // A plug-in writes by name, replacing the temporary file: Flush and Commit
  // take what is under the name, not the file first created.
  test::TTempDir dir;
  const std::string target = dir / "out.png";
  TAtomicFile out(target, TAtomicFile::TTempName::KeepExtension);
  test::WriteFileBytes(out.TempPath() + ".w", "picture");
  fs::rename(out.TempPath() + ".w", out.TempPath());
  out.Flush();
  out.Commit();
  EXPECT_EQ(test::ReadFileBytes(target), "picture");
  // Gone before the flush: an error, and nothing left.
  TAtomicFile lost(dir / "lost.png", TAtomicFile::TTempName::KeepExtension);
  fs::remove(lost.TempPath());
  EXPECT_THROW(lost.Flush(), EError);
  EXPECT_TRUE(Hidden(dir.Path()).empty());
}

}  // namespace
}  // namespace tvx
