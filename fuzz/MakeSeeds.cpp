// tvx_fuzz_seeds FOLDER: writes a seed corpus for every fuzz target into
// FOLDER/<target>/, made by the program's own writers (watermark, styles and
// settings files, stream strings) and by the picture libraries with the
// variants the decoders must handle. Small pictures keep the fuzzers fast.
// Deterministic: the same build writes the same files.

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <libexif/exif-data.h>
#include <png.h>
#include <tiffio.h>

#include "CodecsInternal.h"
#include "ExifBlock.h"
#include "JpegFile.h"
#include "ModernCodecs.h"
#include "ModernMetadata.h"
#include "raster/TextRasterizer.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Config.h"
#include "util/Stream.h"
#include "util/Utils.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

fs::path gRoot;

void Put(const std::string& target, const std::string& name, const TBytes& bytes) {
  fs::create_directories(gRoot / target);
  std::ofstream out(gRoot / target / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (gRoot / target / name).string());
}

// ---- pictures -------------------------------------------------------------

// A small picture with gradients, a hard edge and (optionally) graded alpha.
std::vector<uint32_t> TestPixels(int w, int h, bool alpha) {
  std::vector<uint32_t> p(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t a = alpha ? uint32_t(255 * x / std::max(1, w - 1)) : 255;
      uint32_t r = uint32_t(255 * y / std::max(1, h - 1)), g = (x * 37 + y * 11) & 0xFF, b = x < w / 2 ? 40 : 220;
      p[size_t(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return p;
}

struct TJpegOptions {
  int Components = 3;  // 1 gray, 3 YCbCr, 4 CMYK
  bool Progressive = false;
  bool Subsample = true;
  int Restart = 0;
  bool Arithmetic = false;
};

struct TJpegError {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
};

TBytes LibJpeg(int w, int h, const TJpegOptions& o) {
  jpeg_compress_struct c;
  TJpegError error;
  c.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = [](j_common_ptr info) { longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1); };
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(error.Jump)) {
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = w;
  c.image_height = h;
  c.input_components = o.Components;
  c.in_color_space = o.Components == 1 ? JCS_GRAYSCALE : o.Components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 75, TRUE);
  if (o.Progressive) jpeg_simple_progression(&c);
  if (!o.Subsample && o.Components == 3)
    for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  c.restart_interval = o.Restart;
  c.arith_code = o.Arithmetic;
  if (o.Components == 4) c.write_Adobe_marker = TRUE;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(w) * o.Components);
  for (int y = 0; y < h; ++y) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 7 + y * 13);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  TBytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

TBytes LibPng(int w, int h, int colorType, int depth, bool interlaced, bool trns) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  TBytes out;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<TBytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, w, h, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[16];
    for (int i = 0; i < 16; ++i) palette[i] = {png_byte(i * 16), png_byte(255 - i * 16), png_byte(i * 5)};
    png_set_PLTE(png, info, palette, 1 << std::min(depth, 4));
    if (trns) {
      png_byte alpha[4] = {0, 64, 128, 200};
      png_set_tRNS(png, info, alpha, 4, nullptr);
    }
  } else if (trns) {
    png_color_16 key{};
    key.gray = 1;
    key.red = key.green = key.blue = 1;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_text text[1] = {};
  text[0].compression = PNG_TEXT_COMPRESSION_NONE;
  text[0].key = const_cast<char*>("Software");
  text[0].text = const_cast<char*>("Tarvex");
  png_set_text(png, info, text, 1);
  png_write_info(png, info);
  if (depth == 16) png_set_swap(png);
  int passes = interlaced ? png_set_interlace_handling(png) : 1;
  size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<uint8_t> row(rowBytes);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < h; ++y) {
      for (size_t i = 0; i < rowBytes; ++i) row[i] = uint8_t(i * 29 + y * 3);
      png_write_row(png, row.data());
    }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct TTiffOptions {
  int Samples = 3;
  int Bits = 8;
  int Photometric = PHOTOMETRIC_RGB;
  int Compression = COMPRESSION_NONE;
  int Planar = PLANARCONFIG_CONTIG;
  bool Tiled = false;
  int ExtraSample = -1;  // EXTRASAMPLE_* for a fourth sample
  int Orientation = 1;
  bool TwoPages = false;
};

