#include "app/CommandLine.h"

#include <filesystem>

namespace tvx {

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
    } else if (a == "--help" || a == "-h") {
      cl.Help = true;
    } else if (a == "--version") {
      cl.Version = true;
    } else if (a == "--no-gui") {
      cl.NoGui = true;
    } else if (a == "--jpeg-keep-blocks") {
      cl.JpegKeepBlocks = true;
    } else if (a == "--config" && hasValue) {
      isValue[i + 1] = true;  // the program reads the settings file's name itself
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
