// GIF through giflib: the first frame on the logical screen, and a palette
// encoder (exact up to 256 colours, median cut beyond).

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include <gif_lib.h>

#include "CodecsInternal.h"

namespace kobalt {
namespace {

struct TGifReader {
  const uint8_t* Data;
  size_t Size;
  size_t Pos;
};

int ReadGif(GifFileType* gif, GifByteType* out, int count) {
  auto* r = static_cast<TGifReader*>(gif->UserData);
  if (count <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(count), r->Size - r->Pos);
  std::memcpy(out, r->Data + r->Pos, n);
  r->Pos += n;
  return static_cast<int>(n);
}

struct TGifCloser {
  void operator()(GifFileType* g) const {
    int error = 0;
    DGifCloseFile(g, &error);
  }
};

struct TEncoderCloser {
  void operator()(GifFileType* g) const {
    int error = 0;
    EGifCloseFile(g, &error);
  }
};

struct TMapFree {
  void operator()(ColorMapObject* m) const { GifFreeMapObject(m); }
};

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool GifSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  if (size < 10 || (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0))
    return false;
  width = ReadLe16(data + 6);
  height = ReadLe16(data + 8);
  return width > 0 && height > 0;
}

bool DecodeGif(const uint8_t* data, size_t size, TImage& image) {
  TGifReader reader{data, size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, TGifCloser> gif(DGifOpen(&reader, ReadGif, &error));
  if (!gif) return false;
  const int screenW = gif->SWidth, screenH = gif->SHeight;
  if (!SaneSize(screenW, screenH)) return false;

  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return false;
    if (type == TERMINATE_RECORD_TYPE) return false;  // no frame at all
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return false;
      while (block) {
        if (code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4) {
          GraphicsControlBlock gcb;
          if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
            transparent = gcb.TransparentColor;
        }
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return false;
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;

    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return false;
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (desc.Width <= 0 || desc.Height <= 0 || !SaneSize(desc.Width, desc.Height)) return false;
    std::array<uint32_t, 256> palette;
    palette.fill(0xFF000000u);  // indices past the map come out black
    if (map)
      for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
        const GifColorType& c = map->Colors[i];
        palette[i] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
      }
    if (transparent >= 0 && transparent < 256) palette[transparent] = 0;

    // What the frame leaves uncovered is transparent.
    image.Width = screenW;
    image.Height = screenH;
    image.Pixels.assign(size_t(screenW) * screenH, 0);
    std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      int start = desc.Interlace ? kStart[pass] : 0, step = desc.Interlace ? kStep[pass] : 1;
      for (int row = start; row < desc.Height; row += step) {
        if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) {
          image = TImage();
          return false;
        }
        int y = desc.Top + row;
        if (y >= screenH) continue;
        uint32_t* out = image.Pixels.data() + size_t(y) * screenW;
        for (int x = 0; x < desc.Width && desc.Left + x < screenW; ++x)
          out[desc.Left + x] = palette[line[x]];
      }
    }
    return true;
  }
}

