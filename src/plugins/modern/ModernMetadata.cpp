#include "ModernMetadata.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "Codecs.h"

namespace modern {
namespace {

struct TMuxDeleter {
  void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};
struct TJxlDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

// Some writers keep JPEG's "Exif\0\0" header in the chunk or box.
TBytes WithoutExifHeader(const uint8_t* p, size_t n) {
  if (n >= 6 && std::memcmp(p, "Exif\0\0", 6) == 0) p += 6, n -= 6;
  return TBytes(p, p + n);
}

// ---- WebP -----------------------------------------------------------------

bool ReadWebp(const uint8_t* data, size_t size, THeifMetadata& m) {
  WebPData bytes{data, size};
  std::unique_ptr<WebPMux, TMuxDeleter> mux(WebPMuxCreate(&bytes, 0));
  if (!mux) return false;
  WebPData chunk;
  if (WebPMuxGetChunk(mux.get(), "EXIF", &chunk) == WEBP_MUX_OK) m.Exif = WithoutExifHeader(chunk.bytes, chunk.size);
  if (WebPMuxGetChunk(mux.get(), "ICCP", &chunk) == WEBP_MUX_OK) m.Icc.assign(chunk.bytes, chunk.bytes + chunk.size);
  if (WebPMuxGetChunk(mux.get(), "XMP ", &chunk) == WEBP_MUX_OK) m.Xmp.assign(chunk.bytes, chunk.bytes + chunk.size);
  return true;
}

bool WriteWebp(const TBytes& file, const THeifMetadataChange& change, TBytes& out) {
  WebPData bytes{file.data(), file.size()};
  std::unique_ptr<WebPMux, TMuxDeleter> mux(WebPMuxCreate(&bytes, 0));
  if (!mux) return false;
  auto apply = [&](const char* fourcc, const std::optional<TBytes>& block) {
    if (!block) return true;
    if (block->empty()) {
      WebPMuxError e = WebPMuxDeleteChunk(mux.get(), fourcc);
      return e == WEBP_MUX_OK || e == WEBP_MUX_NOT_FOUND;
    }
    WebPData chunk{block->data(), block->size()};
    return WebPMuxSetChunk(mux.get(), fourcc, &chunk, 1) == WEBP_MUX_OK;
  };
  if (!apply("EXIF", change.Exif) || !apply("ICCP", change.Icc) || !apply("XMP ", change.Xmp)) return false;
  WebPData assembled = {nullptr, 0};
  if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) return false;
  out.assign(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return !out.empty();
}

// ---- JPEG XL ----------------------------------------------------------------

const uint8_t kJxlSignature[12] = {0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
const uint32_t kJxlExif = FourCC("Exif"), kJxlXml = FourCC("xml "), kJxlBrob = FourCC("brob"),
               kJxlCodestream = FourCC("jxlc"), kJxlPartial = FourCC("jxlp"), kJxlFtyp = FourCC("ftyp"),
               kJxlLevel = FourCC("jxll");

bool IsContainer(const uint8_t* data, size_t size) {
  return size >= 12 && std::memcmp(data, kJxlSignature, 12) == 0;
}

// The colour profile when the codestream holds one that is not plain sRGB.
void ReadJxlIcc(const uint8_t* data, size_t size, TBytes& icc) {
  std::unique_ptr<JxlDecoder, TJxlDeleter> decoder(JxlDecoderCreate(nullptr));
  if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_COLOR_ENCODING) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS)
    return;
  JxlDecoderCloseInput(decoder.get());
  for (;;) {
    JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
    if (status == JXL_DEC_COLOR_ENCODING) break;
    if (status != JXL_DEC_BASIC_INFO) return;
  }
  JxlColorEncoding encoding;
  if (JxlDecoderGetColorAsEncodedProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &encoding) ==
      JXL_DEC_SUCCESS) {
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, encoding.color_space == JXL_COLOR_SPACE_GRAY);
    if (encoding.color_space == srgb.color_space && encoding.white_point == srgb.white_point &&
        encoding.primaries == srgb.primaries && encoding.transfer_function == srgb.transfer_function)
      return;  // the format's default; no profile to carry
  }
  size_t n = 0;
  if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &n) !=
          JXL_DEC_SUCCESS ||
      n == 0 || n > size_t(64) << 20)
    return;
  icc.resize(n);
  if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, icc.data(), n) !=
      JXL_DEC_SUCCESS)
    icc.clear();
}

