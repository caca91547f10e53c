#pragma once

#include <string>

#include "app/CommandLine.h"

namespace tvx {

// A second start of the program with windows hands its files to the window
// that is already open (as image viewers do) instead of opening another one.
// What it hands over is a TCommandLine with only the actions and the files,
// every path absolute, sent as one message over a local socket.

/// Whether a start with this command line hands over to an open window. Not
/// with "-r" or "-q": a batch started from a script wants its own run and its
/// own end, and must not end the user's window. Nor with "--text" or
/// "--logo": their watermark opens in a window of its own.
bool WantsHandOver(const TCommandLine& commandLine);

/// The actions and files of commandLine with their relative paths (files,
/// "-w" files, "-a" patterns, "-ar" folders) made absolute against folder,
/// the working folder of the starting process.
TCommandLine MakeHandOver(const TCommandLine& commandLine, const std::string& folder);

/// The message: "TVXH", a version, the actions, the files; paths are kept
/// byte for byte (file names need not be UTF-8).
std::string EncodeHandOver(const TCommandLine& handOver);
/// Reads a message; raises "DecodeHandOver::N" errors on anything damaged,
/// before allocating what a count or length claims.
TCommandLine DecodeHandOver(const std::string& message);

/// Where the open window listens: one socket per user (the runtime folder),
/// display and settings file, so windows with other settings or on another
/// display stay apart. The name is short enough for a socket address.
std::string HandOverSocketPath(const std::string& runtimeFolder, const std::string& display,
                               const std::string& configFile);

/// $XDG_RUNTIME_DIR when it is set and absolute; otherwise /tmp/tarvex-<uid>/,
/// created with mode 0700 and used only when it is a folder of this user's
/// that nobody else can enter. Empty when there is no safe folder.
std::string HandOverRuntimeFolder();

}  // namespace tvx
