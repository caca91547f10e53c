// JPEG XL through libjxl.

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "ModernCodecs.h"

namespace modern {
namespace {

struct TDecoderDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct TEncoderDeleter {
  void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};
struct TRunnerDeleter {
  void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};
using TRunner = std::unique_ptr<void, TRunnerDeleter>;

TRunner MakeRunner() {
  return TRunner(JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
}

// Decodes up to the basic information, or on to the first full frame when
// `image` is given. The codestream's orientation is applied by the library.
bool Run(const uint8_t* data, size_t size, int32_t& width, int32_t& height, TImage* image) {
  std::unique_ptr<JxlDecoder, TDecoderDeleter> decoder(JxlDecoderCreate(nullptr));
  if (!decoder || !data) return false;
  TRunner runner;
  if (image) {
    runner = MakeRunner();
    if (!runner || JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) !=
                       JXL_DEC_SUCCESS)
      return false;
  }
  int events = JXL_DEC_BASIC_INFO | (image ? JXL_DEC_FULL_IMAGE : 0);
  if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS)
    return false;
  JxlDecoderCloseInput(decoder.get());
  const JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  for (;;) {
    JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
    switch (status) {
      case JXL_DEC_BASIC_INFO: {
        JxlBasicInfo info;
        if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) return false;
        // The upright size: orientations 5 to 8 swap the sides.
        int64_t w = info.xsize, h = info.ysize;
        if (info.orientation >= JXL_ORIENT_TRANSPOSE) std::swap(w, h);
        if (!kobalt::SaneSize(w, h)) return false;
        width = int32_t(w);
        height = int32_t(h);
        if (!image) return true;
        break;
      }
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        size_t bytes = 0;
        if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &bytes) != JXL_DEC_SUCCESS ||
            bytes != size_t(width) * size_t(height) * 4 || !image->Pixels.TryResize(size_t(width) * size_t(height)))
          return false;
        if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, image->Pixels.data(), bytes) != JXL_DEC_SUCCESS)
          return false;
        break;
      }
      case JXL_DEC_FULL_IMAGE: {
        // The first frame is the picture; RGBA in memory becomes BGRA.
        image->Width = width;
        image->Height = height;
        for (uint32_t& p : image->Pixels) {
          uint32_t r = p & 0xFF, b = (p >> 16) & 0xFF;
          p = (p & 0xFF00FF00u) | r << 16 | b;
        }
        return true;
      }
      default:
        return false;  // an error, or the input ended before the first frame
    }
  }
}

}  // namespace

bool DecodeJxl(const uint8_t* data, size_t size, TImage& image) {
  image = TImage();
  int32_t w = 0, h = 0;
  if (Run(data, size, w, h, &image)) return true;
  image = TImage();
  return false;
}

bool JxlSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  return Run(data, size, width, height, nullptr);
}

bool EncodeJxl(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0) return false;
  quality = std::clamp(quality, 0, 100);
  const size_t count = size_t(width) * size_t(height);
  const bool opaque = IsOpaque(pixels, count);
  // The library takes RGB(A) in that byte order.
  const size_t channels = opaque ? 3 : 4;
  std::vector<uint8_t> rgba(count * channels);
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = pixels[i];
    uint8_t* d = rgba.data() + i * channels;
    d[0] = uint8_t(p >> 16), d[1] = uint8_t(p >> 8), d[2] = uint8_t(p);
    if (!opaque) d[3] = uint8_t(p >> 24);
  }
  std::unique_ptr<JxlEncoder, TEncoderDeleter> encoder(JxlEncoderCreate(nullptr));
  TRunner runner = MakeRunner();
  if (!encoder || !runner ||
      JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS)
    return false;
  const bool lossless = quality >= 100;
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = uint32_t(width);
  info.ysize = uint32_t(height);
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.num_extra_channels = opaque ? 0 : 1;
  info.alpha_bits = opaque ? 0 : 8;
  info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
  if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS) return false;
  JxlColorEncoding color;
  JxlColorEncodingSetToSRGB(&color, JXL_FALSE);
  if (JxlEncoderSetColorEncoding(encoder.get(), &color) != JXL_ENC_SUCCESS) return false;
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
  if (!settings) return false;
  if (lossless) {
    if (JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS) return false;
  } else {
    // The distance that cjxl gives a quality setting.
    float distance = quality >= 30 ? 0.1f + float(100 - quality) * 0.09f
                                   : 6.4f + float(std::pow(2.5, (30 - quality) / 5.0) / 6.25);
    if (JxlEncoderSetFrameDistance(settings, std::min(distance, 25.0f)) != JXL_ENC_SUCCESS) return false;
  }
  const JxlPixelFormat format = {uint32_t(channels), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (JxlEncoderAddImageFrame(settings, &format, rgba.data(), rgba.size()) != JXL_ENC_SUCCESS) return false;
  JxlEncoderCloseInput(encoder.get());
  out.resize(64 * 1024);
  uint8_t* next = out.data();
  size_t avail = out.size();
  for (;;) {
    JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &avail);
    if (status == JXL_ENC_SUCCESS) break;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) {
      out.clear();
      return false;
    }
    size_t used = size_t(next - out.data());
    out.resize(out.size() * 2);
    next = out.data() + used;
    avail = out.size() - used;
  }
  out.resize(size_t(next - out.data()));
  return !out.empty();
}

}  // namespace modern
