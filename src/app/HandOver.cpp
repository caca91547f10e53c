#include "app/HandOver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "util/Error.h"
#include "util/Paths.h"
#include "util/Stream.h"

namespace tvx {
namespace {

constexpr uint32_t kVersion = 1;

std::string Absolute(const std::string& path, const std::string& folder) {
  if (path.empty() || path[0] == '/') return path;
  return (std::filesystem::path(folder) / path).lexically_normal().string();
}

void WriteBytes(TStream& stream, const std::string& text) {
  stream.WriteValue<uint32_t>(static_cast<uint32_t>(text.size()));
  stream.Write(text.data(), text.size());
}

std::string ReadBytes(TStream& stream) {
  const uint32_t size = stream.ReadValue<uint32_t>();
  if (size > stream.Remaining()) RaiseError("DecodeHandOver", 2, "Text longer than the message!");
  std::string text(size, '\0');
  stream.ReadBuffer(text.data(), size);
  return text;
}

// Every entry takes at least its length field: a count beyond what remains
// is a damaged message, not a reason to reserve memory.
uint32_t ReadCount(TStream& stream, uint32_t entrySize) {
  const uint32_t count = stream.ReadValue<uint32_t>();
  if (static_cast<uint64_t>(count) * entrySize > static_cast<uint64_t>(stream.Remaining()))
    RaiseError("DecodeHandOver", 3, "Count larger than the message!");
  return count;
}

}  // namespace

bool WantsHandOver(const TCommandLine& cl) {
  // A watermark made on the command line belongs to a window of its own:
  // the message carries files, not layers, and the open window's watermark
  // is the user's work.
  return !cl.Run && !cl.QuitAfterRun && !cl.Help && !cl.Version && !cl.NoGui && cl.Layers.empty();
}

TCommandLine MakeHandOver(const TCommandLine& cl, const std::string& folder) {
  TCommandLine handOver;
  for (TCommandLineAction action : cl.Actions) {
    action.Value = Absolute(action.Value, folder);
    handOver.Actions.push_back(std::move(action));
  }
  for (const std::string& file : cl.Files) handOver.Files.push_back(Absolute(file, folder));
  return handOver;
}

std::string EncodeHandOver(const TCommandLine& handOver) {
  TMemoryStream stream;
  stream.WriteSignature("TVXH");
  stream.WriteValue<uint32_t>(kVersion);
  stream.WriteValue<uint32_t>(static_cast<uint32_t>(handOver.Actions.size()));
  for (const TCommandLineAction& action : handOver.Actions) {
    stream.WriteValue<uint32_t>(static_cast<uint32_t>(action.Kind));
    WriteBytes(stream, action.Value);
    WriteBytes(stream, action.NamePart);
  }
  stream.WriteValue<uint32_t>(static_cast<uint32_t>(handOver.Files.size()));
  for (const std::string& file : handOver.Files) WriteBytes(stream, file);
  const std::vector<uint8_t>& bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

TCommandLine DecodeHandOver(const std::string& message) {
  TMemoryStream stream(message.data(), message.size());
  if (stream.Remaining() < 8 || stream.ReadSignature() != "TVXH")
    RaiseError("DecodeHandOver", 1, "Invalid signature!");
  if (const uint32_t version = stream.ReadValue<uint32_t>(); version != kVersion)
    RaiseError("DecodeHandOver", 4, "Unknown version (" + std::to_string(version) + ")!");
  TCommandLine handOver;
  const uint32_t actions = ReadCount(stream, 12);
  for (uint32_t i = 0; i < actions; ++i) {
    const uint32_t kind = stream.ReadValue<uint32_t>();
    if (kind > static_cast<uint32_t>(TCommandLineAction::AddFolder))
      RaiseError("DecodeHandOver", 5, "Unknown action!");
    std::string value = ReadBytes(stream);
    std::string namePart = ReadBytes(stream);
    handOver.Actions.push_back(
        {static_cast<TCommandLineAction::TKind>(kind), std::move(value), std::move(namePart)});
  }
  const uint32_t files = ReadCount(stream, 4);
  for (uint32_t i = 0; i < files; ++i) handOver.Files.push_back(ReadBytes(stream));
  if (stream.Remaining() != 0) RaiseError("DecodeHandOver", 6, "Bytes after the message!");
  return handOver;
}

std::string HandOverSocketPath(const std::string& runtimeFolder, const std::string& display,
                               const std::string& configFile) {
  // FNV-1a over what tells windows apart; the display and settings file may
  // be long or hold any bytes, a socket address may not.
  uint64_t hash = 1469598103934665603ull;
  for (const std::string& part : {display, std::string(1, '\0'), configFile})
    for (unsigned char c : part) hash = (hash ^ c) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "tarvex-%016llx.socket", static_cast<unsigned long long>(hash));
  return IncludeTrailingPathDelimiter(runtimeFolder) + name;
}

std::string HandOverRuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') return runtime;
  // Another user could have made the folder first, to listen in our place.
  const std::string folder = "/tmp/tarvex-" + std::to_string(getuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 077) != 0)
    return {};
  return folder;
}

}  // namespace tvx
