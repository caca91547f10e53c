// JPEG through libjpeg-turbo. Library errors come back through longjmp to the
// one function that runs a session; warnings (corrupt or truncated data that
// the library can still finish) are tolerated.

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>

#include "Codecs.h"
#include "CodecsInternal.h"
#include "JpegCoefficients.h"

namespace kobalt {
namespace {

// Files that ask for more scans than this are hostile (each scan re-reads the
// whole coefficient buffer); real progressive files have around ten.
constexpr int kMaxScans = 500;

struct TJpegError {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  std::longjmp(err->Jump, 1);
}

void Silent(j_common_ptr) {}
void SilentMessage(j_common_ptr, int) {}

void ProgressMonitor(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) ErrorExit(cinfo);
}

void InitError(TJpegError& err) {
  jpeg_std_error(&err.Manager);
  err.Manager.error_exit = ErrorExit;
  err.Manager.output_message = Silent;
  err.Manager.emit_message = SilentMessage;
}

// Everything a decoding session touches lives here, outside the function
// that arms setjmp, so nothing it relies on after a longjmp is a local.
struct TDecodeSession {
  jpeg_decompress_struct Info;
  TJpegError Error;
  jpeg_progress_mgr Progress;
  bool Created = false;
};

// CMYK as Adobe writes it is stored inverted (0 = full ink); libjpeg reports
// that through the Adobe marker.
void CmykRowToArgb(uint8_t* row, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x) {
    uint8_t* p = row + 4 * x;
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
    p[0] = static_cast<uint8_t>(b);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(r);
    p[3] = 255;
  }
}

// The one function that makes the library calls of a decoding session.
bool RunDecode(TDecodeSession& s, const uint8_t* data, size_t size, TImage* image, int32_t& width,
               int32_t& height, int minLongSide) {
  InitError(s.Error);
  s.Info.err = &s.Error.Manager;
  if (setjmp(s.Error.Jump)) return false;
  jpeg_create_decompress(&s.Info);
  s.Created = true;
  s.Progress.progress_monitor = ProgressMonitor;
  s.Info.progress = &s.Progress;
  jpeg_mem_src(&s.Info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&s.Info, TRUE) != JPEG_HEADER_OK) return false;
  width = static_cast<int32_t>(s.Info.image_width);
  height = static_cast<int32_t>(s.Info.image_height);
  if (!SaneSize(width, height)) return false;
  if (!image) return true;

  bool cmyk = s.Info.jpeg_color_space == JCS_CMYK || s.Info.jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    s.Info.out_color_space = JCS_CMYK;
  } else if (s.Info.num_components == 1 || s.Info.num_components == 3) {
    s.Info.out_color_space = JCS_EXT_BGRA;
  } else {
    return false;
  }
  // A reduced picture (for a thumbnail) comes out of the DCT scaled by 1/2,
  // 1/4 or 1/8, as long as its longer side stays at least minLongSide.
  unsigned denom = 1;
  if (minLongSide > 0) {
    const unsigned longSide = static_cast<unsigned>(std::max(width, height));
    while (denom < 8 && longSide / (denom * 2) >= static_cast<unsigned>(minLongSide)) denom *= 2;
  }
  s.Info.scale_num = 1;
  s.Info.scale_denom = denom;
  jpeg_start_decompress(&s.Info);
  if (s.Info.output_components != 4 || (denom == 1 && (s.Info.output_width != s.Info.image_width ||
                                                       s.Info.output_height != s.Info.image_height)))
    return false;
  width = static_cast<int32_t>(s.Info.output_width);
  height = static_cast<int32_t>(s.Info.output_height);
  if (!SaneSize(width, height)) return false;
  image->Width = width;
  image->Height = height;
  if (!image->Pixels.TryResize(static_cast<size_t>(width) * height)) return false;
  auto* base = reinterpret_cast<uint8_t*>(image->Pixels.data());
  const size_t stride = static_cast<size_t>(width) * 4;
  while (s.Info.output_scanline < s.Info.output_height) {
    JSAMPROW rows[4];
    JDIMENSION first = s.Info.output_scanline;
    int count = 0;
    for (; count < 4 && first + count < s.Info.output_height; ++count)
      rows[count] = base + (first + count) * stride;
    JDIMENSION got = jpeg_read_scanlines(&s.Info, rows, count);
    if (got == 0) return false;
    if (cmyk)
      for (JDIMENSION r = 0; r < got; ++r)
        CmykRowToArgb(base + (first + r) * stride, s.Info.output_width, s.Info.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&s.Info);
  return true;
}

