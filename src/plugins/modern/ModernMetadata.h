#pragma once

// EXIF, ICC and XMP of the modern formats held in memory, read and replaced
// without touching the coded pictures: WebP chunks through libwebpmux, the
// item table of HEIF and AVIF (IsoBmff.h), the boxes of JPEG XL.

#include <cstddef>
#include <cstdint>

#include "IsoBmff.h"
#include "ModernCodecs.h"

namespace modern {

/// The blocks of a file (EXIF as a TIFF structure). False when the file is
/// not one of the four formats or its structure is unreadable.
bool ReadModernMetadata(const uint8_t* data, size_t size, THeifMetadata& metadata);

/// The file with the changed blocks. A JPEG XL keeps its colour description
/// (it lives in the coded picture), so a changed ICC profile is not written
/// there; everything else is. False when the structure cannot be rewritten.
bool WriteModernMetadata(const TBytes& file, const THeifMetadataChange& change, TBytes& out);

/// The EXIF orientation a reader of the format honours for the stored
/// pixels: WebP's EXIF tag; 1 for the others, which carry their rotation in
/// the container or codestream.
int ExifOrientationHonoured(const uint8_t* data, size_t size);

}  // namespace modern
