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
        // an unknown "--" option is refused, whatever follows it
        TOwnCase{{"--jobsx", "2", "-r"}, "run error[unknown option \"--jobsx\"] "}));

}  // namespace
}  // namespace tvx

namespace tvx {
namespace {

// The watermark options: what each argument list gives, summarised.
std::string Options(const TLayerOptions& o) {
  std::string d;
  if (o.Position) d += " pos=" + *o.Position;
  if (o.Margin) d += " margin=" + std::to_string(*o.Margin).substr(0, 4);
  if (o.Size) d += " size=" + std::to_string(*o.Size).substr(0, 4);
  if (o.Opacity) d += " opacity=" + std::to_string(*o.Opacity).substr(0, 4);
  if (o.Font) d += " font=" + *o.Font;
  if (o.Color) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06X", *o.Color);
    d += std::string(" color=") + hex;
  }
  if (o.Shadow) d += " shadow";
  if (o.Tile) d += " tile";
  if (o.Rotate) d += " rotate=" + std::to_string(*o.Rotate).substr(0, 5);
  return d;
}

std::string DescribeLayers(const TCommandLine& cl) {
  std::string d = "defaults:" + Options(cl.LayerDefaults);
  for (const TLayerRequest& layer : cl.Layers)
    d += std::string(layer.Kind == TLayerRequest::Text ? " | text " : " | logo ") + layer.Value + ":" +
         Options(layer.Options);
  if (cl.SaveWatermark) d += " | save=" + *cl.SaveWatermark;
  if (cl.Describe) d += " | describe=" + *cl.Describe;
  const TOutputOverrides& o = cl.Output;
  if (o.Folder) d += " | output=" + *o.Folder;
  if (o.Placement) d += " | placement=" + std::to_string(*o.Placement);
  if (o.Format) d += " | format=" + *o.Format;
  if (o.Quality) d += " | quality=" + std::to_string(*o.Quality);
  if (o.RemoveOriginals) d += " | remove";
  for (const std::string& e : cl.Errors) d += " | error[" + e + "]";
  if (!cl.Files.empty()) d += " | files=" + std::to_string(cl.Files.size());
  return d;
}

struct TLayerCase {
  std::vector<std::string> Args;
  std::string Expect;
};

class WatermarkOptions : public ::testing::TestWithParam<TLayerCase> {};

TEST_P(WatermarkOptions, Parse) {
  EXPECT_EQ(DescribeLayers(ParseCommandLine(GetParam().Args)), GetParam().Expect);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, WatermarkOptions,
    ::testing::Values(
        // every layer option, before any layer: the defaults
        TLayerCase{{"--position", "top-left", "--margin", "2.5", "--size", "8", "--opacity", "60", "--font",
                    "DejaVu Serif", "--color", "#FF8000", "--shadow", "--tile", "--rotate", "-30", "--text", "t"},
                   "defaults: pos=top-left margin=2.50 size=8.00 opacity=60.0 font=DejaVu Serif color=0080FF "
                   "shadow tile rotate=-30.0 | text t:"},
        // the same with "=": the colour is stored with red in the low byte
        TLayerCase{{"--position=center", "--margin=0", "--size=100", "--opacity=0", "--font=Sans",
                    "--color=#0000ff", "--rotate=45", "--logo=l.png"},
                   "defaults: pos=center margin=0.00 size=100. opacity=0.00 font=Sans color=FF0000 rotate=45.00 | "
                   "logo l.png:"},
        // layer options without a layer change nothing: refused
        TLayerCase{{"-w", "m.tvx", "--opacity", "50"},
                   "defaults: opacity=50.0 | error[the layer options apply to the layers of --text and --logo, "
                   "and there is none]"},
        // after the first layer, options belong to the latest one
        TLayerCase{{"--opacity", "50", "--text", "A", "--position", "top", "--logo", "l.png", "--size", "20",
                    "--tile", "--text", "<FILENAME>", "--shadow"},
                   "defaults: opacity=50.0 | text A: pos=top | logo l.png: size=20.0 tile | text <FILENAME>: "
                   "shadow"},
        // the value of --text is taken as it is, even one that looks like an option
        TLayerCase{{"--text", "--shadow", "--text=-r"}, "defaults: | text --shadow: | text -r:"},
        TLayerCase{{"--save-watermark", "m.TVX", "--describe=d.tvx"}, "defaults: | save=m.TVX | describe=d.tvx"},
        // output overrides
        TLayerCase{{"--output", "/out", "--format", ".PNG", "--quality=90", "--remove-originals"},
                   "defaults: | output=/out | placement=2 | format=png | quality=90 | remove"},
        TLayerCase{{"--in-place", "--format=keep"}, "defaults: | placement=0 | format=keep"},
        TLayerCase{{"--suffix", "--suffix"}, "defaults: | placement=1"},
        // wrong values, each named
        TLayerCase{{"--position", "middle"},
                   "defaults: | error[--position takes top-left, top, top-right, left, center, right, "
                   "bottom-left, bottom or bottom-right, not \"middle\"]"},
        TLayerCase{{"--margin", "51"},
                   "defaults: | error[--margin takes a percentage of the shorter side from 0 to 50, not \"51\"]"},
        TLayerCase{{"--margin", "-1"},
                   "defaults: | error[--margin takes a percentage of the shorter side from 0 to 50, not \"-1\"]"},
        TLayerCase{{"--size", "0"},
                   "defaults: | error[--size takes a percentage of the shorter side above 0, at most 100, not "
                   "\"0\"]"},
        TLayerCase{{"--size", "5%"},
                   "defaults: | error[--size takes a percentage of the shorter side above 0, at most 100, not "
                   "\"5%\"]"},
        TLayerCase{{"--opacity", "101"}, "defaults: | error[--opacity takes a percentage from 0 to 100, not \"101\"]"},
        TLayerCase{{"--opacity", "nan"}, "defaults: | error[--opacity takes a percentage from 0 to 100, not \"nan\"]"},
        TLayerCase{{"--rotate", "inf"}, "defaults: | error[--rotate takes an angle in degrees, not \"inf\"]"},
        TLayerCase{{"--color", "white"}, "defaults: | error[--color takes #RRGGBB, not \"white\"]"},
        TLayerCase{{"--color", "#FFF"}, "defaults: | error[--color takes #RRGGBB, not \"#FFF\"]"},
        TLayerCase{{"--color", "#12345G"}, "defaults: | error[--color takes #RRGGBB, not \"#12345G\"]"},
        TLayerCase{{"--text", ""}, "defaults: | error[--text needs a text]"},
        TLayerCase{{"--logo"}, "defaults: | error[--logo needs a value]"},
        TLayerCase{{"--font="}, "defaults: | error[--font needs a font family]"},
        TLayerCase{{"--save-watermark", "mark.png"},
                   "defaults: | error[--save-watermark takes a file name ending in .tvx, not \"mark.png\"]"},
        TLayerCase{{"--quality", "101"},
                   "defaults: | error[--quality takes a JPEG quality from 0 to 100, not \"101\"]"},
        TLayerCase{{"--output", "/a", "--in-place"},
                   "defaults: | output=/a | placement=2 | error[--in-place contradicts an earlier --output, "
                   "--in-place or --suffix]"},
        TLayerCase{{"--output="}, "defaults: | error[--output needs a folder]"},
        // an unknown long option is named; a flag given a value is unknown too
        TLayerCase{{"--shadows"}, "defaults: | error[unknown option \"--shadows\"]"},
        TLayerCase{{"--tile=yes"}, "defaults: | error[unknown option \"--tile=yes\"]"},
        TLayerCase{{"--Text", "x"}, "defaults: | error[unknown option \"--Text\"] | files=1"},
        // but not when it is the value of -w, nor after "--", nor a short option
        TLayerCase{{"-w", "--odd.tvx", "--", "--file.jpg", "-x"}, "defaults: | files=2"},
        TLayerCase{{"-x", "-wx"}, "defaults:"}));

TEST(CommandLine, LayerValuesComeFromTheLayerThenTheDefaultsThenTheBuiltIns) {
  TCommandLine cl = ParseCommandLine(
      {"--size", "9", "--color", "#000000", "--text", "A", "--size", "2", "--logo", "l.png", "--shadow"});
  ASSERT_TRUE(cl.Errors.empty());
  ASSERT_EQ(cl.Layers.size(), 2u);
  TLayerValues a = ResolveLayerOptions(cl.Layers[0].Options, cl.LayerDefaults);
  TLayerValues b = ResolveLayerOptions(cl.Layers[1].Options, cl.LayerDefaults);
  EXPECT_EQ(a.Size, 2);
  EXPECT_EQ(b.Size, 9);
  EXPECT_EQ(a.Color, 0u);
  EXPECT_EQ(b.Color, 0u);
  EXPECT_FALSE(a.Shadow);
  EXPECT_TRUE(b.Shadow);
  // the built-in defaults
  for (const TLayerValues& v : {a, b}) {
    EXPECT_EQ(v.Position, "bottom-right");
    EXPECT_EQ(v.Margin, 3);
    EXPECT_EQ(v.Opacity, 100);
    EXPECT_EQ(v.Font, "");
    EXPECT_FALSE(v.Tile);
    EXPECT_EQ(v.Rotate, 0);
  }
  TLayerValues plain = ResolveLayerOptions({}, {});
  EXPECT_EQ(plain.Size, 5);
  EXPECT_EQ(plain.Color, 0x00FFFFFFu);
}

TEST(CommandLine, RelativeLogoAndOutputFolderBecomeAbsolute) {
  TCommandLine cl = ParseCommandLine({"--logo", "logo.png", "--text", "t.png", "--output", "out", "pic.jpg"});
  ResolveFiles(cl, "/home/me");
  EXPECT_EQ(cl.Layers[0].Value, "/home/me/logo.png");
  EXPECT_EQ(cl.Layers[1].Value, "t.png") << "a text is not a path";
  EXPECT_EQ(*cl.Output.Folder, "/home/me/out");
  EXPECT_EQ(cl.Files[0], "/home/me/pic.jpg");
}

}  // namespace
}  // namespace tvx