bool Decode(const uint8_t* data, size_t size, TImage* image, int32_t& width, int32_t& height,
            int minLongSide = 0) {
  if (!data || size < 4) return false;
  auto session = std::make_unique<TDecodeSession>();
  bool ok = RunDecode(*session, data, size, image, width, height, minLongSide);
  if (session->Created) jpeg_destroy_decompress(&session->Info);
  return ok;
}

// The compressed bytes grow in a vector of the session; libjpeg's own memory
// destination would leave a dangling buffer behind a longjmp.
struct TEncodeSession {
  jpeg_compress_struct Info;
  TJpegError Error;
  jpeg_destination_mgr Destination;
  TBytes* Out = nullptr;
  bool Created = false;
};

TEncodeSession* SessionOf(j_compress_ptr cinfo) { return static_cast<TEncodeSession*>(cinfo->client_data); }

// No exception may cross libjpeg's C frames: a failed allocation becomes a
// library error.
void Grow(j_compress_ptr cinfo, size_t size) {
  TEncodeSession* s = SessionOf(cinfo);
  try {
    s->Out->resize(size);
  } catch (...) {
    ErrorExit(reinterpret_cast<j_common_ptr>(cinfo));
  }
}

void InitDestination(j_compress_ptr cinfo) {
  TEncodeSession* s = SessionOf(cinfo);
  Grow(cinfo, 1 << 16);
  s->Destination.next_output_byte = s->Out->data();
  s->Destination.free_in_buffer = s->Out->size();
}

boolean EmptyBuffer(j_compress_ptr cinfo) {
  TEncodeSession* s = SessionOf(cinfo);
  size_t used = s->Out->size();  // libjpeg hands over the whole buffer here
  Grow(cinfo, used * 2);
  s->Destination.next_output_byte = s->Out->data() + used;
  s->Destination.free_in_buffer = s->Out->size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  TEncodeSession* s = SessionOf(cinfo);
  s->Out->resize(s->Out->size() - s->Destination.free_in_buffer);
}

// An encoding session's compressor writing into its buffer, for 4-byte
// pixels. Called after the caller's setjmp, which catches the library's errors.
void CreateCompress(TEncodeSession& s, int32_t width, int32_t height, J_COLOR_SPACE pixels) {
  jpeg_create_compress(&s.Info);
  s.Created = true;
  s.Info.client_data = &s;
  s.Destination.init_destination = InitDestination;
  s.Destination.empty_output_buffer = EmptyBuffer;
  s.Destination.term_destination = TermDestination;
  s.Info.dest = &s.Destination;
  s.Info.image_width = static_cast<JDIMENSION>(width);
  s.Info.image_height = static_cast<JDIMENSION>(height);
  s.Info.input_components = 4;
  s.Info.in_color_space = pixels;
}

// The one function that makes the library calls of an encoding session.
bool RunEncode(TEncodeSession& s, const uint32_t* pixels, int32_t width, int32_t height, int quality) {
  InitError(s.Error);
  s.Info.err = &s.Error.Manager;
  if (setjmp(s.Error.Jump)) return false;
  CreateCompress(s, width, height, JCS_EXT_BGRA);
  jpeg_set_defaults(&s.Info);  // YCbCr with 4:2:0 subsampling
  jpeg_set_quality(&s.Info, quality, TRUE);
  jpeg_start_compress(&s.Info, TRUE);
  auto* base = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(pixels));
  const size_t stride = static_cast<size_t>(width) * 4;
  while (s.Info.next_scanline < s.Info.image_height) {
    JSAMPROW rows[8];
    JDIMENSION first = s.Info.next_scanline;
    int count = 0;
    for (; count < 8 && first + count < s.Info.image_height; ++count)
      rows[count] = base + (first + count) * stride;
    jpeg_write_scanlines(&s.Info, rows, count);
  }
  jpeg_finish_compress(&s.Info);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, TImage& image) {
  int32_t w = 0, h = 0;
  return Decode(data, size, &image, w, h);
}

