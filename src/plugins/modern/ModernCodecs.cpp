// Format dispatch by content and by extension.

#include "ModernCodecs.h"

#include <cctype>
#include <cstring>

namespace modern {
namespace {

bool IsHeifBrand(const uint8_t* b) {
  static const char* const kBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"};
  for (const char* brand : kBrands)
    if (std::memcmp(b, brand, 4) == 0) return true;
  return false;
}

bool IsAvifBrand(const uint8_t* b) { return std::memcmp(b, "avif", 4) == 0 || std::memcmp(b, "avis", 4) == 0; }

}  // namespace

TModernFormat SniffModern(const uint8_t* d, size_t n) {
  if (!d) return TModernFormat::Unknown;
  if (n >= 12 && std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "WEBP", 4) == 0) return TModernFormat::Webp;
  if (n >= 2 && d[0] == 0xFF && d[1] == 0x0A) return TModernFormat::Jxl;
  if (n >= 12 && std::memcmp(d, "\0\0\0\x0cJXL \r\n\x87\n", 12) == 0) return TModernFormat::Jxl;
  if (n >= 16 && std::memcmp(d + 4, "ftyp", 4) == 0) {
    size_t box = size_t(d[0]) << 24 | size_t(d[1]) << 16 | size_t(d[2]) << 8 | d[3];
    if (box < 16 || box > n) box = n;
    // The major brand, then the compatible brands; AVIF wins over the
    // general "mif1" that both kinds list.
    bool heif = IsHeifBrand(d + 8);
    if (IsAvifBrand(d + 8)) return TModernFormat::Avif;
    for (size_t at = 16; at + 4 <= box; at += 4) {
      if (IsAvifBrand(d + at)) return TModernFormat::Avif;
      heif = heif || IsHeifBrand(d + at);
    }
    if (heif) return TModernFormat::Heif;
  }
  return TModernFormat::Unknown;
}

std::string LowerExtension(const std::string& name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

TModernFormat FormatOfExtension(const std::string& extension) {
  if (extension == ".webp") return TModernFormat::Webp;
  if (extension == ".avif") return TModernFormat::Avif;
  if (extension == ".heic" || extension == ".heif") return TModernFormat::Heif;
  if (extension == ".jxl") return TModernFormat::Jxl;
  return TModernFormat::Unknown;
}

bool IsOpaque(const uint32_t* pixels, size_t count) {
  uint32_t all = 0xFF000000u;
  for (size_t i = 0; i < count; ++i) all &= pixels[i];
  return all == 0xFF000000u;
}

bool DecodeModern(const uint8_t* data, size_t size, TImage& image) {
  image = TImage();
  bool ok = false;
  switch (SniffModern(data, size)) {
    case TModernFormat::Webp: ok = DecodeWebp(data, size, image); break;
    case TModernFormat::Avif: ok = DecodeAvif(data, size, image); break;
    case TModernFormat::Heif: ok = DecodeHeif(data, size, image); break;
    case TModernFormat::Jxl: ok = DecodeJxl(data, size, image); break;
    case TModernFormat::Unknown: break;
  }
  if (!ok || !kobalt::SaneSize(image.Width, image.Height) ||
      image.Pixels.size() != size_t(image.Width) * size_t(image.Height)) {
    image = TImage();
    return false;
  }
  return true;
}

bool ModernPictureSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  int32_t w = 0, h = 0;
  bool ok = false;
  switch (SniffModern(data, size)) {
    case TModernFormat::Webp: ok = WebpSize(data, size, w, h); break;
    case TModernFormat::Avif: ok = AvifSize(data, size, w, h); break;
    case TModernFormat::Heif: ok = HeifSize(data, size, w, h); break;
    case TModernFormat::Jxl: ok = JxlSize(data, size, w, h); break;
    case TModernFormat::Unknown: break;
  }
  if (!ok || !kobalt::SaneSize(w, h)) return false;
  width = w;
  height = h;
  return true;
}

bool EncodeModern(TModernFormat format, const uint32_t* pixels, int32_t width, int32_t height, int quality,
                  TBytes& out) {
  out.clear();
  if (!pixels || !kobalt::SaneSize(width, height)) return false;
  switch (format) {
    case TModernFormat::Webp: return EncodeWebp(pixels, width, height, quality, out);
    case TModernFormat::Avif: return EncodeAvif(pixels, width, height, quality, out);
    case TModernFormat::Heif: return EncodeHeic(pixels, width, height, quality, out);
    case TModernFormat::Jxl: return EncodeJxl(pixels, width, height, quality, out);
    case TModernFormat::Unknown: break;
  }
  return false;
}

}  // namespace modern
