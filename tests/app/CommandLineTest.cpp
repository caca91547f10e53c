#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace tvx {
namespace {

TEST(CommandLine, FlagsAndActionsInOrder) {
  auto cl = ParseCommandLine({"-w", "mark.tvx", "-r", "-s", "-q", "-a", "/pics/*.jpg"});
  EXPECT_TRUE(cl.Run);
  EXPECT_TRUE(cl.SkipSettings);
  EXPECT_TRUE(cl.QuitAfterRun);
  ASSERT_EQ(cl.Actions.size(), 2u);
  EXPECT_EQ(cl.Actions[0].Kind, TCommandLineAction::OpenWatermark);
  EXPECT_EQ(cl.Actions[0].Value, "mark.tvx");
  EXPECT_EQ(cl.Actions[1].Kind, TCommandLineAction::AddPattern);
  EXPECT_EQ(cl.Actions[1].Value, "/pics/*.jpg");
}

TEST(CommandLine, KeepJpegBlocksIsAnOptionNotAFile) {
  auto cl = ParseCommandLine({"-r", "--jpeg-keep-blocks", "photo.jpg"});
  EXPECT_TRUE(cl.JpegKeepBlocks);
  EXPECT_EQ(cl.Files, (std::vector<std::string>{"photo.jpg"}));
  EXPECT_FALSE(ParseCommandLine({"-r", "photo.jpg"}).JpegKeepBlocks);
  // After "--" it is a file name like any other.
  cl = ParseCommandLine({"--", "--jpeg-keep-blocks"});
  EXPECT_FALSE(cl.JpegKeepBlocks);
  EXPECT_EQ(cl.Files, (std::vector<std::string>{"--jpeg-keep-blocks"}));
}

TEST(CommandLine, ValuesAreExaminedInTheirOwnTurn) {
  // "-w -r": "-r" is the watermark path and also the run option.
  auto cl = ParseCommandLine({"-w", "-r"});
  EXPECT_TRUE(cl.Run);
  ASSERT_EQ(cl.Actions.size(), 1u);
  EXPECT_EQ(cl.Actions[0].Value, "-r");
  // An option without its value is not recognised.
  cl = ParseCommandLine({"-a"});
  EXPECT_TRUE(cl.Actions.empty());
  // Options are case-sensitive; unknown arguments are ignored.
  cl = ParseCommandLine({"-R", "photo.jpg", "-S"});
  EXPECT_FALSE(cl.Run);
  EXPECT_FALSE(cl.SkipSettings);
  EXPECT_TRUE(cl.Actions.empty());
}

TEST(CommandLine, RecursiveFolderWithOptionalNamePart) {
  auto cl = ParseCommandLine({"-ar", "/pics", "jpg", "-r"});
  ASSERT_EQ(cl.Actions.size(), 1u);
  EXPECT_EQ(cl.Actions[0].Kind, TCommandLineAction::AddFolder);
  EXPECT_EQ(cl.Actions[0].Value, "/pics");
  EXPECT_EQ(cl.Actions[0].NamePart, "jpg");
  EXPECT_TRUE(cl.Run);
  cl = ParseCommandLine({"-ar", "/pics", "-r"});
  ASSERT_EQ(cl.Actions.size(), 1u);
  EXPECT_EQ(cl.Actions[0].NamePart, "");
  EXPECT_TRUE(cl.Run);
}

}  // namespace
}  // namespace tvx
