#pragma once

// Internals of the picture codecs, shared by the format sources, the
// white-box tests and the fuzz targets. Everything works on bytes in memory;
// only Codecs.cpp touches files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Codecs.h"

namespace kobalt {

using TBytes = std::vector<uint8_t>;

enum class TPictureFormat { Unknown, Bmp, Jpeg, Png, Tiff, Gif };

/// The format of a file from its first bytes (at least 12 are looked at).
TPictureFormat SniffFormat(const uint8_t* data, size_t size);

/// Decodes a whole file held in memory, orientation applied.
bool DecodeMemory(const uint8_t* data, size_t size, TImage& image);
/// Upright size from the headers in memory. The bytes may be only the start
/// of the file; false when they are not enough or the picture is unreadable.
bool ReadPictureSizeMemory(const uint8_t* data, size_t size, int32_t& width, int32_t& height);

// Per-format decoders: pixels as stored (top-down), plus the orientation the
// file asks for (1 to 8). No orientation applied here.
bool DecodeJpeg(const uint8_t* data, size_t size, TImage& image);
bool DecodePng(const uint8_t* data, size_t size, TImage& image);
bool DecodeTiff(const uint8_t* data, size_t size, TImage& image, int& orientation);
bool DecodeGif(const uint8_t* data, size_t size, TImage& image);
bool DecodeBmp(const uint8_t* data, size_t size, TImage& image);
/// A JPEG decoded at 1/2, 1/4 or 1/8 of its size in the DCT, the longer side
/// staying at least minLongSide (for thumbnails: far cheaper than the whole).
bool DecodeJpegReduced(const uint8_t* data, size_t size, int minLongSide, TImage& image);

// Stored size from the headers (no orientation applied).
bool JpegSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
bool PngSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
/// False when a chunk before the image data claims more bytes than the file
/// holds after it (checked before libpng allocates for it).
bool PngChunksBeforeImageDataFit(const uint8_t* data, size_t size);
bool TiffSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height, int& orientation);
bool GifSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
bool BmpSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);

// Encoders into memory; false when the picture cannot be stored that way.
bool EncodeBmp(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out);
bool EncodePng(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out);
bool EncodeTiff(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out);
bool EncodeGif(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out);

/// Turns a picture stored with the given EXIF/TIFF orientation upright.
void ApplyOrientation(TImage& image, int orientation);

/// True when width x height is a picture we are willing to hold.
inline bool SaneSize(int64_t width, int64_t height) {
  // each side first, so the product cannot overflow
  return width > 0 && height > 0 && width <= kMaxPixels && height <= kMaxPixels &&
         width * height <= kMaxPixels;
}


}  // namespace kobalt
