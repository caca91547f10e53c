#pragma once

// The ISO base media file structure of HEIF, HEIC and AVIF files, as far as
// metadata needs it: the boxes, the item table of the "meta" box and the
// colour properties. Reading gives the EXIF, XMP and ICC blocks of the
// primary image byte for byte; writing replaces them without touching the
// coded pictures (their data stays where it is, only offsets move). Every
// size and offset read is checked against the bytes that hold it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace modern {

using TBytes = std::vector<uint8_t>;

/// One box: where it starts, how long its header is and how long it is in all.
struct TBox {
  uint32_t Type = 0;
  size_t Offset = 0;
  size_t HeaderSize = 0;
  size_t Size = 0;
  size_t PayloadOffset() const { return Offset + HeaderSize; }
  size_t End() const { return Offset + Size; }
};

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
         uint32_t(uint8_t(s[3]));
}

/// The boxes that fill [begin, end) exactly; false when one is shorter than
/// its header or runs past end (a size of 0 runs to end), or when there are
/// more than `maxBoxes`.
bool ReadBoxes(const uint8_t* data, size_t begin, size_t end, std::vector<TBox>& boxes,
               size_t maxBoxes = 100000);

/// True when the top level and the "meta" box are well formed: every box
/// inside its parent, one "meta" with its item table, no count or size that
/// claims more than the file holds. Decoders are handed only such files.
bool HeifStructureSane(const uint8_t* data, size_t size);

/// Metadata blocks of the primary image. Exif is the TIFF structure (byte
/// order mark first) without the item's offset field or "Exif\0\0" header.
struct THeifMetadata {
  TBytes Exif;
  TBytes Xmp;
  TBytes Icc;
};

/// False when the file has no readable item table.
bool ReadHeifMetadata(const uint8_t* data, size_t size, THeifMetadata& metadata);

/// What a rewrite puts in: a block given replaces the file's own of that
/// kind (an empty one removes it); a block not given is left alone.
struct THeifMetadataChange {
  std::optional<TBytes> Exif;  ///< TIFF structure
  std::optional<TBytes> Xmp;
  std::optional<TBytes> Icc;
};

/// Rewrites the file with the changed blocks; the coded pictures and every
/// other item and property stay as they are. False when the structure is
/// not one this can rewrite safely.
bool WriteHeifMetadata(const TBytes& file, const THeifMetadataChange& change, TBytes& out);

}  // namespace modern