TBytes LibTiff(int w, int h, const TTiffOptions& o) {
  // libtiff writes to a file; a temporary one in the output folder will do.
  const fs::path path = gRoot / ".seed.tif";
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return {};
  for (int page = 0; page < (o.TwoPages ? 2 : 1); ++page) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, o.Samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, o.Bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, o.Photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, o.Compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, o.Planar);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, o.Orientation);
    if (o.ExtraSample >= 0) {
      uint16_t extra = static_cast<uint16_t>(o.ExtraSample);
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (o.Photometric == PHOTOMETRIC_PALETTE) {
      std::vector<uint16_t> r(1u << o.Bits), g(r.size()), b(r.size());
      for (size_t i = 0; i < r.size(); ++i) r[i] = uint16_t(i * 4099), g[i] = uint16_t(65535 - i * 4099), b[i] = 30000;
      TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    const int planes = o.Planar == PLANARCONFIG_SEPARATE ? o.Samples : 1;
    if (o.Tiled) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
      std::vector<uint8_t> tile(TIFFTileSize(tif));
      for (size_t i = 0; i < tile.size(); ++i) tile[i] = uint8_t(i * 13);
      for (int s = 0; s < planes; ++s)
        for (int y = 0; y < h; y += 16)
          for (int x = 0; x < w; x += 16) TIFFWriteTile(tif, tile.data(), x, y, 0, uint16_t(s));
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
      std::vector<uint8_t> row(TIFFScanlineSize(tif));
      for (int s = 0; s < planes; ++s)
        for (int y = 0; y < h; ++y) {
          for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 5 + y * 17);
          TIFFWriteScanline(tif, row.data(), y, uint16_t(s));
        }
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  std::ifstream in(path, std::ios::binary);
  TBytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(path);
  return out;
}

