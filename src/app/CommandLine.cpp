#include "app/CommandLine.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "output/OutputSettings.h"
#include "util/Paths.h"

namespace tvx {
namespace {

// A whole decimal number in [minimum, maximum], nothing else.
std::optional<int32_t> ReadNumber(std::string_view text, int32_t minimum, int32_t maximum) {
  int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum)
    return std::nullopt;
  return value;
}

// A finite decimal number in [minimum, maximum], nothing else ("5", "2.5").
std::optional<double> ReadReal(std::string_view text, double minimum, double maximum) {
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < minimum ||
      value > maximum)
    return std::nullopt;
  return value;
}

// "#RRGGBB" as a system colour value (red in the low byte).
std::optional<uint32_t> ReadColor(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  uint32_t rgb = 0;
  auto [end, error] = std::from_chars(text.data() + 1, text.data() + 7, rgb, 16);
  if (error != std::errc() || end != text.data() + 7) return std::nullopt;
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// The options given before the first "--text" or "--logo" are every layer's
// defaults; after it, they belong to the most recent one.
TLayerOptions& CurrentLayer(TCommandLine& cl) {
  return cl.Layers.empty() ? cl.LayerDefaults : cl.Layers.back().Options;
}

// A layer option with a number in [minimum, maximum].
template <std::optional<double> TLayerOptions::*Field>
void SetLayerReal(TCommandLine& cl, const std::string& value, const char* name, double minimum, double maximum,
                  const char* what) {
  if (auto number = ReadReal(value, minimum, maximum))
    CurrentLayer(cl).*Field = *number;
  else
    cl.Errors.push_back(std::string(name) + " takes " + what + ", not \"" + value + "\"");
}

// One placement for the run: a second, different one is an error rather than
// a silent choice between writing beside the sources and replacing them.
void SetPlacement(TCommandLine& cl, int32_t placement, const char* name) {
  if (cl.Output.Placement && *cl.Output.Placement != placement)
    cl.Errors.push_back(std::string(name) + " contradicts an earlier --output, --in-place or --suffix");
  else
    cl.Output.Placement = placement;
}

using TApply = void (*)(TCommandLine& commandLine, const std::string& value);

// The program's own options, one row each: name, whether it takes a value,
// what it does with it.
struct TOwnOption {
  const char* Name;
  bool TakesValue;
  TApply Apply;
};

constexpr TOwnOption kOwnOptions[] = {
    {"--help", false, [](TCommandLine& cl, const std::string&) { cl.Help = true; }},
    {"-h", false, [](TCommandLine& cl, const std::string&) { cl.Help = true; }},
    {"--version", false, [](TCommandLine& cl, const std::string&) { cl.Version = true; }},
    {"--no-gui", false, [](TCommandLine& cl, const std::string&) { cl.NoGui = true; }},
    {"--config", true, [](TCommandLine& cl, const std::string& v) { cl.ConfigFile = v; }},
    {"--jobs", true,
     [](TCommandLine& cl, const std::string& v) {
       if (auto jobs = ReadNumber(v, 0, 1024))
         cl.Jobs = *jobs;
       else
         cl.Errors.push_back("--jobs takes the number of worker threads (0: one per core), not \"" + v +
                             "\"");
     }},
    {"--shard", true,
     [](TCommandLine& cl, const std::string& v) {
       const size_t slash = v.find('/');
       std::optional<int32_t> count = slash == std::string::npos
                                          ? std::nullopt
                                          : ReadNumber(std::string_view(v).substr(slash + 1), 1, 1 << 30);
       std::optional<int32_t> index =
           count ? ReadNumber(std::string_view(v).substr(0, slash), 0, *count - 1) : std::nullopt;
       if (index && count)
         cl.Shard = TShard{*index, *count};
       else
         cl.Errors.push_back("--shard takes I/N with 0 <= I < N, not \"" + v + "\"");
     }},
    {"--files-from", true,
     [](TCommandLine& cl, const std::string& v) {
       cl.Actions.push_back({TCommandLineAction::AddManifest, v, {}});
     }},
    {"--null", false, [](TCommandLine& cl, const std::string&) { cl.NullSeparated = true; }},
    {"--progress", true,
     [](TCommandLine& cl, const std::string& v) {
       if (v == "jsonl")
         cl.JsonProgress = true;
       else
         cl.Errors.push_back("--progress knows only \"jsonl\", not \"" + v + "\"");
     }},
    {"--dry-run", false, [](TCommandLine& cl, const std::string&) { cl.DryRun = true; }},
    {"--keep-going", false, [](TCommandLine& cl, const std::string&) { cl.KeepGoing = true; }},
    {"--jpeg-keep-blocks", false, [](TCommandLine& cl, const std::string&) { cl.JpegKeepBlocks = true; }},
    {"--overwrite", true,
     [](TCommandLine& cl, const std::string& v) {
       // in the order of the policy's stored values
       static const char* const kPolicies[] = {"ask", "skip", "replace", "rename"};
       for (int32_t i = 0; i < 4; ++i)
         if (v == kPolicies[i]) {
           cl.Overwrite = i;
           return;
         }
       cl.Errors.push_back("--overwrite takes ask, skip, replace or rename, not \"" + v + "\"");
     }},
    // A watermark made on the command line.
    {"--text", true,
     [](TCommandLine& cl, const std::string& v) {
       if (v.empty())
         cl.Errors.push_back("--text needs a text");
       else
         cl.Layers.push_back({TLayerRequest::Text, v, {}});
     }},
    {"--logo", true,
     [](TCommandLine& cl, const std::string& v) {
       if (v.empty())
         cl.Errors.push_back("--logo needs a picture file");
       else
         cl.Layers.push_back({TLayerRequest::Logo, v, {}});
     }},
    {"--position", true,
     [](TCommandLine& cl, const std::string& v) {
       for (const char* position : kPositions)
         if (v == position) {
           CurrentLayer(cl).Position = v;
           return;
         }
       cl.Errors.push_back("--position takes top-left, top, top-right, left, center, right, bottom-left, "
                           "bottom or bottom-right, not \"" + v + "\"");
     }},
    {"--margin", true,
     [](TCommandLine& cl, const std::string& v) {
       SetLayerReal<&TLayerOptions::Margin>(cl, v, "--margin", 0, 50,
                                            "a percentage of the shorter side from 0 to 50");
     }},
    {"--size", true,
     [](TCommandLine& cl, const std::string& v) {
       SetLayerReal<&TLayerOptions::Size>(cl, v, "--size", 0.01, 100,
                                          "a percentage of the shorter side above 0, at most 100");
     }},
    {"--opacity", true,
     [](TCommandLine& cl, const std::string& v) {
       SetLayerReal<&TLayerOptions::Opacity>(cl, v, "--opacity", 0, 100, "a percentage from 0 to 100");
     }},
    {"--rotate", true,
     [](TCommandLine& cl, const std::string& v) {
       SetLayerReal<&TLayerOptions::Rotate>(cl, v, "--rotate", -1e6, 1e6, "an angle in degrees");
     }},
    {"--font", true,
     [](TCommandLine& cl, const std::string& v) {
       if (v.empty())
         cl.Errors.push_back("--font needs a font family");
       else
         CurrentLayer(cl).Font = v;
     }},
    {"--color", true,
     [](TCommandLine& cl, const std::string& v) {
       if (auto color = ReadColor(v))
         CurrentLayer(cl).Color = *color;
       else
         cl.Errors.push_back("--color takes #RRGGBB, not \"" + v + "\"");
     }},
    {"--shadow", false, [](TCommandLine& cl, const std::string&) { CurrentLayer(cl).Shadow = true; }},
    {"--tile", false, [](TCommandLine& cl, const std::string&) { CurrentLayer(cl).Tile = true; }},
    {"--save-watermark", true,
     [](TCommandLine& cl, const std::string& v) {
       // only such a name opens again with -w
       if (v.size() < 5 || LowerFileExt(v) != ".tvx")
         cl.Errors.push_back("--save-watermark takes a file name ending in .tvx, not \"" + v + "\"");
       else
         cl.SaveWatermark = v;
     }},
    {"--describe", true,
     [](TCommandLine& cl, const std::string& v) {
       if (v.empty())
         cl.Errors.push_back("--describe needs a watermark file");
       else
         cl.Describe = v;
     }},
    // Output settings for this run only.
    {"--output", true,
     [](TCommandLine& cl, const std::string& v) {
       if (v.empty()) {
         cl.Errors.push_back("--output needs a folder");
         return;
       }
       cl.Output.Folder = v;
       SetPlacement(cl, plOtherFolder, "--output");
     }},
    {"--in-place", false,
     [](TCommandLine& cl, const std::string&) { SetPlacement(cl, plSourceFolderOverwrite, "--in-place"); }},
    {"--suffix", false,
     [](TCommandLine& cl, const std::string&) { SetPlacement(cl, plSourceFolderRename, "--suffix"); }},
    {"--format", true,
     [](TCommandLine& cl, const std::string& v) {
       // ".PNG" and "png" name the same format; which ones exist the plug-ins say
       std::string format = v.starts_with('.') ? v.substr(1) : v;
       for (char& c : format)
         if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
       if (format.empty())
         cl.Errors.push_back("--format needs an extension or keep");
       else
         cl.Output.Format = format;
     }},
    {"--quality", true,
     [](TCommandLine& cl, const std::string& v) {
       if (auto quality = ReadNumber(v, 0, 100))
         cl.Output.Quality = *quality;
       else
         cl.Errors.push_back("--quality takes a JPEG quality from 0 to 100, not \"" + v + "\"");
     }},
    {"--remove-originals", false, [](TCommandLine& cl, const std::string&) { cl.Output.RemoveOriginals = true; }},
};

// Applies the own option at args[i], if it is one; returns how many
// arguments it used (0: not an own option).
size_t ApplyOwnOption(TCommandLine& cl, const std::vector<std::string>& args, size_t i) {
  const std::string& a = args[i];
  for (const TOwnOption& option : kOwnOptions) {
    const std::string_view name = option.Name;
    if (a == name) {
      if (!option.TakesValue) {
        option.Apply(cl, {});
        return 1;
      }
      if (i + 1 >= args.size()) {
        cl.Errors.push_back(std::string(name) + " needs a value");
        return 1;
      }
      option.Apply(cl, args[i + 1]);
      return 2;
    }
    if (option.TakesValue && a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
        a[name.size()] == '=') {
      option.Apply(cl, a.substr(name.size() + 1));
      return 1;
    }
  }
  return 0;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine cl;
  // Arguments taken as an option's value: examined as options in their own
  // turn, but never files ("-ar /pics jpg" adds no folder /pics twice).
  std::vector<bool> isValue(args.size(), false);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "-w" && hasValue) {
      cl.Actions.push_back({TCommandLineAction::OpenWatermark, args[i + 1], {}});
      isValue[i + 1] = true;
    } else if (a == "-r") {
      cl.Run = true;
    } else if (a == "-s") {
      cl.SkipSettings = true;
    } else if (a == "-q") {
      cl.QuitAfterRun = true;
    } else if (a == "-a" && hasValue) {
      cl.Actions.push_back({TCommandLineAction::AddPattern, args[i + 1], {}});
      isValue[i + 1] = true;
    } else if (a == "-ar" && hasValue) {
      std::string text;
      if (i + 2 < args.size() && !args[i + 2].empty() && args[i + 2][0] != '-') {
        text = args[i + 2];
        isValue[i + 2] = true;
      }
      cl.Actions.push_back({TCommandLineAction::AddFolder, args[i + 1], text});
      isValue[i + 1] = true;
    } else if (size_t used = ApplyOwnOption(cl, args, i)) {
      i += used - 1;  // an own option's value is neither an option nor a file
    } else if (a == "--") {
      if (!isValue[i]) {
        cl.Files.insert(cl.Files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
        break;
      }
    } else if (!isValue[i] && a.starts_with("--")) {
      cl.Errors.push_back("unknown option \"" + a + "\"");
    } else if (!isValue[i] && !a.empty() && a[0] != '-') {
      cl.Files.push_back(a);
    }
  }
  // Layer options without a layer would change nothing, not even the
  // watermark of -w: said, rather than a run that silently goes without them.
  const TLayerOptions& d = cl.LayerDefaults;
  if (cl.Layers.empty() && (d.Position || d.Margin || d.Size || d.Opacity || d.Font || d.Color || d.Shadow ||
                            d.Tile || d.Rotate))
    cl.Errors.push_back("the layer options apply to the layers of --text and --logo, and there is none");
  return cl;
}

