#pragma once

#include <string>

namespace tvx {

/// The folder of the running executable (links resolved), with a trailing "/".
/// Empty when it cannot be determined.
std::string ProgramFolder();

/// Where the program keeps its own files (".config", ".styles"): the program
/// folder when it is writable (a portable install, the build tree), otherwise
/// $XDG_CONFIG_HOME/tarvex/ (default ~/.config/tarvex/), created when missing.
/// Always ends with "/".
std::string UserDataFolder();

/// The same choice for a given program folder; exposed for tests.
std::string ChooseUserDataFolder(const std::string& programFolder);

/// UserDataFolder() + ".config".
std::string ConfigFileName();

}  // namespace tvx
