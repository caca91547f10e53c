// The EXIF orientation of JPEG files and the eight ways to turn a picture
// upright.

#include <algorithm>
#include <cstring>

#include "Codecs.h"
#include "CodecsInternal.h"

namespace kobalt {
namespace {

uint16_t Read16(const uint8_t* p, bool little) {
  return little ? static_cast<uint16_t>(p[0] | p[1] << 8) : static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t Read32(const uint8_t* p, bool little) {
  return little ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24)
                : (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

}  // namespace

int TiffStructureOrientation(const uint8_t* t, size_t size) {
  if (size < 8) return 1;
  bool little;
  if (t[0] == 'I' && t[1] == 'I')
    little = true;
  else if (t[0] == 'M' && t[1] == 'M')
    little = false;
  else
    return 1;
  if (Read16(t + 2, little) != 42) return 1;
  uint32_t ifd = Read32(t + 4, little);
  if (ifd < 8 || ifd > size - 2) return 1;
  uint32_t count = Read16(t + ifd, little);
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = size_t(ifd) + 2 + size_t(i) * 12;
    if (entry + 12 > size) return 1;
    if (Read16(t + entry, little) != 0x0112) continue;
    uint16_t type = Read16(t + entry + 2, little);
    uint32_t n = Read32(t + entry + 4, little);
    if (type != 3 || n < 1) return 1;  // SHORT, held inline
    uint16_t value = Read16(t + entry + 8, little);
    return value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}

int JpegOrientation(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 1;
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (data[pos] != 0xFF) return 1;
    while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes
    if (pos + 3 > size) return 1;
    uint8_t marker = data[pos++];
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xDA || marker == 0xD9) return 1;  // no EXIF before the picture data
    size_t length = size_t(data[pos]) << 8 | data[pos + 1];
    if (length < 2 || pos + length > size) return 1;
    const uint8_t* payload = data + pos + 2;
    size_t payloadSize = length - 2;
    if (marker == 0xE1 && payloadSize >= 6 && std::memcmp(payload, "Exif\0\0", 6) == 0)
      return TiffStructureOrientation(payload + 6, payloadSize - 6);
    pos += length;
  }
  return 1;
}

void ApplyOrientation(TImage& image, int orientation) {
  if (orientation < 2 || orientation > 8) return;
  const size_t w = static_cast<size_t>(image.Width), h = static_cast<size_t>(image.Height);
  uint32_t* p = image.Pixels.data();
  switch (orientation) {
    case 2:  // mirrored left to right
      for (size_t y = 0; y < h; ++y) std::reverse(p + y * w, p + (y + 1) * w);
      return;
    case 3:  // turned by 180 degrees
      std::reverse(p, p + w * h);
      return;
    case 4:  // mirrored top to bottom
      for (size_t y = 0; y < h / 2; ++y) std::swap_ranges(p + y * w, p + (y + 1) * w, p + (h - 1 - y) * w);
      return;
    default: break;
  }
  // 5 to 8 swap the axes: output pixel (x, y) comes from stored column sx and
  // row sy, where sx runs along the output rows and sy along its columns.
  const bool flipX = orientation == 7 || orientation == 8;  // stored columns read right to left
  const bool flipY = orientation == 6 || orientation == 7;  // stored rows read bottom to top
  const size_t ow = h, oh = w;
  TPixelBuffer out;
  if (!out.TryResize(ow * oh)) return;
  constexpr size_t kBlock = 64;  // keeps both sides of the transpose in cache
  for (size_t by = 0; by < oh; by += kBlock)
    for (size_t bx = 0; bx < ow; bx += kBlock)
      for (size_t y = by; y < std::min(by + kBlock, oh); ++y) {
        size_t sx = flipX ? w - 1 - y : y;
        uint32_t* row = out.data() + y * ow;
        for (size_t x = bx; x < std::min(bx + kBlock, ow); ++x) {
          size_t sy = flipY ? h - 1 - x : x;
          row[x] = p[sy * w + sx];
        }
      }
  image.Pixels.swap(out);
  image.Width = static_cast<int32_t>(ow);
  image.Height = static_cast<int32_t>(oh);
}

}  // namespace kobalt
