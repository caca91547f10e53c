#include "util/Config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>

#include "support/TestSupport.h"
#include "util/Paths.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

TEST(Config, FirstStartReadsDefaultsAndWritesFirstRunOnClose) {
  TTempDir dir;
  const std::string file = dir / ".config";
  {
    TConfig config(file);
    EXPECT_TRUE(config.ReadBool("GlobalOptions", "FirstRun", true));
    EXPECT_EQ(config.ReadInteger("WatermarkingOptions", "JPEGQuality", 80), 80);
    EXPECT_EQ(config.ReadInteger("WatermarkingOptions", "OverwriteExisting", 0), 0);
    EXPECT_TRUE(config.ReadBool("WatermarkingOptions", "PlaceInSourceFolder", true));
    EXPECT_DOUBLE_EQ(config.ReadFloat("ResizeOptions", "Width", 10.0), 10.0);
    EXPECT_EQ(config.ReadString("GlobalOptions", "OpenPicturesInitialDir", ""), "");
    config.WriteBool("GlobalOptions", "FirstRun", false);
  }
  EXPECT_EQ(ReadFileBytes(file), "[GlobalOptions]\nFirstRun=0\n");
  TConfig again(file);
  EXPECT_FALSE(again.ReadBool("GlobalOptions", "FirstRun", true));
}

TEST(Config, TypedValuesRoundTripThroughTheFile) {
  TTempDir dir;
  const std::string file = dir / ".config";
  {
    TConfig config(file);
    config.WriteInteger("ResizeOptions", "Percentage", -50);
    config.WriteFloat("ResizeOptions", "Width", 12.75);
    config.WriteFloat("ResizeOptions", "Height", 0.1);
    config.WriteBool("WatermarkingOptions", "AcceptDefaults", true);
    config.WriteString("WatermarkingOptions", "DestFolder", "/pics/Grüße = out/");
    config.WriteString("GlobalOptions", "Broken", "line\none");
    config.WriteInteger("ResizeOptions", "Percentage", 75);  // overwrites in place
  }
  EXPECT_EQ(ReadFileBytes(file),
            "[ResizeOptions]\nPercentage=75\nWidth=12.75\nHeight=0.1\n\n"
            "[WatermarkingOptions]\nAcceptDefaults=1\nDestFolder=/pics/Grüße = out/\n\n"
            "[GlobalOptions]\nBroken=line one\n");
  TConfig config(file);
  EXPECT_EQ(config.ReadInteger("ResizeOptions", "Percentage", 0), 75);
  EXPECT_EQ(config.ReadFloat("ResizeOptions", "Width", 0), 12.75);
  EXPECT_EQ(config.ReadFloat("ResizeOptions", "Height", 0), 0.1);
  EXPECT_TRUE(config.ReadBool("WatermarkingOptions", "AcceptDefaults", false));
  EXPECT_EQ(config.ReadString("WatermarkingOptions", "DestFolder", ""), "/pics/Grüße = out/");
}

TEST(Config, NamesAreCaseSensitive) {
  TConfig config;
  config.LoadFromText("[WatermarkingOptions]\njpegquality=50\n[globaloptions]\nFirstRun=0\n");
  EXPECT_EQ(config.ReadInteger("WatermarkingOptions", "JPEGQuality", 80), 80);
  EXPECT_TRUE(config.ReadBool("GlobalOptions", "FirstRun", true));
  EXPECT_FALSE(config.ReadBool("globaloptions", "FirstRun", true));
  config.WriteInteger("WatermarkingOptions", "JPEGQuality", 90);
  EXPECT_EQ(config.ReadInteger("WatermarkingOptions", "jpegquality", 0), 50);
}

