// PNG through libpng. Its errors come back through longjmp to the one
// function that runs a session; its warnings are dropped.

#include <csetjmp>
#include <cstring>
#include <memory>

#include <png.h>

#include "CodecsInternal.h"

namespace kobalt {
namespace {

uint32_t ReadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

struct TReadSession {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
};

void ReadData(png_structp png, png_bytep out, png_size_t count) {
  auto* s = static_cast<TReadSession*>(png_get_io_ptr(png));
  if (count > s->Size - s->Pos) png_error(png, "truncated");
  std::memcpy(out, s->Data + s->Pos, count);
  s->Pos += count;
}

// The one function that makes the library calls of a decoding session.
bool RunDecode(TReadSession& s, TImage& image) {
  if (setjmp(png_jmpbuf(s.Png))) return false;
  png_set_read_fn(s.Png, &s, ReadData);
  png_set_user_limits(s.Png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_malloc_max(s.Png, 64u << 20);
  png_read_info(s.Png, s.Info);
  png_uint_32 width = png_get_image_width(s.Png, s.Info);
  png_uint_32 height = png_get_image_height(s.Png, s.Info);
  if (!SaneSize(width, height)) return false;
  int colorType = png_get_color_type(s.Png, s.Info);
  int depth = png_get_bit_depth(s.Png, s.Info);

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s.Png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s.Png);
  if (png_get_valid(s.Png, s.Info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(s.Png);
  if (depth == 16) png_set_scale_16(s.Png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(s.Png);
  png_set_bgr(s.Png);
  png_set_filler(s.Png, 0xFF, PNG_FILLER_AFTER);  // adds alpha only where there is none
  int passes = png_set_interlace_handling(s.Png);
  png_read_update_info(s.Png, s.Info);
  if (png_get_rowbytes(s.Png, s.Info) != size_t(width) * 4) return false;

  image.Width = static_cast<int32_t>(width);
  image.Height = static_cast<int32_t>(height);
  if (!image.Pixels.TryResize(size_t(width) * height)) return false;
  auto* base = reinterpret_cast<uint8_t*>(image.Pixels.data());
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(s.Png, base + size_t(y) * width * 4, nullptr);
  // the end chunks are not needed; a file cut after its last row still reads
  return true;
}

struct TWriteSession {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TBytes* Out = nullptr;
};

void WriteData(png_structp png, png_bytep data, png_size_t count) {
  auto* s = static_cast<TWriteSession*>(png_get_io_ptr(png));
  bool ok = true;
  try {  // no exception may cross libpng's C frames
    s->Out->insert(s->Out->end(), data, data + count);
  } catch (...) {
    ok = false;
  }
  if (!ok) png_error(png, "out of memory");
}
void FlushData(png_structp) {}

// The one function that makes the library calls of an encoding session.
bool RunEncode(TWriteSession& s, const uint32_t* pixels, int32_t width, int32_t height,
               bool opaque) {
  if (setjmp(png_jmpbuf(s.Png))) return false;
  png_set_write_fn(s.Png, &s, WriteData, FlushData);
  png_set_IHDR(s.Png, s.Info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(s.Png, s.Info);
  png_set_bgr(s.Png);
  if (opaque) png_set_filler(s.Png, 0, PNG_FILLER_AFTER);  // drops the alpha byte
  auto* base = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(pixels));
  for (int32_t y = 0; y < height; ++y) png_write_row(s.Png, base + size_t(y) * width * 4);
  png_write_end(s.Png, nullptr);
  return true;
}

}  // namespace

bool PngSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  // signature, then the IHDR chunk: length 13, type, width, height
  if (size < 24 || std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0 ||
      ReadBe32(data + 8) != 13 || std::memcmp(data + 12, "IHDR", 4) != 0)
    return false;
  uint32_t w = ReadBe32(data + 16), h = ReadBe32(data + 20);
  if (!SaneSize(w, h)) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

bool PngChunksBeforeImageDataFit(const uint8_t* data, size_t size) {
  size_t pos = 8;  // after the signature
  while (pos <= size && size - pos >= 8) {
    const uint32_t length = ReadBe32(data + pos);
    if (std::memcmp(data + pos + 4, "IDAT", 4) == 0) return true;
    if (length > size - pos - 8 || size - pos - 8 - length < 4) return false;  // data and CRC
    pos += 12 + size_t(length);
  }
  return true;  // cut short in a header: libpng reports it
}

bool DecodePng(const uint8_t* data, size_t size, TImage& image) {
  // libpng allocates a chunk's declared length before reading it and only
  // warns when that length is absurd, so a few bytes could make it ask for
  // gigabytes; the chunks it reads in full must lie inside the file.
  if (!PngChunksBeforeImageDataFit(data, size)) return false;
  auto s = std::make_unique<TReadSession>();
  s->Data = data;
  s->Size = size;
  s->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!s->Png) return false;
  s->Info = png_create_info_struct(s->Png);
  bool ok = s->Info && RunDecode(*s, image);
  png_destroy_read_struct(&s->Png, s->Info ? &s->Info : nullptr, nullptr);
  return ok;
}

bool EncodePng(const uint32_t* pixels, int32_t width, int32_t height, TBytes& out) {
  out.clear();
  const size_t count = size_t(width) * height;
  bool opaque = true;
  for (size_t i = 0; i < count && opaque; ++i) opaque = (pixels[i] >> 24) == 0xFF;
  auto s = std::make_unique<TWriteSession>();
  s->Out = &out;
  s->Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!s->Png) return false;
  s->Info = png_create_info_struct(s->Png);
  bool ok = s->Info && RunEncode(*s, pixels, width, height, opaque);
  png_destroy_write_struct(&s->Png, s->Info ? &s->Info : nullptr);
  if (!ok) out.clear();
  return ok;
}

}  // namespace kobalt
