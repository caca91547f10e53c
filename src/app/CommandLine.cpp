#include "app/CommandLine.h"

#include <charconv>
#include <filesystem>
#include <string_view>

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
    } else if (!isValue[i] && !a.empty() && a[0] != '-') {
      cl.Files.push_back(a);
    }
  }
  return cl;
}

void ResolveFiles(TCommandLine& cl, const std::string& folder) {
  namespace fs = std::filesystem;
  for (std::string& file : cl.Files) {
    fs::path path(file);
    if (path.is_relative()) file = (fs::path(folder) / path).lexically_normal().string();
  }
}

}  // namespace tvx
