// The block-keeping path on arbitrary bytes: it never faults, and whatever
// it writes libjpeg reads without a single complaint about its coded data,
// at the source's size.
// The painted rectangle comes from the input's length, so that it moves.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "BlockEdit.h"
#include "CodecsInternal.h"

namespace {

class TPainter final : public tvx::TRegionPainter {
 public:
  explicit TPainter(size_t seed) : seed_(int32_t(seed % 1024)) {}
  void ChangedRegions(int32_t width, int32_t height, std::vector<tvx::TPictureRect>& regions) override {
    regions.push_back({seed_ % (width + 1) - 8, (seed_ / 7) % (height + 1) - 8, seed_ % (width + 1) + 40,
                       (seed_ / 7) % (height + 1) + 24});
  }
  bool PaintWindow(tvx::TColor32* pixels, int32_t left, int32_t top, int32_t w, int32_t h, int32_t,
                   int32_t) override {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        if (((left + x) / 3 + (top + y) / 2) % 2) pixels[size_t(y) * size_t(w) + size_t(x)] ^= 0x00FF8000u;
    return true;
  }

 private:
  int32_t seed_;
};

struct TError {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
  int Warnings = 0;
};

// The one function that makes the library calls of checking the output.
bool ReadsCleanly(jpeg_decompress_struct& info, TError& error, const std::vector<uint8_t>& jpeg, int& width,
                  int& height) {
  if (setjmp(error.Jump)) return false;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_read_coefficients(&info);
  jpeg_finish_decompress(&info);
  width = int(info.image_width);
  height = int(info.image_height);
  return error.Warnings == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPainter painter(size);
  kobalt::TBlockEditOutput output;
  tvx::TRegionEditReport report;
  kobalt::EditJpegBlocks(data, size, painter, output, report);
  if (report.Result != tvx::TRegionEditReport::Written) {
    if (!output.Jpeg.empty()) std::abort();
    return 0;
  }
  jpeg_decompress_struct info;
  TError error;
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<TError*>(c->err)->Jump, 1); };
  // Warnings about the coded data count; those about marker contents that
  // the output carries as the source has them do not.
  error.Manager.emit_message = [](j_common_ptr c, int level) {
    const int code = c->err->msg_code;
    if (level < 0 && code != JWRN_JFIF_MAJOR && code != JWRN_ADOBE_XFORM && code != JWRN_BOGUS_ICC)
      ++reinterpret_cast<TError*>(c->err)->Warnings;
  };
  int width = 0, height = 0;
  const bool clean = ReadsCleanly(info, error, output.Jpeg, width, height);
  jpeg_destroy_decompress(&info);
  int32_t w = 0, h = 0;
  if (!clean || !kobalt::JpegSize(data, size, w, h) || w != width || h != height) std::abort();
  return 0;
}
