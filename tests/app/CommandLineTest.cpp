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

namespace tvx {
namespace {

// The program's own options: what each argument list gives.
struct TOwnCase {
  std::vector<std::string> Args;
  std::string Expect;  // a summary of the parsed line, see Describe
};

std::string Describe(const TCommandLine& cl) {
  std::string d;
  if (cl.Jobs) d += "jobs=" + std::to_string(*cl.Jobs) + " ";
  if (cl.Shard) d += "shard=" + std::to_string(cl.Shard->Index) + "/" + std::to_string(cl.Shard->Count) + " ";
  if (cl.Overwrite) d += "overwrite=" + std::to_string(*cl.Overwrite) + " ";
  if (cl.ConfigFile) d += "config=" + *cl.ConfigFile + " ";
  if (cl.NullSeparated) d += "null ";
  if (cl.JsonProgress) d += "jsonl ";
  if (cl.DryRun) d += "dry ";
  if (cl.KeepGoing) d += "keep ";
  if (cl.Run) d += "run ";
  for (const TCommandLineAction& a : cl.Actions) d += "action" + std::to_string(a.Kind) + "=" + a.Value + " ";
  for (const std::string& e : cl.Errors) d += "error[" + e + "] ";
  return d;
}

class OwnOptions : public ::testing::TestWithParam<TOwnCase> {};

TEST_P(OwnOptions, Parse) { EXPECT_EQ(Describe(ParseCommandLine(GetParam().Args)), GetParam().Expect); }

INSTANTIATE_TEST_SUITE_P(
    CommandLine, OwnOptions,
    ::testing::Values(
        TOwnCase{{"--jobs", "4"}, "jobs=4 "}, TOwnCase{{"--jobs=0"}, "jobs=0 "},
        TOwnCase{{"--jobs", "two"},
                 "error[--jobs takes the number of worker threads (0: one per core), not \"two\"] "},
        TOwnCase{{"--jobs", "-1"},
                 "error[--jobs takes the number of worker threads (0: one per core), not \"-1\"] "},
        TOwnCase{{"--jobs"}, "error[--jobs needs a value] "},
        // the value is taken, not examined as an option
        TOwnCase{{"--files-from", "-r"}, "action3=-r "}, TOwnCase{{"--config", "-r", "-r"}, "config=-r run "},
        TOwnCase{{"--shard", "2/3"}, "shard=2/3 "}, TOwnCase{{"--shard=0/1"}, "shard=0/1 "},
        TOwnCase{{"--shard", "3/3"}, "error[--shard takes I/N with 0 <= I < N, not \"3/3\"] "},
        TOwnCase{{"--shard", "1/0"}, "error[--shard takes I/N with 0 <= I < N, not \"1/0\"] "},
        TOwnCase{{"--shard", "1"}, "error[--shard takes I/N with 0 <= I < N, not \"1\"] "},
        TOwnCase{{"--shard", "a/2"}, "error[--shard takes I/N with 0 <= I < N, not \"a/2\"] "},
        TOwnCase{{"--progress", "jsonl", "--dry-run", "--keep-going", "--null"}, "null jsonl dry keep "},
        TOwnCase{{"--progress", "json"}, "error[--progress knows only \"jsonl\", not \"json\"] "},
        TOwnCase{{"--overwrite", "rename"}, "overwrite=3 "}, TOwnCase{{"--overwrite=ask"}, "overwrite=0 "},
        TOwnCase{{"--overwrite", "skip", "--overwrite", "never"},
                 "overwrite=1 error[--overwrite takes ask, skip, replace or rename, not \"never\"] "},
        // manifests take their place among -a and -ar
        TOwnCase{{"-a", "/p/*.jpg", "--files-from", "list.txt", "-ar", "/q"},
                 "action1=/p/*.jpg action3=list.txt action2=/q "},
        // an unknown "--" option is not this parser's concern
        TOwnCase{{"--jobsx", "2", "-r"}, "run "}));

}  // namespace
}  // namespace tvx
