// The settings parser on arbitrary text: it must never fail, every value must
// be readable with every type, and writing the store out and parsing it again
// must give the same text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "util/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvx::TConfig config;
  config.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const char* section : {"GlobalOptions", "S", ""})
    for (const char* key : {"FirstRun", "k", "a"}) {
      config.ReadBool(section, key, true);
      config.ReadInteger(section, key, 7);
      config.ReadFloat(section, key, 1.5);
      config.ReadString(section, key, "");
    }
  config.WriteFloat("S", "k", config.ReadFloat("S", "a", 0.25));
  std::string saved = config.SaveToText();
  tvx::TConfig again;
  again.LoadFromText(saved);
  if (again.SaveToText() != saved) std::abort();
  return 0;
}
