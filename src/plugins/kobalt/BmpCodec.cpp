// BMP, a codec of our own. Reads OS/2 and Windows headers (core, info,
// V4, V5), 1/4/8/16/24/32 bits, RLE4/RLE8 and bit fields, both row orders;
// writes 32-bit pixels with an alpha mask in a V4 header.

#include <algorithm>
#include <array>
#include <cstring>

#include "CodecsInternal.h"

namespace kobalt {
namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(TBytes& b, uint16_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(TBytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

struct THeader {
  uint32_t HeaderSize = 0;
  int64_t Width = 0;
  int64_t Height = 0;  // positive: rows bottom-up
  bool TopDown = false;
  uint16_t Bits = 0;
  uint32_t Compression = kRgb;
  uint32_t ColoursUsed = 0;
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t PaletteOffset = 0;
  size_t PaletteEntrySize = 4;
  size_t PixelOffset = 0;
};

bool ParseHeader(const uint8_t* d, size_t size, THeader& h) {
  if (size < 14 + 12 || d[0] != 'B' || d[1] != 'M') return false;
  h.PixelOffset = Le32(d + 10);
  h.HeaderSize = Le32(d + 14);
  if (h.HeaderSize < 12 || h.HeaderSize > size - 14) return false;
  const uint8_t* ih = d + 14;
  if (h.HeaderSize == 12) {  // OS/2 1.x core header
    h.Width = Le16(ih + 4);
    h.Height = static_cast<int16_t>(Le16(ih + 6));
    h.Bits = Le16(ih + 10);
    h.PaletteEntrySize = 3;
  } else {
    if (h.HeaderSize < 16) return false;
    h.Width = static_cast<int32_t>(Le32(ih + 4));
    h.Height = static_cast<int32_t>(Le32(ih + 8));
    h.Bits = Le16(ih + 14);
    if (h.HeaderSize >= 20) h.Compression = Le32(ih + 16);
    if (h.HeaderSize >= 36) h.ColoursUsed = Le32(ih + 32);
    if (h.HeaderSize >= 52)
      for (int i = 0; i < 3; ++i) h.Masks[i] = Le32(ih + 40 + 4 * i);
    if (h.HeaderSize >= 56) h.Masks[3] = Le32(ih + 52);
  }
  if (h.Height < 0) {
    h.TopDown = true;
    h.Height = -h.Height;
  }
  if (!SaneSize(h.Width, h.Height)) return false;
  size_t afterHeader = 14 + h.HeaderSize;
  // An info header of 40 bytes carries its masks after itself.
  if (h.HeaderSize == 40 && (h.Compression == kBitFields || h.Compression == kAlphaBitFields)) {
    size_t n = h.Compression == kAlphaBitFields ? 4 : 3;
    if (afterHeader + 4 * n > size) return false;
    for (size_t i = 0; i < n; ++i) h.Masks[i] = Le32(d + afterHeader + 4 * i);
    afterHeader += 4 * n;
  }
  h.PaletteOffset = afterHeader;
  // OS/2 2.x headers (16 to 64 bytes) use Huffman and RLE24 under codes 3 and 4.
  if (h.HeaderSize > 12 && h.HeaderSize < 40 && h.Compression > kRle4) return false;
  switch (h.Compression) {
    case kRgb:
      if (h.Bits != 1 && h.Bits != 4 && h.Bits != 8 && h.Bits != 16 && h.Bits != 24 && h.Bits != 32)
        return false;
      break;
    case kRle8:
      if (h.Bits != 8) return false;
      break;
    case kRle4:
      if (h.Bits != 4) return false;
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (h.Bits != 16 && h.Bits != 32) return false;
      break;
    default: return false;
  }
  if ((h.Compression == kRle8 || h.Compression == kRle4) && h.TopDown) return false;
  return true;
}

// A bit-field channel: shift and width of its mask, scaled to 8 bits.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;
  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (!mask) return;
    while (!((mask >> Shift) & 1)) ++Shift;
    Max = mask >> Shift;
  }
  uint32_t Get(uint32_t v) const {
    if (!Mask) return 255;
    return static_cast<uint32_t>((uint64_t((v & Mask) >> Shift) * 255 + Max / 2) / Max);
  }
};

}  // namespace

bool BmpSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  THeader h;
  if (!ParseHeader(data, size, h)) return false;
  width = static_cast<int32_t>(h.Width);
  height = static_cast<int32_t>(h.Height);
  return true;
}