namespace {

// Colour reduction for pictures with more than 256 colours: median cut over a
// 5-bit-per-channel histogram, each box represented by its weighted mean.
struct TBox {
  int Lo[3], Hi[3];
  uint64_t Count;
};

void Shrink(TBox& box, const std::vector<uint32_t>& hist) {
  int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
  uint64_t count = 0;
  for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
    for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
      for (int b = box.Lo[2]; b <= box.Hi[2]; ++b)
        if (uint32_t n = hist[(r << 10) | (g << 5) | b]) {
          count += n;
          lo[0] = std::min(lo[0], r), hi[0] = std::max(hi[0], r);
          lo[1] = std::min(lo[1], g), hi[1] = std::max(hi[1], g);
          lo[2] = std::min(lo[2], b), hi[2] = std::max(hi[2], b);
        }
  box.Count = count;
  if (count) std::copy(lo, lo + 3, box.Lo), std::copy(hi, hi + 3, box.Hi);
}

std::vector<uint32_t> MedianCut(const std::vector<uint32_t>& hist, size_t colours) {
  std::vector<TBox> boxes{{{0, 0, 0}, {31, 31, 31}, 0}};
  Shrink(boxes[0], hist);
  while (boxes.size() < colours) {
    // split the box with the most pixels along its longest side
    int best = -1;
    uint64_t bestScore = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const TBox& b = boxes[i];
      int extent = std::max({b.Hi[0] - b.Lo[0], b.Hi[1] - b.Lo[1], b.Hi[2] - b.Lo[2]});
      if (extent == 0) continue;
      uint64_t score = b.Count * static_cast<uint64_t>(extent);
      if (score > bestScore) bestScore = score, best = static_cast<int>(i);
    }
    if (best < 0) break;
    TBox box = boxes[best];
    int axis = 0;
    for (int a = 1; a < 3; ++a)
      if (box.Hi[a] - box.Lo[a] > box.Hi[axis] - box.Lo[axis]) axis = a;
    std::vector<uint64_t> slice(32, 0);
    for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
      for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
        for (int b = box.Lo[2]; b <= box.Hi[2]; ++b) {
          int v[3] = {r, g, b};
          slice[v[axis]] += hist[(r << 10) | (g << 5) | b];
        }
    uint64_t half = box.Count / 2, run = 0;
    int cut = box.Lo[axis];
    for (; cut < box.Hi[axis] - 1; ++cut) {
      run += slice[cut];
      if (run >= half) break;
    }
    TBox a = box, b = box;
    a.Hi[axis] = cut;
    b.Lo[axis] = cut + 1;
    Shrink(a, hist);
    Shrink(b, hist);
    boxes[best] = a;
    boxes.push_back(b);
  }
  std::vector<uint32_t> palette;
  for (const TBox& box : boxes) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (int r = box.Lo[0]; r <= box.Hi[0]; ++r)
      for (int g = box.Lo[1]; g <= box.Hi[1]; ++g)
        for (int b = box.Lo[2]; b <= box.Hi[2]; ++b)
          if (uint32_t c = hist[(r << 10) | (g << 5) | b]) {
            sum[0] += uint64_t(c) * (r * 8 + 4), sum[1] += uint64_t(c) * (g * 8 + 4),
                sum[2] += uint64_t(c) * (b * 8 + 4), n += c;
          }
    if (!n) continue;
    palette.push_back(uint32_t(sum[0] / n) << 16 | uint32_t(sum[1] / n) << 8 | uint32_t(sum[2] / n));
  }
  return palette;
}

bool Transparent(uint32_t px) { return (px >> 24) < 128; }

}  // namespace

