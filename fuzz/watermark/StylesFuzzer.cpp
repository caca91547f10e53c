// Arbitrary bytes as a saved-styles file: reading must either succeed or
// raise the program's error, never crash or allocate beyond the input.
#include <cstddef>
#include <cstdint>

#include "styles/Styles.h"
#include "util/Error.h"
#include "util/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvx::TMemoryStream stream(data, size);
  tvx::TStyles styles;
  try {
    styles.LoadFromStream(stream);
  } catch (const tvx::EError&) {
  }
  return 0;
}