void Le16(TBytes& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Le32(TBytes& b, uint32_t v) { Le16(b, v & 0xFFFF), Le16(b, v >> 16); }

// A BMP with a BITMAPINFOHEADER (or an OS/2 core header) and the given bits;
// `pixels` is the raw pixel array (rows padded by the caller).
TBytes Bmp(int w, int h, int bits, uint32_t compression, const TBytes& pixels, int paletteSize, bool os2 = false,
           const std::vector<uint32_t>& masks = {}) {
  const uint32_t header = os2 ? 12 : 40;
  const uint32_t entry = os2 ? 3 : 4;
  const uint32_t offset = 14 + header + uint32_t(masks.size()) * 4 + paletteSize * entry;
  TBytes b = {'B', 'M'};
  Le32(b, offset + uint32_t(pixels.size()));
  Le32(b, 0);
  Le32(b, offset);
  Le32(b, header);
  if (os2) {
    Le16(b, w), Le16(b, h), Le16(b, 1), Le16(b, bits);
  } else {
    Le32(b, w), Le32(b, uint32_t(h)), Le16(b, 1), Le16(b, bits);
    Le32(b, compression), Le32(b, uint32_t(pixels.size())), Le32(b, 2835), Le32(b, 2835);
    Le32(b, paletteSize), Le32(b, 0);
  }
  for (uint32_t m : masks) Le32(b, m);
  for (int i = 0; i < paletteSize; ++i) {
    b.push_back(uint8_t(i * 40)), b.push_back(uint8_t(255 - i * 16)), b.push_back(uint8_t(i * 7));
    if (!os2) b.push_back(0);
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// Rows of `bits` per pixel; 8-bit indices stay below `colors`.
TBytes RawRows(int w, int h, int bits, int colors = 256) {
  const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
  TBytes p(stride * h);
  for (size_t i = 0; i < p.size(); ++i) p[i] = uint8_t(i * 11 % (bits == 8 ? colors : 256));
  return p;
}

void WritePictures() {
  const int w = 24, h = 16;
  auto opaque = TestPixels(w, h, false), alpha = TestPixels(w, h, true);
  TBytes bytes;
  std::vector<std::pair<std::string, TBytes>> all;
  auto add = [&](const std::string& target, const std::string& name, const TBytes& data) {
    if (data.empty()) throw std::runtime_error("could not make seed " + name);
    Put(target, name, data);
    all.emplace_back(name, data);
  };

  // The program's own encoders.
  for (bool a : {false, true}) {
    const auto& px = a ? alpha : opaque;
    const std::string suffix = a ? "-alpha" : "";
    kobalt::EncodeBmp(px.data(), w, h, bytes), add("fuzz_decode_bmp", "own" + suffix + ".bmp", bytes);
    kobalt::EncodePng(px.data(), w, h, bytes), add("fuzz_decode_png", "own" + suffix + ".png", bytes);
    kobalt::EncodeTiff(px.data(), w, h, bytes), add("fuzz_decode_tiff", "own" + suffix + ".tif", bytes);
    kobalt::EncodeGif(px.data(), w, h, bytes), add("fuzz_decode_gif", "own" + suffix + ".gif", bytes);
  }
  kobalt::EncodeJpegToMemory(opaque.data(), w, h, 80, bytes);
  add("fuzz_decode_jpeg", "own.jpg", bytes);

  // JPEG: gray, 4:4:4, progressive, restarts, arithmetic, Adobe CMYK.
  add("fuzz_decode_jpeg", "gray.jpg", LibJpeg(w, h, {1}));
  add("fuzz_decode_jpeg", "444.jpg", LibJpeg(w, h, {3, false, false}));
  add("fuzz_decode_jpeg", "progressive.jpg", LibJpeg(w, h, {3, true}));
  add("fuzz_decode_jpeg", "restart.jpg", LibJpeg(w, h, {3, false, true, 1}));
  add("fuzz_decode_jpeg", "arithmetic.jpg", LibJpeg(w, h, {3, false, true, 0, true}));
  add("fuzz_decode_jpeg", "cmyk.jpg", LibJpeg(w, h, {4}));
  add("fuzz_decode_jpeg", "progressive-gray.jpg", LibJpeg(w, h, {1, true}));

  // PNG: every colour type and depth family, interlaced, tRNS.
  add("fuzz_decode_png", "gray1.png", LibPng(w, h, PNG_COLOR_TYPE_GRAY, 1, false, false));
  add("fuzz_decode_png", "gray8-trns.png", LibPng(w, h, PNG_COLOR_TYPE_GRAY, 8, false, true));
  add("fuzz_decode_png", "gray16.png", LibPng(w, h, PNG_COLOR_TYPE_GRAY, 16, false, false));
  add("fuzz_decode_png", "gray-alpha.png", LibPng(w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false));
  add("fuzz_decode_png", "palette4-trns.png", LibPng(w, h, PNG_COLOR_TYPE_PALETTE, 4, false, true));
  add("fuzz_decode_png", "rgb16-interlaced.png", LibPng(w, h, PNG_COLOR_TYPE_RGB, 16, true, false));
  add("fuzz_decode_png", "rgba16.png", LibPng(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false));
  add("fuzz_decode_png", "rgb-trns-interlaced.png", LibPng(w, h, PNG_COLOR_TYPE_RGB, 8, true, true));

  // TIFF: gray, palette, 16-bit, tiled, planar, alpha kinds, compressions, orientation, two pages.
  TTiffOptions t;
  t.Samples = 1, t.Photometric = PHOTOMETRIC_MINISBLACK;
  add("fuzz_decode_tiff", "gray.tif", LibTiff(w, h, t));
  t.Bits = 1, t.Photometric = PHOTOMETRIC_MINISWHITE, t.Compression = COMPRESSION_PACKBITS;
  add("fuzz_decode_tiff", "bilevel-packbits.tif", LibTiff(w, h, t));
  t = {}, t.Samples = 1, t.Bits = 4, t.Photometric = PHOTOMETRIC_PALETTE;
  add("fuzz_decode_tiff", "palette4.tif", LibTiff(w, h, t));
  t = {}, t.Bits = 16, t.Compression = COMPRESSION_ADOBE_DEFLATE;
  add("fuzz_decode_tiff", "rgb16-deflate.tif", LibTiff(w, h, t));
  t = {}, t.Samples = 4, t.ExtraSample = EXTRASAMPLE_ASSOCALPHA, t.Tiled = true, t.Compression = COMPRESSION_LZW;
  add("fuzz_decode_tiff", "rgba-associated-tiled.tif", LibTiff(w, h, t));
  t = {}, t.Samples = 4, t.ExtraSample = EXTRASAMPLE_UNASSALPHA, t.Planar = PLANARCONFIG_SEPARATE;
  add("fuzz_decode_tiff", "rgba-planar.tif", LibTiff(w, h, t));
  t = {}, t.Orientation = 6, t.TwoPages = true;
  add("fuzz_decode_tiff", "rotated-two-pages.tif", LibTiff(w, h, t));
  t = {}, t.Samples = 4, t.Photometric = PHOTOMETRIC_SEPARATED;
  add("fuzz_decode_tiff", "cmyk.tif", LibTiff(w, h, t));

  // GIF: a few colours with transparency, and more than 256 (median cut).
  std::vector<uint32_t> few(size_t(w) * h);
  for (size_t i = 0; i < few.size(); ++i) few[i] = i % 5 == 0 ? 0 : 0xFF000000u | uint32_t(i % 3) * 0x7F3F1F;
  kobalt::EncodeGif(few.data(), w, h, bytes), add("fuzz_decode_gif", "few-transparent.gif", bytes);

  // BMP: 1, 4, 8 bits with palettes, RLE8, RLE4, 16-bit bitfields, OS/2, top-down.
  add("fuzz_decode_bmp", "bits1.bmp", Bmp(w, h, 1, 0, RawRows(w, h, 1), 2));
  add("fuzz_decode_bmp", "bits4.bmp", Bmp(w, h, 4, 0, RawRows(w, h, 4), 16));
  add("fuzz_decode_bmp", "bits8.bmp", Bmp(w, h, 8, 0, RawRows(w, h, 8, 6), 6));
  add("fuzz_decode_bmp", "os2-bits8.bmp", Bmp(w, h, 8, 0, RawRows(w, h, 8), 256, true));
  add("fuzz_decode_bmp", "bits16-bitfields.bmp", Bmp(w, h, 16, 3, RawRows(w, h, 16), 0, false, {0xF800, 0x07E0, 0x001F}));
  add("fuzz_decode_bmp", "top-down-24.bmp", Bmp(w, -h, 24, 0, RawRows(w, h, 24), 0));
  TBytes rle8 = {4, 1, 0, 3, 9, 8, 7, 0, 0, 0, 0, 2, 2, 1, 5, 2, 0, 0, 0, 1};  // run, absolute, delta, line end, end
  add("fuzz_decode_bmp", "rle8.bmp", Bmp(w, h, 8, 1, rle8, 10));
  TBytes rle4 = {6, 0x12, 0, 4, 0x34, 0x56, 0, 0, 3, 0x77, 0, 1};
  add("fuzz_decode_bmp", "rle4.bmp", Bmp(w, h, 4, 2, rle4, 8));

  for (const auto& [name, data] : all) Put("fuzz_decode_any", name, data);
}

// ---- modern formats ---------------------------------------------------------

void PutBe32(TBytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// The offset of the first box of a type at the top level or inside "meta",
// or 0 (a small walk of our own files, enough to make the hostile variants).
size_t FindBox(const TBytes& f, const char* type) {
  std::vector<modern::TBox> top, inner;
  if (!modern::ReadBoxes(f.data(), 0, f.size(), top)) return 0;
  for (const modern::TBox& b : top) {
    if (std::memcmp(f.data() + b.Offset + 4, type, 4) == 0) return b.Offset;
    if (std::memcmp(f.data() + b.Offset + 4, "meta", 4) == 0 &&
        modern::ReadBoxes(f.data(), b.PayloadOffset() + 4, b.End(), inner))
      for (const modern::TBox& c : inner)
        if (std::memcmp(f.data() + c.Offset + 4, type, 4) == 0) return c.Offset;
  }
  return 0;
}

void WriteModernPictures() {
  const int w = 24, h = 16;
  auto opaque = TestPixels(w, h, false), alpha = TestPixels(w, h, true);
  struct TKind { modern::TModernFormat Format; const char* Target; const char* Ext; };
  const TKind kinds[] = {{modern::TModernFormat::Webp, "fuzz_decode_webp", ".webp"},
                         {modern::TModernFormat::Avif, "fuzz_decode_avif", ".avif"},
                         {modern::TModernFormat::Heif, "fuzz_decode_heif", ".heic"},
                         {modern::TModernFormat::Jxl, "fuzz_decode_jxl", ".jxl"}};
  // EXIF and XMP blocks for the metadata variants, made by the EXIF writer.
  std::vector<uint8_t> exif;
  kobalt::SetExifTagInTiff(nullptr, 270, "seed", 1700000000, exif);
  modern::THeifMetadataChange change;
  change.Exif = exif;
  change.Xmp = TBytes{'<', 'x', ':', 'x', 'm', 'p', 'm', 'e', 't', 'a', '/', '>'};
  change.Icc = TBytes(128, 0);
  for (const TKind& k : kinds) {
    if (k.Format == modern::TModernFormat::Heif && !modern::CanEncodeHeic()) continue;
    for (int quality : {60, 100})
      for (bool a : {false, true}) {
        TBytes bytes, tagged;
        const auto& px = a ? alpha : opaque;
        if (!modern::EncodeModern(k.Format, px.data(), w, h, quality, bytes)) throw std::runtime_error("modern seed");
        std::string name = std::string("own-q") + std::to_string(quality) + (a ? "-alpha" : "") + k.Ext;
        Put(k.Target, name, bytes);
        Put("fuzz_decode_modern", name, bytes);
        Put("fuzz_modern_metadata", name, bytes);
        if (quality == 60 && !a && modern::WriteModernMetadata(bytes, change, tagged)) {
          Put(k.Target, "with-metadata" + std::string(k.Ext), tagged);
          Put("fuzz_modern_metadata", "with-metadata" + std::string(k.Ext), tagged);
        }
      }
  }
  // Hostile item tables, named after what is wrong with them; they must be
  // refused before the library allocates for them.
  for (const char* ext : {".heic", ".avif"}) {
    TBytes base;
    auto format = std::string(ext) == ".heic" ? modern::TModernFormat::Heif : modern::TModernFormat::Avif;
    if (format == modern::TModernFormat::Heif && !modern::CanEncodeHeic()) continue;
    if (!modern::EncodeModern(format, opaque.data(), w, h, 60, base)) continue;
    const std::string target = format == modern::TModernFormat::Heif ? "fuzz_decode_heif" : "fuzz_decode_avif";
    if (size_t iinf = FindBox(base, "iinf")) {
      TBytes f = base;
      PutBe32(f, iinf, 0x7FFFFFF0);  // a box larger than the file
      Put(target, std::string("iinf-box-claims-2-gb") + ext, f);
      f = base;
      // version 0 item count (16 bits) after the full-box header
      f[iinf + 12] = 0xFF, f[iinf + 13] = 0xFF;
      Put(target, std::string("iinf-claims-65535-items") + ext, f);
    }
    if (size_t iloc = FindBox(base, "iloc")) {
      TBytes f = base;
      // the last four bytes of the table: the last extent's length
      size_t size = size_t(f[iloc]) << 24 | size_t(f[iloc + 1]) << 16 | size_t(f[iloc + 2]) << 8 | f[iloc + 3];
      PutBe32(f, iloc + size - 4, 0x40000000);
      Put(target, std::string("iloc-extent-past-the-end") + ext, f);
    }
    if (size_t ispe = FindBox(base, "iprp")) {
      (void)ispe;
      TBytes f = base;
      // the spatial extent property: width and height of 65535 x 65535
      for (size_t i = 0; i + 20 <= f.size(); ++i)
        if (std::memcmp(f.data() + i + 4, "ispe", 4) == 0) {
          PutBe32(f, i + 12, 65535);
          PutBe32(f, i + 16, 65535);
          Put(target, std::string("ispe-65535x65535") + ext, f);
          break;
        }
    }
  }
}

// ---- EXIF ---------------------------------------------------------------

// A JPEG with a full EXIF block: the default entries of every IFD, text tags,
// a thumbnail, and the segments the copying carries along (XMP, ICC, IPTC).
TBytes ExifJpeg(ExifByteOrder order, bool thumbnail, bool extras) {
  using namespace std::string_literals;
  TBytes jpeg = LibJpeg(32, 24, {});
  kobalt::TExifDataPtr data = kobalt::NewExifData();
  exif_data_set_byte_order(data.get(), order);
  exif_data_fix(data.get());
  if (thumbnail) {
    TBytes thumb = LibJpeg(16, 12, {});
    data->data = static_cast<unsigned char*>(std::malloc(thumb.size()));
    std::memcpy(data->data, thumb.data(), thumb.size());
    data->size = static_cast<unsigned int>(thumb.size());
  }
  TBytes payload;
  kobalt::SaveExifData(data.get(), payload);
  kobalt::TJpegFile file;
  file.Read(jpeg.data(), jpeg.size());
  file.SetExif(payload);
  if (extras) {
    auto segment = [](uint8_t marker, const std::string& text) {
      kobalt::TJpegSegment s;
      s.Marker = marker;
      s.Payload.assign(text.begin(), text.end());
      return s;
    };
    file.Insert(2, segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"s));
    file.Insert(2, segment(0xE2, "ICC_PROFILE\0\1\1"s + std::string(128, '\0')));
    file.Insert(2, segment(0xED, "Photoshop 3.0\0" "8BIM\4\4\0\0\0\0\0\0"s));
    file.Insert(2, segment(0xFE, "a comment"));
  }
  jpeg = file.Write();
  const std::pair<uint16_t, const char*> tags[] = {
      {271, "Camera Maker"}, {272, "Model 5"}, {315, "Artist"}, {33432, "(c) Someone"}, {37510, "user comment"}};
  for (const auto& [tag, text] : tags) kobalt::WriteExifInJpeg(jpeg, tag, text, 1700000000, jpeg);
  return jpeg;
}

// The block-keeping path: every kind of scan it copies, codes anew or leaves.
void WriteJpegBlocks() {
  const char* target = "fuzz_jpegblocks";
  Put(target, "420.jpg", LibJpeg(48, 40, {}));
  Put(target, "444-restart-2.jpg", LibJpeg(48, 40, {3, false, false, 2}));
  Put(target, "gray.jpg", LibJpeg(48, 40, {1}));
  Put(target, "progressive.jpg", LibJpeg(48, 40, {3, true}));
  Put(target, "arithmetic.jpg", LibJpeg(48, 40, {3, false, true, 0, true}));
  Put(target, "exif-thumbnail.jpg", ExifJpeg(EXIF_BYTE_ORDER_INTEL, true, false));
}

void WriteExif() {
  for (const char* target : {"fuzz_exif", "fuzz_jpegfile"}) {
    Put(target, "intel-thumbnail.jpg", ExifJpeg(EXIF_BYTE_ORDER_INTEL, true, false));
    Put(target, "motorola-extras.jpg", ExifJpeg(EXIF_BYTE_ORDER_MOTOROLA, false, true));
    Put(target, "no-exif.jpg", LibJpeg(16, 8, {}));
    Put(target, "progressive.jpg", LibJpeg(16, 8, {3, true}));
  }
}

// ---- watermark, styles, settings, strings ---------------------------------

using namespace tvx;

TFiltersParams AllStyles() {
  TFiltersParams styles;
  TStrokeRecord stroke;
  stroke.Size = 2, stroke.Position = spOutside, stroke.Color = 0x0000FF;
  styles.Items["Stroke"] = stroke.ToParams();
  TShadowRecord shadow = TShadowRecord::Defaults();
  shadow.Size = 3, shadow.Distance = 4;
  styles.Items["Drop Shadow"] = shadow.ToParams();
  TShadowRecord glow = TShadowRecord::GlowDefaults();
  glow.Size = 4, glow.Color = 0x00FFFF;
  styles.Items["Glow"] = glow.ToParams();
  TGradient gradient;
  gradient.SetAngle(0.7f);
  gradient.Type = gtRadial;
  gradient.Stops = {{0x00FF00, 0.25f}, {0xFF0000, 0.75f}};
  styles.Items["Gradient"] = TGradRecord::ToParams(gradient);
  return styles;
}

TBytes Saved(const TLayerCollection& layers, const Watermark::TWatermarkExif& exif) {
  TMemoryStream stream;
  SaveWatermark(stream, layers, exif);
  return stream.Bytes();
}

void WriteWatermarks() {
  std::vector<std::pair<std::string, TBytes>> files;
  {
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    files.emplace_back("empty.tvx", Saved(layers, exif));
  }
  {
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    exif.WriteTitle = exif.WriteCopyright = exif.WriteArtist = exif.WriteComment = true;
    exif.Title = "Title";
    exif.Copyright = "(c) Someone";
    exif.Artist = "Artist";
    exif.Comment = "Comment";
    auto& text = layers.Add<TTextLayer>();
    text.Text = "A <FILENAME>\r\n<MODEL> <DATE_TIME>";
    text.Font.Size = 9;
    text.Justification = tjCentered;
    text.XUnit = cuPercent, text.HAlign = haRight, text.VAlign = vaBottom, text.XCoord = 5, text.YCoord = 2;
    text.RenderText();
    text.SetStyles(AllStyles());
    files.emplace_back("macro-text-styles-exif.tvx", Saved(layers, exif));
  }
  {
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    auto& picture = layers.Add<TBitmapLayer>();
    picture.BeginUpdate();
    picture.SourceBitmap().SetSize(6, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) picture.SourceBitmap().Pixel(x, y) = ARGB(uint8_t(x * 40), 200, uint8_t(y * 60), 30);
    picture.EndUpdate();
    picture.HAlign = haCenter, picture.VAlign = vaMiddle;
    picture.Tile = true, picture.XTileOffs = 3, picture.YTileOffs = 2;
    picture.Noisy = true, picture.NoiseIntensity = 80;
    picture.SetMasterAlpha(128);
    auto& text = layers.Add<TTextLayer>();
    text.Text = "hidden";
    text.Font.Size = 7, text.Font.Italic = true, text.Font.Underline = true;
    text.RenderText();
    text.SetVisible(false);
    files.emplace_back("tiled-picture-hidden-text.tvx", Saved(layers, exif));
  }
  {
    // The fitting fields (base block version 6): a size relative to the
    // picture, an orientation rule and a turn, on a tiled text and a picture.
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    auto& text = layers.Add<TTextLayer>();
    text.Text = "PROOF <YEAR>";
    text.Font.Size = 9;
    text.RenderText();
    text.Tile = true, text.XTileOffs = 4, text.YTileOffs = 3;
    text.SizeMode = lsShorter, text.SizePercent = 40, text.Angle = -30;
    auto& picture = layers.Add<TBitmapLayer>();
    picture.BeginUpdate();
    picture.SourceBitmap().SetSize(5, 3);
    picture.SourceBitmap().Clear(ARGB(200, 10, 120, 240));
    picture.EndUpdate();
    picture.SizeMode = lsHeight, picture.SizePercent = 25;
    picture.Orientation = loLandscape, picture.Angle = 90;
    files.emplace_back("fitted-turned-layers.tvx", Saved(layers, exif));
  }
  for (const auto& [name, bytes] : files) {
    Put("fuzz_watermark", name, bytes);
    Put("fuzz_render_watermark", name, bytes);
  }

  TStyles styles;
  styles.AddStyle("All", AllStyles());
  TFiltersParams one;
  one.Items["Stroke"] = TStrokeRecord().ToParams();
  styles.AddStyle("Thin stroke", one);
  styles.AddStyle("Nothing", {});
  TMemoryStream stream;
  styles.SaveToStream(stream);
  Put("fuzz_styles", "three.styles", stream.Bytes());
  TMemoryStream none;
  TStyles().SaveToStream(none);
  Put("fuzz_styles", "empty.styles", none.Bytes());
}

void WriteSettingsAndStrings() {
  TConfig config;
  config.WriteBool("GlobalOptions", "FirstRun", false);
  config.WriteInteger("GlobalOptions", "JPEGQuality", 85);
  config.WriteFloat("Resize", "Width", 50.5);
  config.WriteString("Destination", "Folder", "/home/user/Pictures/out");
  std::string text = config.SaveToText();
  Put("fuzz_config", "typical.config", TBytes(text.begin(), text.end()));
  std::string odd = "\xEF\xBB\xBF[S]\r\nk=1\r\nkey without value\r\n[S]\r\nk=2\r\n=\r\n[]\r\na=\xE9t\xE9\r\n";
  Put("fuzz_config", "odd.config", TBytes(odd.begin(), odd.end()));

  TMemoryStream strings;
  for (const char* s : {"", "Watermark", "\xC2\xA9 \xC3\x9Cnic\xC3\xB6" "de \xE6\x97\xA5\xE6\x9C\xAC", "caf\xE9"})
    WriteString(strings, s);
  Put("fuzz_read_string", "strings", strings.Bytes());
  TBytes pastEnd = {0xFF, 0xFF, 0, 0, 'a'};
  Put("fuzz_read_string", "length-past-end", pastEnd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: tvx_fuzz_seeds FOLDER\nWrites a seed corpus for every fuzz target into FOLDER/<target>/.\n");
    return 2;
  }
  try {
    gRoot = argv[1];
    fs::create_directories(gRoot);
    RegisterFilterKinds();
    WritePictures();
    WriteModernPictures();
    WriteExif();
    WriteJpegBlocks();
    WriteWatermarks();
    WriteSettingsAndStrings();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tvx_fuzz_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