TLayerValues ResolveLayerOptions(const TLayerOptions& layer, const TLayerOptions& defaults) {
  TLayerValues v;
  auto pick = [](const auto& own, const auto& fallback, auto& out) {
    if (own)
      out = *own;
    else if (fallback)
      out = *fallback;
  };
  pick(layer.Position, defaults.Position, v.Position);
  pick(layer.Margin, defaults.Margin, v.Margin);
  pick(layer.Size, defaults.Size, v.Size);
  pick(layer.Opacity, defaults.Opacity, v.Opacity);
  pick(layer.Font, defaults.Font, v.Font);
  pick(layer.Color, defaults.Color, v.Color);
  pick(layer.Shadow, defaults.Shadow, v.Shadow);
  pick(layer.Tile, defaults.Tile, v.Tile);
  pick(layer.Rotate, defaults.Rotate, v.Rotate);
  return v;
}

void ResolveFiles(TCommandLine& cl, const std::string& folder) {
  namespace fs = std::filesystem;
  auto resolve = [&](std::string& file) {
    fs::path path(file);
    if (path.is_relative()) file = (fs::path(folder) / path).lexically_normal().string();
  };
  for (std::string& file : cl.Files) resolve(file);
  // read or written by the window a second start hands them to, too
  for (TLayerRequest& layer : cl.Layers)
    if (layer.Kind == TLayerRequest::Logo) resolve(layer.Value);
  if (cl.Output.Folder) resolve(*cl.Output.Folder);
}

}  // namespace tvx
