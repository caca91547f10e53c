// Every writer of the program replaces its file the same way: the batch run's
// outputs (re-encoded, and copied byte for byte), ".config", ".styles" and
// ".tvx", each through its real entry point, with real files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <functional>

#include "app/Session.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "util/Config.h"
#include "watermark/BitmapLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

class TQuietProgress : public TRunProgress {
 public:
  void Begin(const std::string&, int32_t) override {}
  bool AdvanceAndCheckCancel(int32_t) override { return false; }
};

// One of the program's writers: it writes the file named fileName in the
// folder it is given, and recognises what it wrote.
struct TWriter {
  const char* name;
  const char* fileName;
  /// folder receives the file; work is a folder of the test's own.
  std::function<void(TSession& session, const fs::path& folder, const fs::path& work)> write;
  std::function<bool(TSession& session, const fs::path& file)> wrote;
};

void PrintTo(const TWriter& w, std::ostream* os) { *os << w.name; }

bool StartsWith(const fs::path& file, const std::string& magic) {
  return test::ReadFileBytes(file).rfind(magic, 0) == 0;
}

// The batch run writes folder/a.jpg from a source work/a.jpg.
void RunBatch(TSession& session, const fs::path& folder, const fs::path& work, bool layers) {
  TBitmap32 picture(40, 30);
  picture.Clear(0xFF336699);
  const fs::path source = work / "a.jpg";
  ASSERT_TRUE(session.Plugins().SaveBitmap(source, picture));
  session.Images().Paths = {source.string()};
  session.Layers().Clear();
  if (layers) {
    auto& layer = session.Layers().Add<TBitmapLayer>();
    layer.SourceBitmap().SetSize(4, 4);
    layer.SourceBitmap().Clear(0xFFFF0000);
    layer.Render();
  }
  session.Exif().WriteCopyright = true;
  session.Exif().Copyright = "(c) writers";
  TOutputSettings settings;
  settings.Destination.Placement = plOtherFolder;
  settings.Destination.DestFolder = folder.string();
  settings.Destination.OverwriteExisting = owReplace;
  settings.Destination.DefaultFileFormat = 1;
  TQuietProgress progress;
  ASSERT_EQ(session.Watermark(settings, progress), TSession::TStart::Completed);
}

bool IsPictureWithCopyright(TSession& session, const fs::path& file) {
  const auto values = session.Plugins().GetExif(file).Values;
  return session.Plugins().LoadBitmapInfo(file).Width == 40 && values.count(33432) &&
         values.at(33432).rfind("(c) writers", 0) == 0;
}

const TWriter kWriters[] = {
    {"batch run, re-encoded", "a.jpg",
     [](TSession& s, const fs::path& f, const fs::path& w) { RunBatch(s, f, w, true); },
     IsPictureWithCopyright},
    {"batch run, bytes copied", "a.jpg",
     [](TSession& s, const fs::path& f, const fs::path& w) { RunBatch(s, f, w, false); },
     IsPictureWithCopyright},
    {"configuration", ".config",
     [](TSession&, const fs::path& f, const fs::path&) {
       TConfig config((f / ".config").string());
       config.WriteString("GlobalOptions", "InfoURL", "written");
       ASSERT_TRUE(config.UpdateFile());
     },
     [](TSession&, const fs::path& file) {
       return test::ReadFileBytes(file).find("InfoURL=written") != std::string::npos;
     }},
    {"saved styles", ".styles", [](TSession&, const fs::path& f, const fs::path&) { SaveStyles(f.string()); },
     [](TSession&, const fs::path& file) { return StartsWith(file, "STYL"); }},
    {"watermark file", "w.tvx",
     [](TSession& s, const fs::path& f, const fs::path&) {
       SaveWatermark((f / "w.tvx").string(), s.Layers(), s.Exif());
     },
     [](TSession&, const fs::path& file) { return StartsWith(file, "TVX1"); }},
};

class Writers : public ::testing::TestWithParam<TWriter> {
 protected:
  void SetUp() override {
    for (const char* folder : {"session", "out", "store"}) fs::create_directories(dir_.Path() / folder);
    TSession::TOptions options;
    options.ConfigFileName = dir_ / "session/.config";
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir_ / "session/";
    session_ = std::make_unique<TSession>(options);
    if (session_->Plugins().FindPlugin(".jpg", true) < 0) GTEST_SKIP() << "kobalt.fp not built";
    mask_ = umask(027);
  }
  void TearDown() override { umask(mask_); }

  fs::path Out() const { return dir_.Path() / "out" / GetParam().fileName; }
  fs::path Stored() const { return dir_.Path() / "store" / GetParam().fileName; }
  void Write() { GetParam().write(*session_, dir_.Path() / "out", dir_.Path() / "session"); }
  bool Wrote(const fs::path& file) { return GetParam().wrote(*session_, file); }
  void OldFileAt(const fs::path& file) {
    test::WriteFileBytes(file, "old");
    ASSERT_EQ(chmod(file.c_str(), 0604), 0);
  }
  void LinkOutToStore() { fs::create_symlink(fs::path("..") / "store" / GetParam().fileName, Out()); }
  // Nothing hidden is left but the file itself (".config", ".styles").
  void ExpectNoTemporaries() {
    for (const char* folder : {"out", "store"})
      for (const auto& entry : fs::directory_iterator(dir_.Path() / folder)) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name[0] != '.' || name == GetParam().fileName) << "left behind: " << entry.path();
      }
  }
  static mode_t ModeOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(stat(file.c_str(), &st), 0);
    return st.st_mode & 07777;
  }
  static bool IsLink(const fs::path& path) { return fs::is_symlink(fs::symlink_status(path)); }

  test::TTempDir dir_;
  std::unique_ptr<TSession> session_;
  mode_t mask_ = 022;
};

TEST_P(Writers, NewFileGetsTheUsualMode) {
  Write();
  ASSERT_TRUE(Wrote(Out()));
  EXPECT_EQ(ModeOf(Out()), 0640u);
  ExpectNoTemporaries();
}

TEST_P(Writers, ReplacedFileKeepsItsModeAndOwner) {
  OldFileAt(Out());
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(Out().c_str(), 65534, 65534), 0);
  }
  Write();
  ASSERT_TRUE(Wrote(Out()));
  EXPECT_EQ(ModeOf(Out()), 0604u);
  if (root) {
    struct stat st {};
    ASSERT_EQ(stat(Out().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  ExpectNoTemporaries();
}

TEST_P(Writers, LinkStaysALinkAndTheFileItNamesIsReplaced) {
  OldFileAt(Stored());
  LinkOutToStore();
  Write();
  EXPECT_TRUE(IsLink(Out()));
  ASSERT_TRUE(Wrote(Stored()));
  EXPECT_EQ(ModeOf(Stored()), 0604u);
  ExpectNoTemporaries();
}

TEST_P(Writers, DanglingLinksTargetIsCreated) {
  LinkOutToStore();
  Write();
  EXPECT_TRUE(IsLink(Out()));
  ASSERT_TRUE(Wrote(Stored()));
  EXPECT_EQ(ModeOf(Stored()), 0640u);
  ExpectNoTemporaries();
}

INSTANTIATE_TEST_SUITE_P(All, Writers, ::testing::ValuesIn(kWriters),
                         [](const ::testing::TestParamInfo<TWriter>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

}  // namespace
}  // namespace tvx
