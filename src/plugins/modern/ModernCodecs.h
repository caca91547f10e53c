#pragma once

// Picture codecs of the modern-formats plug-in: WebP, AVIF, HEIC/HEIF and
// JPEG XL through their Debian libraries. Everything works on bytes in memory;
// only the plug-in class touches files. No function throws or lets a library
// error end the process; failure is a result. Decoded pictures share the
// standard plug-in's pixel block (TImage), size cap and orientation code.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CodecsInternal.h"

namespace modern {

using kobalt::TBytes;
using kobalt::TImage;

enum class TModernFormat { Unknown, Webp, Avif, Heif, Jxl };

/// The format from the first bytes (at least 12 are looked at): the RIFF
/// "WEBP" header, an ISO base media "ftyp" with an AVIF or HEIF brand, or a
/// JPEG XL codestream or container signature.
TModernFormat SniffModern(const uint8_t* data, size_t size);

/// The lower-cased extension of a file name (".webp"), empty when none.
std::string LowerExtension(const std::string& name);
/// The format an extension selects for writing; Unknown for anything else.
TModernFormat FormatOfExtension(const std::string& extension);

/// Whether libheif has an HEVC encoder here (Debian's links x265).
bool CanEncodeHeic();

// Decoders: the first frame (or the primary image) as straight-alpha ARGB,
// 8 bits per channel, upright (EXIF orientation for WebP, the container's
// rotation and mirror for HEIF and AVIF, the codestream's for JPEG XL).
// The size is checked against kobalt::kMaxPixels before any pixel is
// allocated.
bool DecodeWebp(const uint8_t* data, size_t size, TImage& image);
bool DecodeAvif(const uint8_t* data, size_t size, TImage& image);
bool DecodeHeif(const uint8_t* data, size_t size, TImage& image);
bool DecodeJxl(const uint8_t* data, size_t size, TImage& image);
/// A WebP scaled while decoded so its longer side is minLongSide (thumbnails).
bool DecodeWebpReduced(const uint8_t* data, size_t size, int minLongSide, TImage& image);
/// By content, whatever the name says.
bool DecodeModern(const uint8_t* data, size_t size, TImage& image);

// Upright sizes from the headers, per format; false when unreadable or too large.
bool WebpSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
bool AvifSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
bool HeifSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
bool JxlSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
/// By content.
bool ModernPictureSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);

// Encoders. quality 0 to 100 is the JPEG quality setting; 100 stores WebP
// and JPEG XL losslessly. Opaque pictures are stored without alpha.
bool EncodeWebp(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out);
bool EncodeAvif(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out);
bool EncodeHeic(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out);
bool EncodeJxl(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out);
bool EncodeModern(TModernFormat format, const uint32_t* pixels, int32_t width, int32_t height, int quality,
                  TBytes& out);

/// True when no pixel has alpha below 255.
bool IsOpaque(const uint32_t* pixels, size_t count);

}  // namespace modern