bool DecodeJpegReduced(const uint8_t* data, size_t size, int minLongSide, TImage& image) {
  int32_t w = 0, h = 0;
  return Decode(data, size, &image, w, h, minLongSide);
}

bool JpegSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  return Decode(data, size, nullptr, width, height);
}

bool EncodeJpegToMemory(const uint32_t* pixels, int32_t width, int32_t height, int quality,
                        std::vector<uint8_t>& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
    return false;
  if (quality < 0) quality = 0;
  if (quality > 100) quality = 100;
  auto session = std::make_unique<TEncodeSession>();
  session->Out = &out;
  bool ok = RunEncode(*session, pixels, width, height, quality);
  if (session->Created) jpeg_destroy_compress(&session->Info);
  if (!ok) out.clear();
  return ok && !out.empty();
}

// ---- the block-keeping path ------------------------------------------------

namespace {

struct TColourSession {
  jpeg_decompress_struct Info;
  TJpegError Error;
  bool Created = false;
};

bool RunReadColours(TColourSession& s, const uint8_t* data, size_t size, TJpegColours& colours) {
  InitError(s.Error);
  s.Info.err = &s.Error.Manager;
  if (setjmp(s.Error.Jump)) return false;
  jpeg_create_decompress(&s.Info);
  s.Created = true;
  jpeg_mem_src(&s.Info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&s.Info, TRUE) != JPEG_HEADER_OK) return false;
  colours = s.Info.jpeg_color_space == JCS_GRAYSCALE ? TJpegColours::Grey
            : s.Info.jpeg_color_space == JCS_YCbCr   ? TJpegColours::YCbCr
                                                     : TJpegColours::Other;
  return true;
}

// The one function that makes the library calls of a window's encoding.
bool RunEncodeGeometry(TEncodeSession& s, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowPixels,
                       const TBlockGeometry& g) {
  InitError(s.Error);
  s.Info.err = &s.Error.Manager;
  if (setjmp(s.Error.Jump)) return false;
  CreateCompress(s, width, height, JCS_EXT_BGRX);
  jpeg_set_defaults(&s.Info);
  jpeg_set_colorspace(&s.Info, g.Components == 1 ? JCS_GRAYSCALE : JCS_YCbCr);
  s.Info.write_JFIF_header = FALSE;
  s.Info.optimize_coding = FALSE;
  s.Info.dct_method = JDCT_ISLOW;
  for (int c = 0; c < g.Components; ++c) {
    jpeg_component_info* comp = &s.Info.comp_info[c];
    comp->component_id = g.Ids[size_t(c)];
    comp->h_samp_factor = g.H[size_t(c)];
    comp->v_samp_factor = g.V[size_t(c)];
    comp->quant_tbl_no = c;
    JQUANT_TBL* table = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&s.Info));
    for (int k = 0; k < 64; ++k) table->quantval[kZigzagToNatural[k]] = g.Quant[size_t(c)][size_t(k)];
    table->sent_table = FALSE;
    s.Info.quant_tbl_ptrs[c] = table;
  }
  jpeg_start_compress(&s.Info, TRUE);
  auto* base = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(pixels));
  const size_t stride = static_cast<size_t>(rowPixels) * 4;
  while (s.Info.next_scanline < s.Info.image_height) {
    JSAMPROW rows[16];
    const JDIMENSION first = s.Info.next_scanline;
    int count = 0;
    for (; count < 16 && first + JDIMENSION(count) < s.Info.image_height; ++count)
      rows[count] = base + (first + JDIMENSION(count)) * stride;
    jpeg_write_scanlines(&s.Info, rows, JDIMENSION(count));
  }
  jpeg_finish_compress(&s.Info);
  return true;
}

JDIMENSION RoundUp(JDIMENSION value, int multiple) {
  return (value + JDIMENSION(multiple) - 1) / JDIMENSION(multiple) * JDIMENSION(multiple);
}

}  // namespace

