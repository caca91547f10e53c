#pragma once

#include <string>

namespace tvx {

// ---- splitting paths ----------------------------------------------------------
// Paths use "/" only. The name part is what follows the last "/" (the whole
// path when there is none); its extension runs from its last "." to its end.

/// The folder part with its trailing "/" ("/pics/a.jpg" -> "/pics/", "/a" ->
/// "/"); empty when the path has no "/".
std::string ExtractFilePath(const std::string& path);
/// The name part ("/pics/a.jpg" -> "a.jpg"); empty when the path ends with "/".
std::string ExtractFileName(const std::string& path);
/// The extension of the name part, dot included, in its own letter case
/// ("/pics/a.tar.GZ" -> ".GZ", "/pics/.hidden" -> ".hidden"); empty when the
/// name part has no ".".
std::string ExtractFileExt(const std::string& path);
/// ExtractFileExt in lower case (ASCII letters only), for comparing
/// extensions: ".JPG" -> ".jpg".
std::string LowerFileExt(const std::string& path);
/// The name part without its extension ("/a/b.tar.gz" -> "b.tar", "/a/.hidden"
/// -> ""); the whole name part when it has no ".".
std::string ExtractFileNameWithoutExt(const std::string& path);
/// folder with a "/" at its end; an empty folder stays empty (it stands for
/// the current folder, and "/" would be the root).
std::string IncludeTrailingPathDelimiter(std::string folder);

// ---- the program's folders ----------------------------------------------------

/// The file that marks an installed program folder: the settings never go
/// there, also for a user who may write to it (root in /usr).
inline constexpr const char* kInstalledMarker = "installed";

/// The folder of the running executable (links resolved), with a trailing "/".
/// Empty when it cannot be determined.
std::string ProgramFolder();

/// Where the program keeps its own files (".config", ".styles"): the program
/// folder when it is writable (a portable install, the build tree) and holds
/// no file named kInstalledMarker, otherwise $XDG_CONFIG_HOME/tarvex/
/// (default ~/.config/tarvex/), created when missing. Always ends with "/".
std::string UserDataFolder();

/// The same choice for a given program folder; exposed for tests.
std::string ChooseUserDataFolder(const std::string& programFolder);

/// UserDataFolder() + ".config".
std::string ConfigFileName();

}  // namespace tvx
