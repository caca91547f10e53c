#include "BlockTestSupport.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <stdexcept>

namespace kobalt::test {
namespace {

struct TError {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
  int Warnings = 0;
};

[[noreturn]] void Fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TError*>(cinfo->err)->Jump, 1); }
void Count(j_common_ptr cinfo, int level) {
  if (level < 0) ++reinterpret_cast<TError*>(cinfo->err)->Warnings;
}

struct TCompress {
  jpeg_compress_struct Info;
  TError Error;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
};

bool RunCompress(TCompress& s, const TImage& picture, const TJpegOptions& o) {
  s.Info.err = jpeg_std_error(&s.Error.Manager);
  s.Error.Manager.error_exit = Fail;
  if (setjmp(s.Error.Jump)) return false;
  jpeg_create_compress(&s.Info);
  jpeg_mem_dest(&s.Info, &s.Buffer, &s.Size);
  s.Info.image_width = JDIMENSION(picture.Width);
  s.Info.image_height = JDIMENSION(picture.Height);
  s.Info.input_components = 4;
  s.Info.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&s.Info);
  if (o.Grey) jpeg_set_colorspace(&s.Info, JCS_GRAYSCALE);
  jpeg_set_quality(&s.Info, o.Quality, TRUE);
  if (!o.Grey) {
    s.Info.comp_info[0].h_samp_factor = o.LumaH;
    s.Info.comp_info[0].v_samp_factor = o.LumaV;
  }
  s.Info.restart_interval = JDIMENSION(o.RestartMcus);
  s.Info.optimize_coding = o.Optimize ? TRUE : FALSE;
  if (o.Progressive) jpeg_simple_progression(&s.Info);
  jpeg_start_compress(&s.Info, TRUE);
  while (s.Info.next_scanline < s.Info.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(picture.Pixels.data()) +
                                              size_t(s.Info.next_scanline) * size_t(picture.Width));
    jpeg_write_scanlines(&s.Info, &row, 1);
  }
  jpeg_finish_compress(&s.Info);
  return true;
}

struct TDecompress {
  jpeg_decompress_struct Info;
  TError Error;
};

bool RunRead(TDecompress& s, const TBytes& jpeg, TCoefficients& out) {
  s.Info.err = jpeg_std_error(&s.Error.Manager);
  s.Error.Manager.error_exit = Fail;
  s.Error.Manager.emit_message = Count;
  if (setjmp(s.Error.Jump)) return false;
  jpeg_create_decompress(&s.Info);
  jpeg_mem_src(&s.Info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&s.Info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&s.Info);
  out.Components = s.Info.num_components;
  for (int c = 0; c < out.Components; ++c) {
    const jpeg_component_info* comp = &s.Info.comp_info[c];
    out.H.push_back(comp->h_samp_factor);
    out.V.push_back(comp->v_samp_factor);
    out.BlocksWide.push_back(int(comp->width_in_blocks));
    out.BlocksHigh.push_back(int(comp->height_in_blocks));
    std::vector<int16_t> blocks;
    for (JDIMENSION y = 0; y < comp->height_in_blocks; ++y) {
      JBLOCKARRAY row =
          (*s.Info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&s.Info), arrays[c], y, 1, FALSE);
      for (JDIMENSION x = 0; x < comp->width_in_blocks; ++x)
        blocks.insert(blocks.end(), row[0][x], row[0][x] + 64);
    }
    out.Blocks.push_back(std::move(blocks));
  }
  jpeg_finish_decompress(&s.Info);
  return true;
}

