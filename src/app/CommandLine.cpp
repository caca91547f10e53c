#include "app/CommandLine.h"

namespace tvx {

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "-w" && hasValue) {
      cl.Actions.push_back({TCommandLineAction::OpenWatermark, args[i + 1], {}});
    } else if (a == "-r") {
      cl.Run = true;
    } else if (a == "-s") {
      cl.SkipSettings = true;
    } else if (a == "-q") {
      cl.QuitAfterRun = true;
    } else if (a == "-a" && hasValue) {
      cl.Actions.push_back({TCommandLineAction::AddPattern, args[i + 1], {}});
    } else if (a == "-ar" && hasValue) {
      std::string text;
      if (i + 2 < args.size() && !args[i + 2].empty() && args[i + 2][0] != '-') text = args[i + 2];
      cl.Actions.push_back({TCommandLineAction::AddFolder, args[i + 1], text});
    } else if (a == "--help" || a == "-h") {
      cl.Help = true;
    } else if (a == "--version") {
      cl.Version = true;
    } else if (a == "--no-gui") {
      cl.NoGui = true;
    }
  }
  return cl;
}

}  // namespace tvx
