// Stream strings from arbitrary bytes: read until the first error, which must
// be one of ours; every string read must come back as valid UTF-8 and survive
// a write/read round trip.
#include <cstdint>
#include <cstdlib>

#include "util/Error.h"
#include "util/Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvx::TMemoryStream stream(data, size);
  try {
    while (stream.Remaining() > 0) {
      std::string text = tvx::ReadString(stream);
      if (!tvx::IsValidUtf8(text)) std::abort();
      tvx::TMemoryStream copy;
      tvx::WriteString(copy, text);
      copy.Seek(0);
      if (tvx::ReadString(copy) != text || copy.Remaining() != 0) std::abort();
    }
  } catch (const tvx::EError&) {
  }
  return 0;
}
