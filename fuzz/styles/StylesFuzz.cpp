// A styles file from arbitrary bytes: reading ends in one of our errors or
// succeeds; whatever was read survives a write/read round trip, and every
// style read runs on a small layer without growing it beyond the frames'
// ranges (damaged sizes are clamped, so nothing allocates without bound).
#include <cstdint>
#include <cstdlib>

#include "styles/Styles.h"
#include "util/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (tvx::RegisterFilterKinds(), true);
  (void)registered;
  tvx::TStyles styles;
  tvx::TMemoryStream stream(data, size);
  try {
    styles.LoadFromStream(stream);
  } catch (const tvx::EError&) {
  }
  tvx::TMemoryStream saved;
  styles.SaveToStream(saved);
  saved.Seek(0);
  tvx::TStyles again;
  again.LoadFromStream(saved);
  if (again.Items() != styles.Items()) std::abort();

  tvx::TBitmap32 source(12, 8);
  source.Clear(0xFFFFFFFF);
  source.Pixel(0, 0) = 0x80000000;
  for (const auto& [name, params] : styles.Items()) {
    tvx::TBitmap32 target = source;
    int32_t dx = 0, dy = 0;
    tvx::ApplyStyles(source, target, dx, dy, params);
    // stroke 250 outside, glow 50 and a shadow of 50 displaced by 50 at most
    if (dx < 0 || dy < 0 || target.Width() > 12 + 2 * 250 + 4 * 50 + 100 || target.Height() > 8 + 2 * 250 + 4 * 50 + 100)
      std::abort();
  }
  return 0;
}