bool DecodeBmp(const uint8_t* data, size_t size, TImage& image) {
  THeader h;
  if (!ParseHeader(data, size, h)) return false;
  const size_t width = static_cast<size_t>(h.Width), height = static_cast<size_t>(h.Height);

  std::array<uint32_t, 256> palette;
  palette.fill(0xFF000000u);  // indices past the palette come out black
  if (h.Bits <= 8) {
    size_t entries = h.ColoursUsed ? h.ColoursUsed : size_t(1) << h.Bits;
    entries = std::min<size_t>(entries, 256);
    size_t room = h.PixelOffset > h.PaletteOffset ? (h.PixelOffset - h.PaletteOffset) : 0;
    if (h.PixelOffset <= size) entries = std::min(entries, room / h.PaletteEntrySize);
    for (size_t i = 0; i < entries; ++i) {
      size_t at = h.PaletteOffset + i * h.PaletteEntrySize;
      if (at + 3 > size) break;
      palette[i] = 0xFF000000u | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 1]) << 8 | data[at];
    }
  }
  if (h.PixelOffset >= size) return false;
  const uint8_t* pixels = data + h.PixelOffset;
  const size_t available = size - h.PixelOffset;

  image.Width = static_cast<int32_t>(width);
  image.Height = static_cast<int32_t>(height);
  auto rowOut = [&](size_t fileRow) {
    size_t y = h.TopDown ? fileRow : height - 1 - fileRow;
    return image.Pixels.data() + y * width;
  };

  if (h.Compression == kRle8 || h.Compression == kRle4) {
    // Pixels the runs skip stay transparent.
    image.Pixels.assign(width * height, 0);
    size_t x = 0, row = 0, pos = 0;
    const bool four = h.Compression == kRle4;
    auto put = [&](uint8_t index) {
      if (x < width && row < height) rowOut(row)[x] = palette[index];
      ++x;
    };
    while (pos + 1 < available && row < height) {
      uint8_t count = pixels[pos], value = pixels[pos + 1];
      pos += 2;
      if (count > 0) {
        for (unsigned i = 0; i < count; ++i) put(four ? (i & 1 ? value & 15 : value >> 4) : value);
      } else if (value == 0) {  // end of line
        x = 0;
        ++row;
      } else if (value == 1) {  // end of picture
        break;
      } else if (value == 2) {  // delta
        if (pos + 1 >= available) break;
        x += pixels[pos];
        row += pixels[pos + 1];
        pos += 2;
      } else {  // absolute run of `value` pixels, padded to 16 bits
        size_t bytes = four ? (value + 1) / 2 : value;
        if (pos + bytes > available) break;
        for (unsigned i = 0; i < value; ++i)
          put(four ? (i & 1 ? pixels[pos + i / 2] & 15 : pixels[pos + i / 2] >> 4) : pixels[pos + i]);
        pos += (bytes + 1) & ~size_t(1);
      }
    }
    return true;
  }

  const size_t stride = (width * h.Bits + 31) / 32 * 4;
  if (stride * height > available) return false;  // truncated
  image.Pixels.resize(width * height);

  uint32_t masks[4] = {h.Masks[0], h.Masks[1], h.Masks[2], h.Masks[3]};
  if (h.Compression == kRgb && h.Bits == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
  if (h.Compression == kRgb && h.Bits == 32)  // the fourth byte is unused
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0;
  const TChannel r(masks[0]), g(masks[1]), b(masks[2]), a(masks[3]);

  for (size_t row = 0; row < height; ++row) {
    const uint8_t* in = pixels + row * stride;
    uint32_t* out = rowOut(row);
    switch (h.Bits) {
      case 1:
      case 4:
      case 8: {
        const unsigned perByte = 8 / h.Bits, mask = (1u << h.Bits) - 1;
        for (size_t x = 0; x < width; ++x) {
          unsigned shift = 8 - h.Bits * (1 + x % perByte);
          out[x] = palette[(in[x / perByte] >> shift) & mask];
        }
        break;
      }
      case 24:
        for (size_t x = 0; x < width; ++x, in += 3)
          out[x] = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
        break;
      case 16:
        for (size_t x = 0; x < width; ++x, in += 2) {
          uint32_t v = Le16(in);
          out[x] = a.Get(v) << 24 | r.Get(v) << 16 | g.Get(v) << 8 | b.Get(v);
        }
        break;
      case 32:
        if (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF &&
            (masks[3] == 0xFF000000u || masks[3] == 0)) {
          std::memcpy(out, in, width * 4);
          if (!masks[3])
            for (size_t x = 0; x < width; ++x) out[x] |= 0xFF000000u;
          break;
        }
        for (size_t x = 0; x < width; ++x, in += 4) {
          uint32_t v = Le32(in);
          out[x] = a.Get(v) << 24 | r.Get(v) << 16 | g.Get(v) << 8 | b.Get(v);
        }
        break;
    }
  }
  return true;
}

bool EncodeBmp(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out) {
  out.clear();
  const uint32_t headerSize = 108;  // BITMAPV4HEADER, so readers honour the alpha mask
  const uint64_t imageBytes = uint64_t(width) * height * 4;
  const uint64_t fileSize = 14 + headerSize + imageBytes;
  if (fileSize > 0xFFFFFFFFu) return false;
  out.reserve(static_cast<size_t>(fileSize));
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(fileSize));
  Put32(out, 0);
  Put32(out, 14 + headerSize);
  Put32(out, headerSize);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));  // bottom-up, the form every reader knows
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, kBitFields);
  Put32(out, static_cast<uint32_t>(imageBytes));
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0x00FF0000u);
  Put32(out, 0x0000FF00u);
  Put32(out, 0x000000FFu);
  Put32(out, 0xFF000000u);
  Put32(out, 0x73524742u);  // 'sRGB'
  for (int i = 0; i < 12; ++i) Put32(out, 0);  // endpoints and gamma, unused with sRGB
  const size_t rowBytes = size_t(width) * 4;
  size_t at = out.size();
  out.resize(static_cast<size_t>(fileSize));
  for (int32_t y = height - 1; y >= 0; --y, at += rowBytes)
    std::memcpy(out.data() + at, pixels + size_t(y) * width, rowBytes);
  return true;
}

}  // namespace kobalt