uint32_t Blend(uint32_t under, uint32_t over, int weight) {
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = int((under >> shift) & 0xFF), b = int((over >> shift) & 0xFF);
    out |= uint32_t((a * (255 - weight) + b * weight + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

TImage PhotoPicture(int width, int height, int seed) {
  TImage image;
  image.Width = width;
  image.Height = height;
  image.Pixels.resize(size_t(width) * size_t(height));
  uint32_t state = 12345u + uint32_t(seed) * 7919u;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const int grain = int(state >> 28) - 8;
      const double u = double(x) / width, v = double(y) / height;
      const bool hill = v > 0.55 + 0.1 * std::sin(u * 13 + seed);
      const double sky = 90 + 120 * v + 30 * std::sin(u * 9 + v * 4 + seed);
      const int r = int(hill ? 60 + 40 * std::sin(x * 0.05) : sky * 0.6) + grain;
      const int g = int(hill ? 110 + 50 * std::cos(y * 0.07) : sky * 0.8) + grain;
      const int b = int(hill ? 40 + 20 * u : sky) + grain;
      auto clamp = [](int c) { return uint32_t(std::clamp(c, 0, 255)); };
      image.Pixels[size_t(y) * size_t(width) + size_t(x)] =
          0xFF000000u | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
    }
  return image;
}

TBytes EncodeJpeg(const TImage& picture, const TJpegOptions& options) {
  TCompress s;
  const bool ok = RunCompress(s, picture, options);
  TBytes out;
  if (ok) out.assign(s.Buffer, s.Buffer + s.Size);
  jpeg_destroy_compress(&s.Info);
  std::free(s.Buffer);
  if (!ok) throw std::runtime_error("libjpeg could not encode the test picture");
  return out;
}

TBytes WithOrientation(const TBytes& jpeg, int orientation) {
  // "Exif\0\0", a big-endian TIFF header and IFD 0 with one SHORT entry.
  const uint8_t tiff[] = {'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
                          8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, uint8_t(orientation),
                          0,   0,   0,   0,    0,    0};
  TBytes out(jpeg.begin(), jpeg.begin() + 2);
  out.push_back(0xFF);
  out.push_back(0xE1);
  out.push_back(0);
  out.push_back(uint8_t(sizeof tiff + 2));
  out.insert(out.end(), tiff, tiff + sizeof tiff);
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

TCoefficients ReadCoefficients(const TBytes& jpeg) {
  TDecompress s;
  TCoefficients out;
  out.Ok = RunRead(s, jpeg, out);
  out.Warnings = s.Error.Warnings;
  jpeg_destroy_decompress(&s.Info);
  return out;
}

void StoredPoint(int orientation, int width, int height, int u, int v, int& x, int& y) {
  switch (orientation) {
    case 2:
      x = width - 1 - u, y = v;
      break;
    case 3:
      x = width - 1 - u, y = height - 1 - v;
      break;
    case 4:
      x = u, y = height - 1 - v;
      break;
    case 5:
      x = v, y = u;
      break;
    case 6:
      x = v, y = height - 1 - u;
      break;
    case 7:
      x = width - 1 - v, y = height - 1 - u;
      break;
    case 8:
      x = width - 1 - v, y = u;
      break;
    default:
      x = u, y = v;
      break;
  }
}

void TRectPainter::ChangedRegions(int32_t, int32_t, std::vector<tvx::TPictureRect>& regions) {
  regions.insert(regions.end(), rects_.begin(), rects_.end());
}

bool TRectPainter::PaintWindow(tvx::TColor32* pixels, int32_t left, int32_t top, int32_t windowWidth,
                               int32_t windowHeight, int32_t, int32_t) {
  ++Windows;
  if (Fail) return false;
  for (int y = 0; y < windowHeight; ++y)
    for (int x = 0; x < windowWidth; ++x) {
      const int u = left + x, v = top + y;
      for (const tvx::TPictureRect& r : rects_) {
        if (u < r.Left || u >= r.Right || v < r.Top || v >= r.Bottom) continue;
        // Hard edges in a checker, and a colour no photo block is close to.
        const bool dark = (u / 7 + v / 5) % 2;
        const uint32_t ink = grey_ ? (dark ? 0xFF303030u : 0xFFF0F0F0u) : (dark ? 0xFF1E64C8u : 0xFFFFFFFFu);
        uint32_t& p = pixels[size_t(y) * size_t(windowWidth) + size_t(x)];
        p = Blend(p, ink, 160);
        break;
      }
    }
  return true;
}

void TRectPainter::PaintAll(TImage& upright) {
  PaintWindow(upright.Pixels.data(), 0, 0, upright.Width, upright.Height, upright.Width, upright.Height);
}

}  // namespace kobalt::test
