#pragma once

// Picture codecs of the standard plug-in. Internal to kobalt.fp. No function
// here throws or lets a library error end the process; failure is a result.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kobalt {

/// Decoded picture: straight-alpha ARGB (0xAARRGGBB), top-down, no padding.
struct TImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;
};

/// Pictures larger than this many pixels are refused as unreadable.
inline constexpr int64_t kMaxPixels = int64_t(1) << 28;

/// Decodes the first frame of a BMP, JPEG, PNG, TIFF or GIF file (chosen by
/// the file's content, not its name), with the EXIF orientation applied so
/// the picture comes out upright. False when unreadable.
bool DecodeFile(const std::string& path, TImage& image);
/// Width and height (upright) from the headers alone; false when unreadable.
bool ReadPictureSize(const std::string& path, int32_t& width, int32_t& height);
/// Encodes into the format of the path's lower-cased extension (".bmp",
/// ".jpg", ".tif", ".png", ".gif") through a temporary file renamed over the
/// target. False for any other extension or on failure; the target is then
/// untouched.
bool EncodeFile(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height,
                int jpegQuality);
/// Encodes a baseline JPEG in memory (used for EXIF thumbnails).
bool EncodeJpegToMemory(const uint32_t* pixels, int32_t width, int32_t height, int quality,
                        std::vector<uint8_t>& out);

/// The EXIF orientation (1 to 8) of a JPEG held in memory, from its first
/// EXIF APP1 segment; 1 when there is none or it is invalid. Cheap: parses
/// only the TIFF structure of IFD 0.
int JpegOrientation(const uint8_t* data, size_t size);

}  // namespace kobalt
