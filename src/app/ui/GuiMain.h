#pragma once

#include <string>

#include "app/CommandLine.h"

namespace tvx {

/// Runs the program with its windows: creates the application, the session
/// and the main window in the start-up order, processes the command line
/// once the main window shows, and runs the message loop until the main
/// window closes. Returns the process's exit status.
int RunWithWindows(int argc, char** argv, const TCommandLine& commandLine, const std::string& configFileName);

}  // namespace tvx
