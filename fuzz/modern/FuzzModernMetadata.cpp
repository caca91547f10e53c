// Arbitrary bytes into the metadata reading and rewriting of modern.fp (WebP
// chunks, the HEIF/AVIF item table, JPEG XL boxes): it must refuse or
// rewrite, and what it writes must read back with the blocks it was given.

#include <cstddef>
#include <cstdint>

#include "ModernMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace modern;
  THeifMetadata blocks;
  if (!ReadModernMetadata(data, size, blocks)) return 0;
  modern::HeifStructureSane(data, size);
  const TBytes file(data, data + size);
  THeifMetadataChange change;
  change.Exif = TBytes{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};
  change.Xmp = TBytes{'<', 'x', '/', '>'};
  TBytes out;
  if (!WriteModernMetadata(file, change, out)) return 0;
  THeifMetadata back;
  // A rewrite of a file we could read must itself be readable, with our blocks.
  if (!ReadModernMetadata(out.data(), out.size(), back)) __builtin_trap();
  if (back.Exif != *change.Exif || back.Xmp != *change.Xmp) __builtin_trap();
  return 0;
}
