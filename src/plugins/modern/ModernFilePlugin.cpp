// The modern-formats plug-in: WebP, AVIF, HEIC/HEIF and JPEG XL pictures,
// and their EXIF, ICC and XMP.

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <new>

#include "Codecs.h"
#include "ExifBlock.h"
#include "FileWrite.h"
#include "RecentPictures.h"
#include "ModernCodecs.h"
#include "ModernMetadata.h"
#include "imageio/FileMetadata.h"
#include "imageio/FilePlugin.h"

namespace modern {
namespace {

// Larger EXIF blocks than this are not metadata but a payload smuggled in.
constexpr size_t kMaxExifBlock = size_t(16) << 20;

bool ReadFile(const std::string& path, TBytes& bytes) { return kobalt::ReadWholeFile(path, bytes); }

TBytes ToBytes(const std::string& s) { return TBytes(s.begin(), s.end()); }
std::string ToString(const TBytes& b) { return std::string(b.begin(), b.end()); }

// The libexif view of a TIFF structure, as the standard plug-in reads JPEG's.
kobalt::TExifDataPtr ParseExif(const TBytes& tiff) {
  if (tiff.empty()) return nullptr;
  TBytes payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return kobalt::LoadExifFromFileBytes(payload.data(), payload.size());
}

bool ReadBlocks(const std::string& fileName, THeifMetadata& blocks) {
  TBytes bytes;
  return ReadFile(fileName, bytes) && ReadModernMetadata(bytes.data(), bytes.size(), blocks);
}

// CopyExif into a file of ours, the source given as blocks (see TFileMetadataAccess::WriteMetadata).
bool PutMetadata(const std::string& fileName, const THeifMetadata& source) {
  if (FormatOfExtension(LowerExtension(fileName)) == TModernFormat::Unknown || source.Exif.empty() ||
      source.Exif.size() > kMaxExifBlock)
    return false;
  TBytes file;
  THeifMetadata own;
  if (!ReadFile(fileName, file) || !ReadModernMetadata(file.data(), file.size(), own)) return false;
  int32_t width = 0, height = 0;
  if (!ModernPictureSize(file.data(), file.size(), width, height)) return false;
  const int orientation = ExifOrientationHonoured(file.data(), file.size());
  if (orientation >= 5) std::swap(width, height);  // the stored size
  // An EXIF thumbnail must show the new pixels, not the source's. WebP
  // decodes a small one cheaply; for AVIF, HEIF and JPEG XL it would cost a
  // whole decode (their readers show the container's own thumbnails), so
  // there it is dropped.
  kobalt::TThumbnailCodec codec;
  if (SniffModern(file.data(), file.size()) == TModernFormat::Webp) {
    codec.DecodeDestination = [&file, &fileName](kobalt::TImage& image) {
      return kobalt::RecallSaved(fileName, image) ||
             DecodeWebpReduced(file.data(), file.size(), kobalt::kThumbnailSide, image);
    };
    codec.EncodeJpeg = kobalt::EncodeJpegToMemory;
  }
  THeifMetadataChange change;
  TBytes exif;
  if (!kobalt::AdaptExifForCopy(source.Exif, orientation, width, height, codec, kMaxExifBlock, exif)) return false;
  change.Exif = std::move(exif);
  if (own.Icc.empty() && !source.Icc.empty()) change.Icc = source.Icc;
  if (own.Xmp.empty() && !source.Xmp.empty()) change.Xmp = source.Xmp;
  TBytes out;
  return WriteModernMetadata(file, change, out) && kobalt::ReplaceFileContents(fileName, out.data(), out.size());
}

class TModernMetadataAccess final : public tvx::TFileMetadataAccess {
 public:
  bool ReadMetadata(const std::string& fileName, tvx::TPictureMetadata& metadata) override {
    try {
      THeifMetadata blocks;
      if (!ReadBlocks(fileName, blocks)) return false;
      metadata.Exif = ToString(blocks.Exif);
      metadata.Icc = ToString(blocks.Icc);
      metadata.Xmp = ToString(blocks.Xmp);
      return true;
    } catch (...) {
      return false;
    }
  }
  bool WriteMetadata(const std::string& fileName, const tvx::TPictureMetadata& metadata) override {
    try {
      return PutMetadata(fileName, {ToBytes(metadata.Exif), ToBytes(metadata.Xmp), ToBytes(metadata.Icc)});
    } catch (...) {
      return false;
    }
  }
};

class TModernFilePlugin final : public tvx::TFilePlugin {
 public:
  TModernFilePlugin() : canEncodeHeic_(CanEncodeHeic()) {}

  void Finalize() override {}
  void Reserved1() override {}
  void Reserved2() override {}
  std::string GetDescription() override { return "WebP, AVIF, HEIC and JPEG XL Plugin for Tarvex."; }

  tvx::TFileFormat GetFormat(uint32_t index) override {
    // HEIC is written only where libheif has an HEVC encoder.
    const tvx::TFileFormat formats[] = {
        {".webp", true, true},           {".avif", true, true}, {".heic", true, canEncodeHeic_},
        {".heif", true, canEncodeHeic_}, {".jxl", true, true},
    };
    if (index < std::size(formats)) return formats[index];
    return {};
  }