TJpegColours ReadJpegColours(const uint8_t* data, size_t size) {
  if (!data || size < 4) return TJpegColours::Unreadable;
  auto session = std::make_unique<TColourSession>();
  TJpegColours colours = TJpegColours::Unreadable;
  if (!RunReadColours(*session, data, size, colours)) colours = TJpegColours::Unreadable;
  if (session->Created) jpeg_destroy_decompress(&session->Info);
  return colours;
}

bool EncodeWithGeometry(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                        const TBlockGeometry& geometry, std::vector<uint8_t>& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
      stride < width || (geometry.Components != 1 && geometry.Components != 3))
    return false;
  for (int c = 0; c < geometry.Components; ++c)
    for (uint16_t q : geometry.Quant[size_t(c)])
      if (q == 0) return false;  // libjpeg would divide by it
  auto session = std::make_unique<TEncodeSession>();
  session->Out = &out;
  const bool ok = RunEncodeGeometry(*session, pixels, width, height, stride, geometry);
  if (session->Created) jpeg_destroy_compress(&session->Info);
  if (!ok) out.clear();
  return ok && !out.empty();
}

// The source is read and the output written by two libjpeg objects that
// share one error manager, so one armed jump covers the calls of each step.
struct TJpegCoefficients::TSession {
  jpeg_decompress_struct Source;
  jpeg_progress_mgr Progress;
  bool SourceCreated = false;
  jvirt_barray_ptr* Arrays = nullptr;
  TEncodeSession Output;  // its error manager serves both objects

  ~TSession() {
    if (Output.Created) jpeg_destroy_compress(&Output.Info);
    if (SourceCreated) jpeg_destroy_decompress(&Source);
  }
};

namespace {

// The one function that makes the library calls of reading the coefficients.
bool RunReadCoefficients(TJpegCoefficients::TSession& s, const uint8_t* data, size_t size,
                         const TBlockGeometry& g, const std::vector<int32_t>& slotOf,
                         std::vector<int16_t>& coefficients, std::vector<int16_t>& dc) {
  InitError(s.Output.Error);
  s.Source.err = &s.Output.Error.Manager;
  if (setjmp(s.Output.Error.Jump)) return false;
  jpeg_create_decompress(&s.Source);
  s.SourceCreated = true;
  s.Progress.progress_monitor = ProgressMonitor;
  s.Source.progress = &s.Progress;
  jpeg_mem_src(&s.Source, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&s.Source, TRUE) != JPEG_HEADER_OK) return false;
  if (s.Source.num_components != g.Components || s.Source.data_precision != 8 ||
      int(s.Source.image_width) != g.Width || int(s.Source.image_height) != g.Height)
    return false;
  s.Arrays = jpeg_read_coefficients(&s.Source);
  if (!s.Arrays) return false;
  for (int c = 0; c < g.Components; ++c) {
    const jpeg_component_info* comp = &s.Source.comp_info[c];
    // The arrays are padded to whole sampling units; they must hold the grid.
    if (int(RoundUp(comp->width_in_blocks, comp->h_samp_factor)) < g.BlocksWide(c) ||
        int(RoundUp(comp->height_in_blocks, comp->v_samp_factor)) < g.BlocksHigh(c))
      return false;
  }
  const size_t bpm = size_t(g.BlocksPerMcu);
  for (int my = 0; my < g.McusHigh; ++my)
    for (int c = 0; c < g.Components; ++c) {
      const int hc = g.H[size_t(c)], vc = g.V[size_t(c)];
      JBLOCKARRAY rows = (*s.Source.mem->access_virt_barray)(
          reinterpret_cast<j_common_ptr>(&s.Source), s.Arrays[c], JDIMENSION(my * vc), JDIMENSION(vc), FALSE);
      for (int mx = 0; mx < g.McusWide; ++mx) {
        const size_t m = size_t(my) * size_t(g.McusWide) + size_t(mx);
        const int32_t slot = slotOf[m];
        for (int v = 0; v < vc; ++v)
          for (int h = 0; h < hc; ++h) {
            const JCOEF* block = rows[v][mx * hc + h];
            const size_t b = size_t(g.FirstBlock[size_t(c)] + v * hc + h);
            dc[m * bpm + b] = block[0];
            if (slot < 0) continue;
            int16_t* out = &coefficients[(size_t(slot) * bpm + b) * 64];
            for (int k = 0; k < 64; ++k) out[k] = block[kZigzagToNatural[k]];
          }
      }
    }
  return true;
}