TEST(Config, ValuesThatDoNotParseGiveTheDefault) {
  TConfig config;
  config.LoadFromText(
      "[S]\nb2=2\nbneg=-1\nbword=yes\nempty=\nint= 42 \nhex=$1F\nhex2=0x10\nbig=2147483648\nmin=-2147483648\n"
      "half=12abc\nfloat=2.5\ncomma=2,5\nexp=1e3\nnan=nan\ninf=inf\ntext=  spaced  value \n");
  EXPECT_TRUE(config.ReadBool("S", "b2", false));
  EXPECT_TRUE(config.ReadBool("S", "bneg", false));
  EXPECT_TRUE(config.ReadBool("S", "bword", true));
  EXPECT_FALSE(config.ReadBool("S", "bword", false));
  EXPECT_EQ(config.ReadInteger("S", "empty", 7), 7);
  EXPECT_EQ(config.ReadString("S", "empty", "default"), "");  // present, though empty
  EXPECT_EQ(config.ReadInteger("S", "int", 0), 42);
  EXPECT_EQ(config.ReadInteger("S", "hex", 0), 31);
  EXPECT_EQ(config.ReadInteger("S", "hex2", 0), 16);
  EXPECT_EQ(config.ReadInteger("S", "big", 7), 7);
  EXPECT_EQ(config.ReadInteger("S", "min", 7), INT32_MIN);
  EXPECT_EQ(config.ReadInteger("S", "half", 7), 7);
  EXPECT_EQ(config.ReadFloat("S", "float", 0), 2.5);
  EXPECT_EQ(config.ReadFloat("S", "comma", 0), 2.5);
  EXPECT_EQ(config.ReadFloat("S", "exp", 0), 1000.0);
  EXPECT_EQ(config.ReadFloat("S", "nan", 3), 3.0);
  EXPECT_EQ(config.ReadFloat("S", "inf", 3), 3.0);
  EXPECT_EQ(config.ReadFloat("S", "half", 3), 3.0);
  EXPECT_EQ(config.ReadInteger("S", "float", 7), 7);
  EXPECT_EQ(config.ReadString("S", "text", ""), "spaced  value");
  EXPECT_EQ(config.ReadString("Missing", "text", "d"), "d");
}

// Without a German locale installed this checks the C locale only.
TEST(Config, DecimalPointDoesNotFollowTheLocale) {
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  TConfig config;
  config.WriteFloat("ResizeOptions", "Width", 2.5);
  EXPECT_EQ(config.ReadString("ResizeOptions", "Width", ""), "2.5");
  EXPECT_EQ(config.ReadFloat("ResizeOptions", "Width", 0), 2.5);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(Config, DamagedFilesLoad) {
  TTempDir dir;
  std::string text = "\xEF\xBB\xBF" "orphan=1\r\n"
                     "garbage line without equals\r\n"
                     "; comment\r\n"
                     "[GlobalOptions]\r\n"
                     "FirstRun=0\r\n"
                     "FirstRun=1\r\n"
                     "=no key\r\n"
                     "[unclosed\r\n"
                     "InfoURL=" + std::string(200000, 'u') + "\r\n"
                     "\x01\xFF\xFE\r\n"
                     "[WatermarkingOptions]\r\n"
                     "DestFolder=C:\\Bilder\\Gr\xFC\xDF" "e\r\n"
                     "[GlobalOptions]\r\n"
                     "FirstRun=1\r\n"
                     "Extra=5";  // no final line end
  WriteFileBytes(dir / ".config", text);
  TConfig config(dir / ".config");
  EXPECT_FALSE(config.ValueExists("GlobalOptions", "orphan"));
  EXPECT_FALSE(config.ReadBool("GlobalOptions", "FirstRun", true));  // the first value counts
  EXPECT_EQ(config.ReadString("GlobalOptions", "InfoURL", "").size(), 200000u);
  EXPECT_EQ(config.ReadInteger("GlobalOptions", "Extra", 0), 5);  // a repeated section continues the first
  EXPECT_EQ(config.ReadString("WatermarkingOptions", "DestFolder", ""), "C:\\Bilder\\Grüße");
  EXPECT_FALSE(config.SectionExists("unclosed"));

  // Only the first section header counts in the rewritten file.
  config.UpdateFile();
  std::string rewritten = ReadFileBytes(dir / ".config");
  EXPECT_EQ(rewritten.find("[GlobalOptions]"), 0u);
  EXPECT_EQ(rewritten.find("[GlobalOptions]", 1), std::string::npos);
  EXPECT_EQ(rewritten.find('\r'), std::string::npos);
}

TEST(Config, AStrayCarriageReturnInsideANameReadsAsTheSpaceItIsWrittenAs) {
  // Two keys that differ only by a carriage return against a space would
  // save alike, and one of them would vanish on the next reading (a fuzzer's find).
  TConfig config;
  config.LoadFromText("[S]\nk\rx=1\nk x=2\n[a\rb]\nv=in\rside\n");
  EXPECT_EQ(config.ReadInteger("S", "k x", 0), 1);  // the first of the two counts
  EXPECT_EQ(config.ReadString("a b", "v", ""), "in side");
  const std::string saved = config.SaveToText();
  TConfig again;
  again.LoadFromText(saved);
  EXPECT_EQ(again.SaveToText(), saved);
}

TEST(Config, FailedWriteKeepsTheOldFileAndIsSwallowed) {
  TTempDir dir;
  const std::string file = dir / "sub/.config";
  // The folder is gone: the write fails quietly, nothing throws.
  {
    TConfig config(file);
    config.WriteBool("GlobalOptions", "FirstRun", false);
    EXPECT_FALSE(config.UpdateFile());
  }
  EXPECT_FALSE(fs::exists(file));

  // A target that cannot be replaced (a folder in its place) leaves no
  // temporary file behind.
  fs::create_directories(dir / "blocked/.config/inside");
  {
    TConfig config(dir / "blocked/.config");
    config.WriteBool("GlobalOptions", "FirstRun", false);
    EXPECT_FALSE(config.UpdateFile());
  }
  EXPECT_TRUE(fs::is_directory(dir / "blocked/.config/inside"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "blocked"), fs::directory_iterator()), 1);

  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  fs::create_directory(dir / "sub");
  WriteFileBytes(file, "[GlobalOptions]\nFirstRun=1\n");
  chmod((dir / "sub").c_str(), 0500);
  {
    TConfig config(file);
    config.WriteBool("GlobalOptions", "FirstRun", false);
    EXPECT_FALSE(config.UpdateFile());
  }
  chmod((dir / "sub").c_str(), 0700);
  EXPECT_EQ(ReadFileBytes(file), "[GlobalOptions]\nFirstRun=1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), fs::directory_iterator()), 1);
}

TEST(Paths, ProgramFolderAndUserDataFolder) {
  std::string program = ProgramFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.back(), '/');
  EXPECT_TRUE(fs::exists(program + fs::path(fs::read_symlink("/proc/self/exe")).filename().string()));

  TTempDir dir;
  EXPECT_EQ(ChooseUserDataFolder(dir.Path().string()), dir.Path().string() + "/");
  EXPECT_EQ(ConfigFileName(), UserDataFolder() + ".config");

  // A program folder that cannot be written sends the files to the XDG folder.
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  std::string savedValue = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
  std::string chosen = ChooseUserDataFolder(dir / "does-not-exist/");
  if (saved) setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(chosen, dir / "xdg/tarvex/");
  EXPECT_TRUE(fs::is_directory(chosen));
}

