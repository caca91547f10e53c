// What a second start hands to the open window: which starts hand over, the
// paths made absolute, the message read back exactly, damaged messages
// refused without large allocations, and where the window listens.

#include "app/HandOver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

struct TWantsCase {
  const char* Name;
  std::vector<std::string> Args;
  bool Wants;
};

class WantsHandOverTest : public ::testing::TestWithParam<TWantsCase> {};

TEST_P(WantsHandOverTest, OnlyStartsThatOpenFilesHandOver) {
  EXPECT_EQ(WantsHandOver(ParseCommandLine(GetParam().Args)), GetParam().Wants);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, WantsHandOverTest,
    ::testing::Values(TWantsCase{"Nothing", {}, true}, TWantsCase{"Files", {"a.jpg", "m.tvx"}, true},
                      TWantsCase{"Options", {"-w", "m.tvx", "-a", "*.jpg", "-s"}, true},
                      TWantsCase{"Run", {"-r", "a.jpg"}, false}, TWantsCase{"Quit", {"-q"}, false},
                      TWantsCase{"Headless", {"--no-gui", "a.jpg"}, false},
                      TWantsCase{"Help", {"--help"}, false}, TWantsCase{"Version", {"--version"}, false},
                      TWantsCase{"Text", {"--text", "X", "a.jpg"}, false},
                      TWantsCase{"Logo", {"--logo", "l.png"}, false},
                      TWantsCase{"OutputOnly", {"--output", "/o", "a.jpg"}, true}),
    [](const ::testing::TestParamInfo<TWantsCase>& info) { return std::string(info.param.Name); });

TEST(HandOver, EveryPathIsMadeAbsoluteAndTheMessageReadsBackExactly) {
  TCommandLine cl = ParseCommandLine({"-w", "marks/m.tvx", "-a", "pics/*.jpg", "-ar", "/abs", "jpg", "-ar",
                                      "rel", "-s", "x.jpg", "/abs/y.jpg", "caf\xe9.jpg", "dir/../z.jpg"});
  const TCommandLine handOver = MakeHandOver(cl, "/home/me");
  const TCommandLine back = DecodeHandOver(EncodeHandOver(handOver));
  ASSERT_EQ(back.Actions.size(), 4u);
  EXPECT_EQ(back.Actions[0].Kind, TCommandLineAction::OpenWatermark);
  EXPECT_EQ(back.Actions[0].Value, "/home/me/marks/m.tvx");
  EXPECT_EQ(back.Actions[1].Kind, TCommandLineAction::AddPattern);
  EXPECT_EQ(back.Actions[1].Value, "/home/me/pics/*.jpg");
  EXPECT_EQ(back.Actions[2].Kind, TCommandLineAction::AddFolder);
  EXPECT_EQ(back.Actions[2].Value, "/abs");
  EXPECT_EQ(back.Actions[2].NamePart, "jpg");
  EXPECT_EQ(back.Actions[3].Value, "/home/me/rel");
  // a name that is not UTF-8 stays the same bytes, or the file is not found
  EXPECT_EQ(back.Files, (std::vector<std::string>{"/home/me/x.jpg", "/abs/y.jpg", "/home/me/caf\xe9.jpg",
                                                  "/home/me/z.jpg"}));
  EXPECT_FALSE(back.Run);
}

std::string Message(std::initializer_list<uint32_t> words, const std::string& tail = "") {
  std::string bytes = "TVXH";
  for (uint32_t w : words) bytes.append(reinterpret_cast<const char*>(&w), 4);
  return bytes + tail;
}

struct TDamagedCase {
  const char* Name;
  std::string Bytes;
  const char* Error;
};

class DamagedHandOver : public ::testing::TestWithParam<TDamagedCase> {};

TEST_P(DamagedHandOver, IsRefusedWithItsError) {
  try {
    DecodeHandOver(GetParam().Bytes);
    FAIL() << "accepted";
  } catch (const EError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().Error), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DamagedHandOver,
    ::testing::Values(
        TDamagedCase{"Empty", "", "DecodeHandOver::1"},
        TDamagedCase{"OtherSignature", "TVX1\1\0\0\0", "DecodeHandOver::1"},
        TDamagedCase{"OtherVersion", Message({2, 0, 0}), "DecodeHandOver::4 - Unknown version (2)!"},
        TDamagedCase{"HugeActionCount", Message({1, 0xFFFFFFFFu}), "DecodeHandOver::3"},
        TDamagedCase{"HugeFileCount", Message({1, 0, 0x40000000u}), "DecodeHandOver::3"},
        TDamagedCase{"UnknownAction", Message({1, 1, 7, 0, 0, 0}), "DecodeHandOver::5"},
        TDamagedCase{"TextPastTheEnd", Message({1, 0, 1, 0xFFFFFF00u}, "abc"), "DecodeHandOver::2"},
        TDamagedCase{"Truncated", Message({1, 0}), "Stream read error"},
        TDamagedCase{"TrailingBytes", Message({1, 0, 0}, "x"), "DecodeHandOver::6"}),
    [](const ::testing::TestParamInfo<TDamagedCase>& info) { return std::string(info.param.Name); });

TEST(HandOver, OneSocketPerDisplayAndSettingsFile) {
  const std::string a = HandOverSocketPath("/run/user/1000", ":0", "/home/me/.config/tarvex/.config");
  EXPECT_EQ(a.rfind("/run/user/1000/tarvex-", 0), 0u) << a;
  EXPECT_EQ(a, HandOverSocketPath("/run/user/1000/", ":0", "/home/me/.config/tarvex/.config"));
  EXPECT_NE(a, HandOverSocketPath("/run/user/1000", ":1", "/home/me/.config/tarvex/.config"));
  EXPECT_NE(a, HandOverSocketPath("/run/user/1000", ":0", "/portable/.config"));
  // the parts cannot be shifted into each other
  EXPECT_NE(HandOverSocketPath("/r", "ab", "c"), HandOverSocketPath("/r", "a", "bc"));
  // a socket address holds at most 107 bytes; the name adds a fixed few
  EXPECT_LT(HandOverSocketPath("/run/user/1000", std::string(500, 'x'), std::string(4000, 'y')).size(), 60u);
}

TEST(HandOver, RuntimeFolderOfItsOwnWithoutXdgRuntimeDir) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedValue = saved ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(HandOverRuntimeFolder(), "/run/user/4242");
  setenv("XDG_RUNTIME_DIR", "relative", 1);  // ignored: the variable must hold an absolute path
  const std::string own = HandOverRuntimeFolder();
  if (saved)
    setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
  ASSERT_EQ(own, "/tmp/tarvex-" + std::to_string(getuid()));
  struct stat st;
  ASSERT_EQ(lstat(own.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST(HandOver, AFolderOthersCanEnterIsNotUsed) {
  const std::string own = "/tmp/tarvex-" + std::to_string(getuid());
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedValue = saved ? saved : "";
  unsetenv("XDG_RUNTIME_DIR");
  ASSERT_FALSE(HandOverRuntimeFolder().empty());
  chmod(own.c_str(), 0777);
  const std::string chosen = HandOverRuntimeFolder();
  chmod(own.c_str(), 0700);
  if (saved) setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
  EXPECT_EQ(chosen, "");
}

}  // namespace
}  // namespace tvx