bool EncodeGif(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out) {
  out.clear();
  if (width > 65535 || height > 65535) return false;
  const size_t count = size_t(width) * height;

  bool anyTransparent = false;
  for (size_t i = 0; i < count && !anyTransparent; ++i) anyTransparent = Transparent(pixels[i]);
  const size_t maxColours = anyTransparent ? 255 : 256;

  // Exact palette when the picture has few enough colours: a small
  // open-addressing table of RGB values, abandoned once it overflows.
  std::vector<uint32_t> palette;
  std::vector<uint8_t> indices(count);
  {
    constexpr size_t kSlots = 1024;
    std::array<uint32_t, kSlots> keys;
    std::array<int16_t, kSlots> slotIndex;
    slotIndex.fill(-1);
    bool exact = true;
    uint32_t lastKey = 0xFFFFFFFFu;
    uint8_t lastIndex = 0;
    for (size_t i = 0; i < count && exact; ++i) {
      if (Transparent(pixels[i])) continue;
      uint32_t key = pixels[i] & 0xFFFFFF;
      if (key == lastKey) {
        indices[i] = lastIndex;
        continue;
      }
      size_t slot = (key * 2654435761u) >> 22 & (kSlots - 1);
      while (slotIndex[slot] >= 0 && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
      if (slotIndex[slot] < 0) {
        if (palette.size() == maxColours) {
          exact = false;
          break;
        }
        keys[slot] = key;
        slotIndex[slot] = static_cast<int16_t>(palette.size());
        palette.push_back(key);
      }
      lastKey = key;
      lastIndex = static_cast<uint8_t>(slotIndex[slot]);
      indices[i] = lastIndex;
    }
    if (!exact) {
      std::vector<uint32_t> hist(1 << 15, 0);
      for (size_t i = 0; i < count; ++i)
        if (!Transparent(pixels[i])) {
          uint32_t p = pixels[i];
          ++hist[((p >> 19) & 31) << 10 | ((p >> 11) & 31) << 5 | ((p >> 3) & 31)];
        }
      palette = MedianCut(hist, maxColours);
      // nearest palette entry for every histogram cell that occurs
      std::vector<uint8_t> nearest(1 << 15, 0);
      for (uint32_t cell = 0; cell < (1u << 15); ++cell) {
        if (!hist[cell]) continue;
        int r = (cell >> 10) * 8 + 4, g = ((cell >> 5) & 31) * 8 + 4, b = (cell & 31) * 8 + 4;
        int best = 0, bestDist = 1 << 30;
        for (size_t k = 0; k < palette.size(); ++k) {
          int dr = r - int(palette[k] >> 16), dg = g - int((palette[k] >> 8) & 0xFF),
              db = b - int(palette[k] & 0xFF);
          int d = 2 * dr * dr + 4 * dg * dg + db * db;
          if (d < bestDist) bestDist = d, best = static_cast<int>(k);
        }
        nearest[cell] = static_cast<uint8_t>(best);
      }
      for (size_t i = 0; i < count; ++i)
        if (!Transparent(pixels[i])) {
          uint32_t p = pixels[i];
          indices[i] = nearest[((p >> 19) & 31) << 10 | ((p >> 11) & 31) << 5 | ((p >> 3) & 31)];
        }
    }
  }
  int transparentIndex = -1;
  if (anyTransparent) {
    transparentIndex = static_cast<int>(palette.size());
    palette.push_back(0);
    for (size_t i = 0; i < count; ++i)
      if (Transparent(pixels[i])) indices[i] = static_cast<uint8_t>(transparentIndex);
  }

  int bits = 1;
  while ((size_t(1) << bits) < palette.size()) ++bits;
  std::unique_ptr<ColorMapObject, TMapFree> map(GifMakeMapObject(1 << bits, nullptr));
  if (!map) return false;
  for (int i = 0; i < (1 << bits); ++i) {
    uint32_t c = i < static_cast<int>(palette.size()) ? palette[i] : 0;
    map->Colors[i] = {static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8),
                      static_cast<GifByteType>(c)};
  }

  int error = 0;
  auto write = [](GifFileType* g, const GifByteType* data, int n) {
    auto* o = static_cast<TBytes*>(g->UserData);
    o->insert(o->end(), data, data + n);
    return n;
  };
  std::unique_ptr<GifFileType, TEncoderCloser> gif(EGifOpen(&out, write, &error));
  if (!gif) return false;
  EGifSetGifVersion(gif.get(), true);
  bool ok = EGifPutScreenDesc(gif.get(), width, height, bits, 0, map.get()) == GIF_OK;
  if (ok && transparentIndex >= 0) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparentIndex};
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_OK;
  for (int32_t y = 0; ok && y < height; ++y)
    ok = EGifPutLine(gif.get(), indices.data() + size_t(y) * width, width) == GIF_OK;
  // closing writes the trailer; giflib frees the handle even when that fails
  GifFileType* raw = gif.release();
  ok = EGifCloseFile(raw, &error) == GIF_OK && ok;
  if (!ok) out.clear();
  return ok;
}

}  // namespace kobalt
