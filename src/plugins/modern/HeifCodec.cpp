// HEIC/HEIF through libheif (libde265 to decode, x265 to encode where the
// library has it).

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "IsoBmff.h"
#include "ModernCodecs.h"

namespace modern {
namespace {

struct TContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TEncoderDeleter {
  void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct TDecodingOptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using TContext = std::unique_ptr<heif_context, TContextDeleter>;
using THandle = std::unique_ptr<heif_image_handle, THandleDeleter>;

// A library that is initialised once and stays for the life of the module
// (its plug-in registry is global).
void InitOnce() {
  static const bool done = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)done;
}

bool OpenPrimary(const uint8_t* data, size_t size, TContext& context, THandle& handle) {
  InitOnce();
  if (!data || size < 12 || size > size_t(INT32_MAX)) return false;
  // libheif trusts the item table's sizes further than we do.
  if (!HeifStructureSane(data, size)) return false;
  context.reset(heif_context_alloc());
  if (!context) return false;
  // Each side on its own, before the product check below.
  heif_context_set_maximum_image_size_limit(context.get(), int(kobalt::kMaxPixels >> 10));
  if (heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok)
    return false;
  heif_image_handle* primary = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok || !primary)
    return false;
  handle.reset(primary);
  // The handle's size is the displayed one, rotation included.
  return kobalt::SaneSize(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary));
}

}  // namespace

bool CanEncodeHeic() {
  InitOnce();
  return heif_have_encoder_for_format(heif_compression_HEVC) != 0;
}

bool DecodeHeif(const uint8_t* data, size_t size, TImage& image) {
  image = TImage();
  TContext context;
  THandle handle;
  if (!OpenPrimary(data, size, context, handle)) return false;
  std::unique_ptr<heif_decoding_options, TDecodingOptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) return false;
  options->convert_hdr_to_8bit = 1;  // 10- and 12-bit pictures come down to 8 bits
  heif_image* decoded = nullptr;
  if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get())
          .code != heif_error_Ok ||
      !decoded)
    return false;
  std::unique_ptr<heif_image, TImageDeleter> picture(decoded);
  const int w = heif_image_get_width(decoded, heif_channel_interleaved);
  const int h = heif_image_get_height(decoded, heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  if (!plane || !kobalt::SaneSize(w, h) || stride < w * 4 ||
      heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8)
    return false;
  if (!image.Pixels.TryResize(size_t(w) * size_t(h))) return false;
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = plane + size_t(y) * size_t(stride);
    uint32_t* dst = image.Pixels.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w; ++x, src += 4)
      dst[x] = uint32_t(src[3]) << 24 | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
  }
  image.Width = w;
  image.Height = h;
  return true;
}

bool HeifSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  TContext context;
  THandle handle;
  if (!OpenPrimary(data, size, context, handle)) return false;
  width = heif_image_handle_get_width(handle.get());
  height = heif_image_handle_get_height(handle.get());
  return true;
}

bool EncodeHeic(const uint32_t* pixels, int32_t width, int32_t height, int quality, TBytes& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0 || !CanEncodeHeic()) return false;
  const bool opaque = IsOpaque(pixels, size_t(width) * size_t(height));
  heif_image* raw = nullptr;
  if (heif_image_create(width, height, heif_colorspace_RGB,
                        opaque ? heif_chroma_interleaved_RGB : heif_chroma_interleaved_RGBA, &raw)
          .code != heif_error_Ok)
    return false;
  std::unique_ptr<heif_image, TImageDeleter> image(raw);
  if (heif_image_add_plane(raw, heif_channel_interleaved, width, height, 8).code != heif_error_Ok) return false;
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
  if (!plane) return false;
  for (int y = 0; y < height; ++y) {
    const uint32_t* src = pixels + size_t(y) * size_t(width);
    uint8_t* dst = plane + size_t(y) * size_t(stride);
    for (int x = 0; x < width; ++x) {
      uint32_t p = src[x];
      *dst++ = uint8_t(p >> 16), *dst++ = uint8_t(p >> 8), *dst++ = uint8_t(p);
      if (!opaque) *dst++ = uint8_t(p >> 24);
    }
  }
  TContext context(heif_context_alloc());
  if (!context) return false;
  heif_encoder* rawEncoder = nullptr;
  if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder).code != heif_error_Ok)
    return false;
  std::unique_ptr<heif_encoder, TEncoderDeleter> encoder(rawEncoder);
  heif_encoder_set_lossy_quality(rawEncoder, std::clamp(quality, 0, 100));
  heif_encoder_set_logging_level(rawEncoder, 0);
  if (heif_context_encode_image(context.get(), raw, rawEncoder, nullptr, nullptr).code != heif_error_Ok)
    return false;
  heif_writer writer{};
  writer.writer_api_version = 1;
  writer.write = [](heif_context*, const void* data, size_t size, void* user) {
    auto* bytes = static_cast<TBytes*>(user);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), p, p + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
  };
  if (heif_context_write(context.get(), &writer, &out).code != heif_error_Ok) {
    out.clear();
    return false;
  }
  return !out.empty();
}

}  // namespace modern
