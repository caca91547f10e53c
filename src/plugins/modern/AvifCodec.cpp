// AVIF through libavif (dav1d or libaom to decode, libaom to encode).

#include <avif/avif.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "IsoBmff.h"
#include "ModernCodecs.h"

namespace modern {
namespace {

struct TDecoderDeleter {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct TEncoderDeleter {
  void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};
struct TImageDeleter {
  void operator()(avifImage* i) const { avifImageDestroy(i); }
};

int Threads() { return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)); }

// The EXIF orientation that the container's rotation (anti-clockwise quarter
// turns, applied first) and mirror describe.
int OrientationOf(const avifImage* image) {
  int angle = (image->transformFlags & AVIF_TRANSFORM_IROT) ? image->irot.angle & 3 : 0;
  int mirror = (image->transformFlags & AVIF_TRANSFORM_IMIR) ? int(image->imir.mode) : -1;
  // Without mirror: 0 -> 1, 90 ccw -> 8, 180 -> 3, 270 ccw -> 6.
  static const int kRotate[4] = {1, 8, 3, 6};
  if (mirror < 0) return kRotate[angle];
  // Mirror after rotation: mode 1 exchanges left and right, mode 0 top and bottom.
  static const int kMirrorLeftRight[4] = {2, 7, 4, 5};
  static const int kMirrorTopBottom[4] = {4, 5, 2, 7};
  return mirror == 1 ? kMirrorLeftRight[angle] : kMirrorTopBottom[angle];
}

std::unique_ptr<avifDecoder, TDecoderDeleter> Parse(const uint8_t* data, size_t size, bool withPixels) {
  // libavif reads the item table itself; a table whose sizes or extents lie
  // is refused before it gets there.
  if (!HeifStructureSane(data, size)) return nullptr;
  std::unique_ptr<avifDecoder, TDecoderDeleter> decoder(avifDecoderCreate());
  if (!decoder) return nullptr;
  decoder->maxThreads = withPixels ? Threads() : 1;
  decoder->imageSizeLimit = uint32_t(kobalt::kMaxPixels);
  // The library's own limit on a sequence's frame count stays: the first
  // frame is the picture, but a sequence is still parsed as a whole.
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  decoder->strictFlags = AVIF_STRICT_DISABLED;
  if (avifDecoderSetIOMemory(decoder.get(), data, size) != AVIF_RESULT_OK) return nullptr;
  if (avifDecoderParse(decoder.get()) != AVIF_RESULT_OK) return nullptr;
  if (!kobalt::SaneSize(decoder->image->width, decoder->image->height)) return nullptr;
  return decoder;
}

}  // namespace

bool DecodeAvif(const uint8_t* data, size_t size, TImage& image) {
  image = TImage();
  auto decoder = Parse(data, size, true);
  if (!decoder || avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK) return false;
  const avifImage* frame = decoder->image;
  if (!kobalt::SaneSize(frame->width, frame->height)) return false;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, frame);
  // 10- and 12-bit pictures come down to 8 bits in the conversion.
  rgb.depth = 8;
  rgb.format = AVIF_RGB_FORMAT_BGRA;
  rgb.rowBytes = frame->width * 4;
  if (!image.Pixels.TryResize(size_t(frame->width) * frame->height)) return false;
  rgb.pixels = reinterpret_cast<uint8_t*>(image.Pixels.data());
  if (avifImageYUVToRGB(frame, &rgb) != AVIF_RESULT_OK) {
    image = TImage();
    return false;
  }
  image.Width = int32_t(frame->width);
  image.Height = int32_t(frame->height);
  kobalt::ApplyOrientation(image, OrientationOf(frame));
  return true;
}

bool AvifSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  auto decoder = Parse(data, size, false);
  if (!decoder) return false;
  width = int32_t(decoder->image->width);
  height = int32_t(decoder->image->height);
  if (OrientationOf(decoder->image) >= 5) std::swap(width, height);
  return true;
}

bool EncodeAvif(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0) return false;
  quality = std::clamp(quality, 0, 100);
  const bool opaque = IsOpaque(pixels, size_t(width) * size_t(height));
  // The best quality keeps full chroma resolution; below it, 4:2:0 as avifenc.
  std::unique_ptr<avifImage, TImageDeleter> image(
      avifImageCreate(uint32_t(width), uint32_t(height), 8,
                      quality >= 100 ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420));
  if (!image) return false;
  image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
  image->yuvRange = AVIF_RANGE_FULL;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, image.get());
  rgb.format = AVIF_RGB_FORMAT_BGRA;
  rgb.ignoreAlpha = opaque ? AVIF_TRUE : AVIF_FALSE;
  rgb.pixels = const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(pixels));  // only read
  rgb.rowBytes = uint32_t(width) * 4;
  if (avifImageRGBToYUV(image.get(), &rgb) != AVIF_RESULT_OK) return false;

  std::unique_ptr<avifEncoder, TEncoderDeleter> encoder(avifEncoderCreate());
  if (!encoder) return false;
  encoder->maxThreads = Threads();
  encoder->speed = 6;  // avifenc's default: libaom's own default is many times slower
  // Quality 100 is quantizer 0, quality 0 the coarsest quantizer.
  int q = (100 - quality) * AVIF_QUANTIZER_WORST_QUALITY / 100;
  encoder->minQuantizer = encoder->maxQuantizer = q;
  encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
  avifRWData output = AVIF_DATA_EMPTY;
  bool ok = avifEncoderWrite(encoder.get(), image.get(), &output) == AVIF_RESULT_OK;
  if (ok) out.assign(output.data, output.data + output.size);
  avifRWDataFree(&output);
  return ok && !out.empty();
}

}  // namespace modern
