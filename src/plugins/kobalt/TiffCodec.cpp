// TIFF through libtiff, read from and written to memory. Errors and warnings
// go to handlers of the call itself (no global state), so two threads can
// read at once.

#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>

#include <tiffio.h>

#include "CodecsInternal.h"

namespace kobalt {
namespace {

// A file in memory: read-only over the caller's bytes, or growing for writing.
struct TMemoryFile {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  TBytes* Out = nullptr;
  uint64_t Pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t count) {
  auto* f = static_cast<TMemoryFile*>(h);
  size_t size = f->Out ? f->Out->size() : f->Size;
  const uint8_t* data = f->Out ? f->Out->data() : f->Data;
  if (count < 0 || f->Pos >= size) return 0;
  size_t n = std::min<uint64_t>(static_cast<uint64_t>(count), size - f->Pos);
  std::memcpy(buf, data + f->Pos, n);
  f->Pos += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t count) {
  auto* f = static_cast<TMemoryFile*>(h);
  if (!f->Out || count < 0) return -1;
  uint64_t end = f->Pos + static_cast<uint64_t>(count);
  if (end > (uint64_t(1) << 40)) return -1;
  if (end > f->Out->size()) f->Out->resize(end);
  std::memcpy(f->Out->data() + f->Pos, buf, static_cast<size_t>(count));
  f->Pos = end;
  return count;
}

toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<TMemoryFile*>(h);
  uint64_t size = f->Out ? f->Out->size() : f->Size;
  uint64_t base = whence == SEEK_CUR ? f->Pos : whence == SEEK_END ? size : 0;
  uint64_t target = base + offset;
  if (target > (uint64_t(1) << 40)) return static_cast<toff_t>(-1);
  f->Pos = target;
  return target;
}

int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) {
  auto* f = static_cast<TMemoryFile*>(h);
  return f->Out ? f->Out->size() : f->Size;
}
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

int SilentHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

TTiffPtr Open(TMemoryFile& file, const char* mode) {
  // Messages from the few library paths that bypass the per-call handlers
  // are silenced once for the process.
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, SilentHandler, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, SilentHandler, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, 1ll << 30);
  TIFF* tif = TIFFClientOpenExt("memory", mode, &file, MemRead, MemWrite, MemSeek, MemClose,
                                MemSize, MemMap, MemUnmap, options);
  TIFFOpenOptionsFree(options);
  return TTiffPtr(tif);
}

bool ReadHeader(TIFF* tif, uint32_t& width, uint32_t& height, int& orientation) {
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) || !SaneSize(width, height))
    return false;
  uint16_t o = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &o);
  orientation = o >= 1 && o <= 8 ? o : 1;
  return true;
}

uint8_t Unpremultiply(unsigned c, unsigned a) {
  if (a == 0) return 0;
  unsigned v = (c * 255 + a / 2) / a;
  return static_cast<uint8_t>(v > 255 ? 255 : v);
}

// 8-bit RGB or RGBA in strips, interleaved: read the rows as stored, so
// unassociated alpha comes back exactly (the library's RGBA reader would
// premultiply it).
bool ReadRgb8Strips(TIFF* tif, uint32_t width, uint32_t height, uint16_t samples, bool associated,
                    TImage& image) {
  tmsize_t scanline = TIFFScanlineSize(tif);
  if (scanline < static_cast<tmsize_t>(size_t(width) * samples)) return false;
  TBytes row(static_cast<size_t>(scanline));
  image.Pixels.resize(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, row.data(), y, 0) < 0) return false;
    uint32_t* out = image.Pixels.data() + size_t(y) * width;
    const uint8_t* p = row.data();
    for (uint32_t x = 0; x < width; ++x, p += samples) {
      unsigned a = samples == 4 ? p[3] : 255;
      unsigned r = p[0], g = p[1], b = p[2];
      if (associated && a != 255) {
        r = Unpremultiply(r, a);
        g = Unpremultiply(g, a);
        b = Unpremultiply(b, a);
      }
      out[x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  return true;
}

// Everything else through the library's RGBA reader, which delivers
// premultiplied alpha whatever the file holds.
bool ReadGeneric(TIFF* tif, uint32_t width, uint32_t height, bool hasAlpha, TImage& image) {
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return false;
  TIFFRGBAImage img;
  if (!TIFFRGBAImageBegin(&img, tif, 0, message)) return false;
  // Ask for the stored orientation: rows come out as stored and the caller
  // turns them upright, transposes included.
  img.req_orientation = img.orientation;
  image.Pixels.resize(size_t(width) * height);
  int ok = TIFFRGBAImageGet(&img, image.Pixels.data(), width, height);
  TIFFRGBAImageEnd(&img);
  if (!ok) return false;
  for (uint32_t& px : image.Pixels) {
    // ABGR (red in the low byte) to ARGB with straight alpha
    unsigned r = px & 0xFF, g = (px >> 8) & 0xFF, b = (px >> 16) & 0xFF, a = px >> 24;
    if (hasAlpha && a != 255) {
      r = Unpremultiply(r, a);
      g = Unpremultiply(g, a);
      b = Unpremultiply(b, a);
    }
    px = a << 24 | r << 16 | g << 8 | b;
  }
  return true;
}

}  // namespace

bool TiffSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height, int& orientation) {
  TMemoryFile file{data, size, nullptr, 0};
  TTiffPtr tif = Open(file, "rm");
  if (!tif) return false;
  uint32_t w = 0, h = 0;
  if (!ReadHeader(tif.get(), w, h, orientation)) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

bool DecodeTiff(const uint8_t* data, size_t size, TImage& image, int& orientation) {
  TMemoryFile file{data, size, nullptr, 0};
  TTiffPtr tif = Open(file, "rm");
  if (!tif) return false;
  uint32_t width = 0, height = 0;
  if (!ReadHeader(tif.get(), width, height, orientation)) return false;
  uint16_t photometric = 0, bits = 0, samples = 1, planar = PLANARCONFIG_CONTIG;
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  bool hasAlpha = extraCount > 0 && extra &&
                  (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
  bool associated = hasAlpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;

  image.Width = static_cast<int32_t>(width);
  image.Height = static_cast<int32_t>(height);
  bool ok;
  if (photometric == PHOTOMETRIC_RGB && bits == 8 && planar == PLANARCONFIG_CONTIG &&
      !TIFFIsTiled(tif.get()) && (samples == 3 || (samples == 4 && hasAlpha)))
    ok = ReadRgb8Strips(tif.get(), width, height, samples, associated, image);
  else
    ok = ReadGeneric(tif.get(), width, height, hasAlpha, image);
  if (!ok) image = TImage();
  return ok;
}

bool EncodeTiff(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out) {
  out.clear();
  TMemoryFile file{nullptr, 0, &out, 0};
  TTiffPtr tif = Open(file, "w");
  if (!tif) return false;
  TIFF* t = tif.get();
  uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  TBytes row(size_t(width) * 4);
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* in = pixels + size_t(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t px = in[x];
      row[4 * x + 0] = static_cast<uint8_t>(px >> 16);
      row[4 * x + 1] = static_cast<uint8_t>(px >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(px);
      row[4 * x + 3] = static_cast<uint8_t>(px >> 24);
    }
    if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) < 0) {
      out.clear();
      return false;
    }
  }
  if (!TIFFFlush(t)) {
    out.clear();
    return false;
  }
  tif.reset();
  return !out.empty();
}

}  // namespace kobalt