  tvx::TPictureSize LoadBitmapInfo(const std::string& fileName) override {
    try {
      TBytes bytes;
      int32_t w = 0, h = 0;
      if (ReadFile(fileName, bytes) && ModernPictureSize(bytes.data(), bytes.size(), w, h)) return {w, h};
    } catch (...) {
    }
    return {};
  }

  tvx::TPictureData LoadBitmap(const std::string& fileName) override {
    try {
      TBytes bytes;
      TImage image;
      if (!ReadFile(fileName, bytes) || !DecodeModern(bytes.data(), bytes.size(), image)) return {};
      return {image.Width, image.Height, image.Pixels.Release()};
    } catch (...) {
      return {};
    }
  }

  bool SaveBitmap(const std::string& fileName, int32_t width, int32_t height,
                  const tvx::TColor32* pixels) override {
    try {
      TModernFormat format = FormatOfExtension(LowerExtension(fileName));
      if (format == TModernFormat::Heif && !canEncodeHeic_) return false;
      TBytes out;
      if (!EncodeModern(format, pixels, width, height, int(quality_[size_t(format)].load()), out) ||
          !kobalt::ReplaceFileContents(fileName, out.data(), out.size()))
        return false;
      // WebP is the one of these whose copied EXIF keeps a thumbnail.
      if (format == TModernFormat::Webp) kobalt::RememberSaved(fileName, pixels, width, height);
      return true;
    } catch (...) {
      return false;
    }
  }

  void SetQuality(const std::string& extension, uint32_t quality) override {
    TModernFormat format = FormatOfExtension(LowerExtension(extension));
    if (format != TModernFormat::Unknown) quality_[size_t(format)] = quality > 100 ? 100 : quality;
  }

  std::string ReadExif(const std::string& fileName, int32_t tag) override {
    try {
      THeifMetadata blocks;
      if (tag < 0 || tag > 0xFFFF || !ReadBlocks(fileName, blocks)) return {};
      kobalt::TExifDataPtr data = ParseExif(blocks.Exif);
      return data ? kobalt::ReadTagText(data.get(), uint16_t(tag)) : std::string();
    } catch (...) {
      return {};
    }
  }

  bool WriteExif(const std::string& fileName, tvx::ExifTag tag, const std::string& text) override {
    try {
      if (FormatOfExtension(LowerExtension(fileName)) == TModernFormat::Unknown) return false;
      TBytes file, tiff, out;
      THeifMetadata blocks;
      if (!ReadFile(fileName, file) || !ReadModernMetadata(file.data(), file.size(), blocks)) return false;
      // No segment limit in these containers; only the sanity cap.
      if (!kobalt::SetExifTagInTiff(blocks.Exif.empty() ? nullptr : &blocks.Exif, tag, text, std::time(nullptr),
                                    tiff, kMaxExifBlock))
        return false;
      THeifMetadataChange change;
      change.Exif = std::move(tiff);
      return WriteModernMetadata(file, change, out) && kobalt::ReplaceFileContents(fileName, out.data(), out.size());
    } catch (...) {
      return false;
    }
  }

  bool CopyExif(const std::string& sourceFileName, const std::string& destFileName) override {
    try {
      THeifMetadata source;
      if (FormatOfExtension(LowerExtension(sourceFileName)) == TModernFormat::Unknown ||
          !ReadBlocks(sourceFileName, source))
        return false;
      return PutMetadata(destFileName, source);
    } catch (...) {
      return false;
    }
  }

  tvx::TExifParameters GetExif(const std::string& fileName) override {
    try {
      tvx::TExifParameters result;
      THeifMetadata blocks;
      if (!ReadBlocks(fileName, blocks)) return result;
      kobalt::TExifDataPtr data = ParseExif(blocks.Exif);
      if (!data) return result;
      for (uint16_t tag : kobalt::ExifValueTags()) {
        std::string text = kobalt::ReadTagText(data.get(), tag);
        if (!text.empty()) result.Values.emplace(tag, std::move(text));
      }
      return result;
    } catch (...) {
      return {};
    }
  }

  void FreeMemory(void* block) override {
    if (block == this) {
      delete this;
      return;
    }
    std::free(block);
  }

  tvx::TFileMetadataAccess* Metadata() { return &metadata_; }

 private:
  const bool canEncodeHeic_;
  // Per format, indexed by TModernFormat; 80 as JPEG's until the run sets it.
  std::atomic<uint32_t> quality_[5] = {80, 80, 80, 80, 80};
  TModernMetadataAccess metadata_;
};

}  // namespace
}  // namespace modern

extern "C" __attribute__((visibility("default"))) tvx::TFilePlugin* InitFilePlugin() {
  return new (std::nothrow) modern::TModernFilePlugin();
}

extern "C" __attribute__((visibility("default"))) tvx::TFileMetadataAccess* GetFileMetadataAccess(
    tvx::TFilePlugin* plugin) {
  // Only objects of this module are ours to look into.
  auto* own = dynamic_cast<modern::TModernFilePlugin*>(plugin);
  return own ? own->Metadata() : nullptr;
}