// Which folder keeps the settings, for program folders of every kind.
struct TDataFolderCase {
  const char* Name;
  bool Exists;
  bool Writable;
  bool Installed;  // carries the "installed" marker
  bool Expected;   // true: the program folder, false: the XDG folder
};

class UserDataFolderChoice : public ::testing::TestWithParam<TDataFolderCase> {};

TEST_P(UserDataFolderChoice, ProgramFolderOnlyWhenWritableAndNotInstalled) {
  const TDataFolderCase& c = GetParam();
  TTempDir dir;
  const fs::path program = dir / "program";
  if (c.Exists) {
    fs::create_directories(program);
    if (c.Installed) WriteFileBytes(program / kInstalledMarker, "installed\n");
    if (!c.Writable) chmod(program.c_str(), 0500);
  }
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  std::string savedValue = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
  std::string chosen = ChooseUserDataFolder(program.string());
  if (saved) setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
  chmod(program.c_str(), 0700);
  // root may write anywhere: a read-only folder then counts as writable
  const bool writable = c.Writable || geteuid() == 0;
  const bool expectProgram = c.Expected || (c.Exists && !c.Installed && writable);
  EXPECT_EQ(chosen, expectProgram ? program.string() + "/" : std::string(dir / "xdg/tarvex/"));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UserDataFolderChoice,
    ::testing::Values(TDataFolderCase{"PortableCopy", true, true, false, true},
                      TDataFolderCase{"InstalledButWritable", true, true, true, false},
                      TDataFolderCase{"ReadOnly", true, false, false, false},
                      TDataFolderCase{"InstalledReadOnly", true, false, true, false},
                      TDataFolderCase{"Missing", false, false, false, false}),
    [](const ::testing::TestParamInfo<TDataFolderCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace tvx
