// WebP through libwebp (still pictures), libwebpdemux (the first frame of an
// animation, the EXIF chunk for the orientation).

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "Codecs.h"
#include "ModernCodecs.h"

namespace modern {
namespace {

struct TDemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct TAnimDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// The EXIF orientation of the file's EXIF chunk, 1 when there is none.
int WebpOrientation(const uint8_t* data, size_t size) {
  WebPData bytes{data, size};
  std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux(WebPDemux(&bytes));
  if (!demux) return 1;
  WebPChunkIterator chunk;
  int orientation = 1;
  if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
    const uint8_t* tiff = chunk.chunk.bytes;
    size_t n = chunk.chunk.size;
    // Some writers keep the JPEG "Exif\0\0" header in the chunk.
    if (n >= 6 && std::memcmp(tiff, "Exif\0\0", 6) == 0) tiff += 6, n -= 6;
    orientation = kobalt::TiffStructureOrientation(tiff, n);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return orientation;
}

// Straight-alpha BGRA in memory is the little-endian 0xAARRGGBB of TImage.
bool DecodeAnimationFirstFrame(const uint8_t* data, size_t size, int width, int height, TImage& image) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return false;
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  WebPData bytes{data, size};
  std::unique_ptr<WebPAnimDecoder, TAnimDeleter> anim(WebPAnimDecoderNew(&bytes, &options));
  if (!anim) return false;
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(anim.get(), &info) || int(info.canvas_width) != width ||
      int(info.canvas_height) != height)
    return false;
  uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(anim.get(), &frame, &timestamp) || !frame) return false;
  if (!image.Pixels.TryResize(size_t(width) * size_t(height))) return false;
  std::memcpy(image.Pixels.data(), frame, size_t(width) * size_t(height) * 4);
  image.Width = width;
  image.Height = height;
  return true;
}

}  // namespace

bool DecodeWebp(const uint8_t* data, size_t size, TImage& image) {
  image = TImage();
  WebPBitstreamFeatures features;
  if (!data || WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return false;
  const int w = features.width, h = features.height;
  if (!kobalt::SaneSize(w, h)) return false;
  bool ok;
  if (features.has_animation) {
    ok = DecodeAnimationFirstFrame(data, size, w, h, image);
  } else {
    if (!image.Pixels.TryResize(size_t(w) * size_t(h))) return false;
    const size_t stride = size_t(w) * 4;
    ok = WebPDecodeBGRAInto(data, size, reinterpret_cast<uint8_t*>(image.Pixels.data()), stride * size_t(h),
                            int(stride)) != nullptr;
    image.Width = w;
    image.Height = h;
  }
  if (!ok) {
    image = TImage();
    return false;
  }
  kobalt::ApplyOrientation(image, WebpOrientation(data, size));
  return true;
}

bool DecodeWebpReduced(const uint8_t* data, size_t size, int minLongSide, TImage& image) {
  image = TImage();
  WebPDecoderConfig config;
  if (!data || !WebPInitDecoderConfig(&config) || WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK)
    return false;
  const int w = config.input.width, h = config.input.height;
  if (!kobalt::SaneSize(w, h)) return false;
  if (config.input.has_animation || std::max(w, h) <= minLongSide) return DecodeWebp(data, size, image);
  // The decoder scales while it decodes: the longer side becomes minLongSide.
  const int sw = w >= h ? minLongSide : std::max(1, int(int64_t(w) * minLongSide / h));
  const int sh = w >= h ? std::max(1, int(int64_t(h) * minLongSide / w)) : minLongSide;
  if (!image.Pixels.TryResize(size_t(sw) * size_t(sh))) return false;
  config.options.use_scaling = 1;
  config.options.scaled_width = sw;
  config.options.scaled_height = sh;
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = reinterpret_cast<uint8_t*>(image.Pixels.data());
  config.output.u.RGBA.stride = sw * 4;
  config.output.u.RGBA.size = size_t(sw) * size_t(sh) * 4;
  bool ok = WebPDecode(data, size, &config) == VP8_STATUS_OK;
  WebPFreeDecBuffer(&config.output);
  if (!ok) {
    image = TImage();
    return false;
  }
  image.Width = sw;
  image.Height = sh;
  kobalt::ApplyOrientation(image, WebpOrientation(data, size));
  return true;
}

bool WebpSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  WebPBitstreamFeatures features;
  if (!data || WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return false;
  if (!kobalt::SaneSize(features.width, features.height)) return false;
  width = features.width;
  height = features.height;
  int orientation = WebpOrientation(data, size);
  if (orientation >= 5) std::swap(width, height);
  return true;
}

bool EncodeWebp(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0 || width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
    return false;
  WebPConfig config;
  if (!WebPConfigInit(&config)) return false;
  if (quality >= 100) {
    // Lossless at the default effort of cwebp -lossless.
    if (!WebPConfigLosslessPreset(&config, 6)) return false;
    config.exact = 1;  // keep the colour under transparent pixels
  } else {
    config.quality = float(quality < 0 ? 0 : quality);
  }
  if (!WebPValidateConfig(&config)) return false;
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) return false;
  picture.width = width;
  picture.height = height;
  picture.use_argb = 1;
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  bool ok = WebPPictureImportBGRA(&picture, reinterpret_cast<const uint8_t*>(pixels), width * 4) &&
            WebPEncode(&config, &picture);
  WebPPictureFree(&picture);
  if (ok) out.assign(writer.mem, writer.mem + writer.size);
  WebPMemoryWriterClear(&writer);
  return ok && !out.empty();
}

}  // namespace modern