bool ReadJxl(const uint8_t* data, size_t size, THeifMetadata& m) {
  ReadJxlIcc(data, size, m.Icc);
  if (!IsContainer(data, size)) return true;  // a bare codestream has no boxes
  std::vector<TBox> boxes;
  if (!ReadBoxes(data, 0, size, boxes)) return false;
  for (const TBox& b : boxes) {
    const uint8_t* p = data + b.PayloadOffset();
    size_t n = b.Size - b.HeaderSize;
    if (b.Type == kJxlExif && m.Exif.empty() && n >= 4) {
      uint32_t skip = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
      if (skip <= n - 4) m.Exif = WithoutExifHeader(p + 4 + skip, n - 4 - skip);
    } else if (b.Type == kJxlXml && m.Xmp.empty()) {
      m.Xmp.assign(p, p + n);
    }
  }
  return true;
}

void PutBox(TBytes& out, uint32_t type, const uint8_t* payload, size_t n) {
  uint64_t size = 8 + uint64_t(n);
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(size >> (8 * i)));
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(type >> (8 * i)));
  out.insert(out.end(), payload, payload + n);
}

bool WriteJxl(const TBytes& file, const THeifMetadataChange& change, TBytes& out) {
  const uint8_t* d = file.data();
  TBytes boxes;  // every box after the signature
  if (IsContainer(d, file.size())) {
    std::vector<TBox> list;
    if (!ReadBoxes(d, 12, file.size(), list)) return false;
    for (const TBox& b : list) {
      uint32_t inner = b.Type;
      if (b.Type == kJxlBrob && b.Size - b.HeaderSize >= 4) {
        const uint8_t* p = d + b.PayloadOffset();
        inner = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
      }
      if ((change.Exif && inner == kJxlExif) || (change.Xmp && inner == kJxlXml)) continue;
      // A last box sized "to the end of the file" gets its real size.
      PutBox(boxes, b.Type, d + b.PayloadOffset(), b.Size - b.HeaderSize);
    }
  } else if (file.size() >= 2 && d[0] == 0xFF && d[1] == 0x0A) {
    const uint8_t ftyp[12] = {'j', 'x', 'l', ' ', 0, 0, 0, 0, 'j', 'x', 'l', ' '};
    PutBox(boxes, kJxlFtyp, ftyp, sizeof ftyp);
    PutBox(boxes, kJxlCodestream, d, file.size());
  } else {
    return false;
  }
  // The metadata boxes go before the codestream, where readers meet them first.
  TBytes meta;
  if (change.Exif && !change.Exif->empty()) {
    TBytes payload = {0, 0, 0, 0};
    payload.insert(payload.end(), change.Exif->begin(), change.Exif->end());
    PutBox(meta, kJxlExif, payload.data(), payload.size());
  }
  if (change.Xmp && !change.Xmp->empty()) PutBox(meta, kJxlXml, change.Xmp->data(), change.Xmp->size());
  std::vector<TBox> list;
  if (!ReadBoxes(boxes.data(), 0, boxes.size(), list)) return false;
  size_t at = boxes.size();
  for (const TBox& b : list)
    if (b.Type == kJxlCodestream || b.Type == kJxlPartial) {
      at = b.Offset;
      break;
    }
  for (const TBox& b : list)
    if (b.Type == kJxlFtyp || b.Type == kJxlLevel) at = std::max(at, b.End());
  out.assign(kJxlSignature, kJxlSignature + 12);
  out.insert(out.end(), boxes.begin(), boxes.begin() + static_cast<std::ptrdiff_t>(at));
  out.insert(out.end(), meta.begin(), meta.end());
  out.insert(out.end(), boxes.begin() + static_cast<std::ptrdiff_t>(at), boxes.end());
  return true;
}

}  // namespace

bool ReadModernMetadata(const uint8_t* data, size_t size, THeifMetadata& metadata) {
  metadata = {};
  switch (SniffModern(data, size)) {
    case TModernFormat::Webp: return ReadWebp(data, size, metadata);
    case TModernFormat::Avif:
    case TModernFormat::Heif: return ReadHeifMetadata(data, size, metadata);
    case TModernFormat::Jxl: return ReadJxl(data, size, metadata);
    case TModernFormat::Unknown: break;
  }
  return false;
}

bool WriteModernMetadata(const TBytes& file, const THeifMetadataChange& change, TBytes& out) {
  switch (SniffModern(file.data(), file.size())) {
    case TModernFormat::Webp: return WriteWebp(file, change, out);
    case TModernFormat::Avif:
    case TModernFormat::Heif: return WriteHeifMetadata(file, change, out);
    case TModernFormat::Jxl: return WriteJxl(file, change, out);
    case TModernFormat::Unknown: break;
  }
  return false;
}

int ExifOrientationHonoured(const uint8_t* data, size_t size) {
  if (SniffModern(data, size) != TModernFormat::Webp) return 1;
  THeifMetadata m;
  if (!ReadWebp(data, size, m) || m.Exif.empty()) return 1;
  return kobalt::TiffStructureOrientation(m.Exif.data(), m.Exif.size());
}

}  // namespace modern
