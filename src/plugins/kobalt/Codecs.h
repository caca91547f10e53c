#pragma once

// Picture codecs of the standard plug-in. Internal to kobalt.fp. No function
// here throws or lets a library error end the process; failure is a result.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kobalt {

/// Pixel storage shaped like std::vector<uint32_t>, with two differences that
/// matter for big pictures: growing leaves the new pixels uninitialised (a
/// decoder overwrites them anyway), and Release() hands the block over without
/// a copy; a released block is freed with std::free.
class TPixelBuffer {
 public:
  using value_type = uint32_t;
  using iterator = uint32_t*;
  using const_iterator = const uint32_t*;

  TPixelBuffer() = default;
  TPixelBuffer(std::initializer_list<uint32_t> values);
  TPixelBuffer(const TPixelBuffer& other);
  TPixelBuffer(TPixelBuffer&& other) noexcept { swap(other); }
  TPixelBuffer& operator=(TPixelBuffer other) noexcept {
    swap(other);
    return *this;
  }
  ~TPixelBuffer();

  uint32_t* data() { return data_; }
  const uint32_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint32_t& operator[](size_t i) { return data_[i]; }
  const uint32_t& operator[](size_t i) const { return data_[i]; }
  uint32_t* begin() { return data_; }
  uint32_t* end() { return data_ + size_; }
  const uint32_t* begin() const { return data_; }
  const uint32_t* end() const { return data_ + size_; }

  /// Keeps the first min(old, n) pixels; the rest are uninitialised. False
  /// (and unchanged) when the memory is not there.
  bool TryResize(size_t n) noexcept;
  /// As TryResize, throwing std::bad_alloc on failure.
  void resize(size_t n);
  void assign(size_t n, uint32_t value);
  void clear() noexcept { *this = TPixelBuffer(); }
  void swap(TPixelBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }
  /// Gives up the block (null when empty); the caller frees it with std::free.
  uint32_t* Release() noexcept;

  friend bool operator==(const TPixelBuffer& a, const TPixelBuffer& b);
  friend bool operator==(const TPixelBuffer& a, const std::vector<uint32_t>& b);

 private:
  uint32_t* data_ = nullptr;
  size_t size_ = 0;
};

/// Decoded picture: straight-alpha ARGB (0xAARRGGBB), top-down, no padding.
struct TImage {
  int32_t Width = 0;
  int32_t Height = 0;
  TPixelBuffer Pixels;
};

/// Pictures larger than this many pixels are refused as unreadable.
inline constexpr int64_t kMaxPixels = int64_t(1) << 28;

/// Decodes the first frame of a BMP, JPEG, PNG, TIFF or GIF file (chosen by
/// the file's content, not its name), with the EXIF orientation applied so
/// the picture comes out upright. False when unreadable.
bool DecodeFile(const std::string& path, TImage& image);
/// As DecodeFile, but a JPEG may come out reduced (its longer side still at
/// least minLongSide): enough for a thumbnail, at a fraction of the cost.
bool DecodeFileReduced(const std::string& path, int minLongSide, TImage& image);
/// Width and height (upright) from the headers alone; false when unreadable.
bool ReadPictureSize(const std::string& path, int32_t& width, int32_t& height);
/// Encodes into the format of the path's extension, in any letter case
/// (".bmp", ".jpg", ".jpeg", ".jpe", ".tif", ".tiff", ".png", ".gif"), through
/// a temporary file renamed over the target. False for any other extension
/// or on failure; the target is then untouched.
bool EncodeFile(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height,
                int jpegQuality);
/// Encodes a baseline JPEG in memory (used for EXIF thumbnails).
bool EncodeJpegToMemory(const uint32_t* pixels, int32_t width, int32_t height, int quality,
                        std::vector<uint8_t>& out);

/// The EXIF orientation (1 to 8) of a JPEG held in memory, from its first
/// EXIF APP1 segment; 1 when there is none or it is invalid. Cheap: parses
/// only the TIFF structure of IFD 0.
int JpegOrientation(const uint8_t* data, size_t size);
/// The orientation tag (1 to 8) of IFD 0 of a TIFF structure (the EXIF block
/// without its "Exif\0\0" header); 1 when absent or invalid.
int TiffStructureOrientation(const uint8_t* tiff, size_t size);

}  // namespace kobalt