// The one function that makes the library calls of writing them out again.
bool RunWriteCoefficients(TJpegCoefficients::TSession& s, const TBlockGeometry& g,
                          const std::vector<int32_t>& newSlotOf, const std::vector<int16_t>& newBlocks,
                          bool progressive) {
  if (setjmp(s.Output.Error.Jump)) return false;
  const size_t bpm = size_t(g.BlocksPerMcu);
  for (int my = 0; my < g.McusHigh; ++my) {
    bool any = false;
    for (int mx = 0; mx < g.McusWide && !any; ++mx)
      any = newSlotOf[size_t(my) * size_t(g.McusWide) + size_t(mx)] >= 0;
    if (!any) continue;
    for (int c = 0; c < g.Components; ++c) {
      const int hc = g.H[size_t(c)], vc = g.V[size_t(c)];
      JBLOCKARRAY rows = (*s.Source.mem->access_virt_barray)(
          reinterpret_cast<j_common_ptr>(&s.Source), s.Arrays[c], JDIMENSION(my * vc), JDIMENSION(vc), TRUE);
      for (int mx = 0; mx < g.McusWide; ++mx) {
        const int32_t slot = newSlotOf[size_t(my) * size_t(g.McusWide) + size_t(mx)];
        if (slot < 0) continue;
        for (int v = 0; v < vc; ++v)
          for (int h = 0; h < hc; ++h) {
            JCOEF* block = rows[v][mx * hc + h];
            const int16_t* in =
                &newBlocks[(size_t(slot) * bpm + size_t(g.FirstBlock[size_t(c)] + v * hc + h)) * 64];
            for (int k = 0; k < 64; ++k) block[kZigzagToNatural[k]] = in[k];
          }
      }
    }
  }
  TEncodeSession& o = s.Output;
  o.Info.err = &o.Error.Manager;
  jpeg_create_compress(&o.Info);
  o.Created = true;
  o.Info.client_data = &o;
  o.Destination.init_destination = InitDestination;
  o.Destination.empty_output_buffer = EmptyBuffer;
  o.Destination.term_destination = TermDestination;
  o.Info.dest = &o.Destination;
  jpeg_copy_critical_parameters(&s.Source, &o.Info);
  // The source's own APPn segments are put back by the caller.
  o.Info.write_JFIF_header = FALSE;
  o.Info.write_Adobe_marker = FALSE;
  o.Info.optimize_coding = TRUE;
  o.Info.restart_interval = s.Source.restart_interval;
  if (progressive) jpeg_simple_progression(&o.Info);
  jpeg_write_coefficients(&o.Info, s.Arrays);
  jpeg_finish_compress(&o.Info);
  return true;
}

}  // namespace

TJpegCoefficients::TJpegCoefficients() : session_(std::make_unique<TSession>()) {}
TJpegCoefficients::~TJpegCoefficients() = default;

bool TJpegCoefficients::Read(const uint8_t* data, size_t size, const TBlockGeometry& geometry,
                             const std::vector<int32_t>& slotOf, std::vector<int16_t>& coefficients,
                             std::vector<int16_t>& dc) {
  if (!data || size < 4 || session_->SourceCreated || slotOf.size() != size_t(geometry.Mcus())) return false;
  dc.assign(size_t(geometry.Mcus()) * size_t(geometry.BlocksPerMcu), 0);
  return RunReadCoefficients(*session_, data, size, geometry, slotOf, coefficients, dc);
}

bool TJpegCoefficients::Write(const TBlockGeometry& geometry, const std::vector<int32_t>& newSlotOf,
                              const std::vector<int16_t>& newBlocks, bool progressive,
                              std::vector<uint8_t>& out) {
  out.clear();
  if (!session_->Arrays || session_->Output.Created || newSlotOf.size() != size_t(geometry.Mcus()))
    return false;
  session_->Output.Out = &out;
  const bool ok = RunWriteCoefficients(*session_, geometry, newSlotOf, newBlocks, progressive);
  if (!ok) out.clear();
  return ok && !out.empty();
}

bool TJpegCoefficients::Progressive() const {
  return session_->SourceCreated && session_->Source.progressive_mode;
}

}  // namespace kobalt
