// The standard file plug-in: BMP, JPEG, PNG, TIFF and GIF, and EXIF of JPEG
// files (also through the metadata bridge to other plug-ins, and a run's
// whole metadata step in one rewrite); JPEG outputs with only the
// watermarked blocks encoded again (the region bridge).

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "BlockEdit.h"
#include "Codecs.h"
#include "Exif.h"
#include "FileNames.h"
#include "imageio/FilePlugin.h"
#include "imageio/FileRegions.h"

namespace kobalt {
namespace {

class TJpegMetadataAccess final : public tvx::TFileMetadataAccess {
 public:
  bool ReadMetadata(const std::string& fileName, tvx::TPictureMetadata& metadata) override {
    try {
      return ReadJpegMetadataFile(fileName, metadata);
    } catch (...) {
      return false;
    }
  }
  bool WriteMetadata(const std::string& fileName, const tvx::TPictureMetadata& metadata) override {
    try {
      return WriteJpegMetadataFile(fileName, metadata);
    } catch (...) {
      return false;
    }
  }
};

class TJpegMetadataEdit final : public tvx::TFileMetadataEdit {
 public:
  bool ApplyExif(const std::string& source, const std::string& dest, const tvx::TExifFieldText* fields,
                 size_t count) override {
    try {
      return ApplyExifFields(source, dest, fields, count, std::time(nullptr));
    } catch (...) {
      return false;
    }
  }
};

class TJpegRegionAccess final : public tvx::TFileRegionAccess {
 public:
  void EditRegions(const std::string& sourceFileName, const std::string& destFileName,
                   tvx::TRegionPainter& painter, tvx::TRegionEditReport& report) override {
    try {
      EditJpegBlocksFile(sourceFileName, destFileName, painter, report);
    } catch (...) {
      report = tvx::TRegionEditReport();
      report.Result = tvx::TRegionEditReport::Failed;
      report.Note = "out of memory";
    }
  }
};

class TStandartFilePlugin final : public tvx::TFilePlugin {
 public:
  void Finalize() override {}
  void Reserved1() override {}
  void Reserved2() override {}
  std::string GetDescription() override { return "Standart Input/Output Plugin for Tarvex."; }

  tvx::TFileFormat GetFormat(uint32_t index) override {
    // The rows are fixed: the output-format list and the stored index of the
    // chosen output format follow the saving rows. Other names of a format
    // are declared for reading only and appended; the host sends their saves
    // and EXIF work here by the format's own extension, and they are encoded
    // as that format.
    static const tvx::TFileFormat kFormats[] = {
        {".bmp", true, true}, {".jpg", true, true}, {".jpeg", true, false}, {".tif", true, true},
        {".png", true, true}, {".gif", true, true}, {".tiff", true, false}, {".jpe", true, false},
    };
    if (index < std::size(kFormats)) return kFormats[index];
    return {};
  }

  tvx::TPictureSize LoadBitmapInfo(const std::string& fileName) override {
    try {
      int32_t w = 0, h = 0;
      if (ReadPictureSize(fileName, w, h) && w > 0 && h > 0) return {w, h};
    } catch (...) {
    }
    return {};
  }

  tvx::TPictureData LoadBitmap(const std::string& fileName) override {
    try {
      TImage image;
      if (!DecodeFile(fileName, image) || image.Width <= 0 || image.Height <= 0) return {};
      // the decoder's block is handed over as it is; FreeMemory frees it
      return {image.Width, image.Height, image.Pixels.Release()};
    } catch (...) {
      return {};
    }
  }

  bool SaveBitmap(const std::string& fileName, int32_t width, int32_t height,
                  const tvx::TColor32* pixels) override {
    try {
      if (width <= 0 || height <= 0 || !pixels) return false;
      return EncodeFile(fileName, pixels, width, height, static_cast<int>(quality_.load()));
    } catch (...) {
      return false;
    }
  }

  void SetQuality(const std::string& extension, uint32_t quality) override {
    if (EncodedFormat(extension) == ".jpg") quality_ = quality > 100 ? 100 : quality;
  }

  std::string ReadExif(const std::string& fileName, int32_t tag) override {
    try {
      return ReadExifTag(fileName, tag);
    } catch (...) {
      return {};
    }
  }

  bool WriteExif(const std::string& fileName, tvx::ExifTag tag, const std::string& text) override {
    try {
      return WriteExifTag(fileName, tag, text);
    } catch (...) {
      return false;
    }
  }

  bool CopyExif(const std::string& sourceFileName, const std::string& destFileName) override {
    try {
      return CopyExifBlock(sourceFileName, destFileName);
    } catch (...) {
      return false;
    }
  }

  tvx::TExifParameters GetExif(const std::string& fileName) override {
    try {
      return GetExifValues(fileName);
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
  tvx::TFileMetadataEdit* MetadataEdit() { return &metadataEdit_; }
  tvx::TFileRegionAccess* Regions() { return &regions_; }

 private:
  std::atomic<uint32_t> quality_{80};
  TJpegMetadataAccess metadata_;
  TJpegMetadataEdit metadataEdit_;
  TJpegRegionAccess regions_;
};

}  // namespace
}  // namespace kobalt

extern "C" __attribute__((visibility("default"))) tvx::TFilePlugin* InitFilePlugin() {
  return new (std::nothrow) kobalt::TStandartFilePlugin();
}

extern "C" __attribute__((visibility("default"))) tvx::TFileMetadataAccess* GetFileMetadataAccess(
    tvx::TFilePlugin* plugin) {
  // Only objects of this module are ours to look into.
  auto* own = dynamic_cast<kobalt::TStandartFilePlugin*>(plugin);
  return own ? own->Metadata() : nullptr;
}

extern "C" __attribute__((visibility("default"))) tvx::TFileMetadataEdit* GetFileMetadataEdit(
    tvx::TFilePlugin* plugin) {
  auto* own = dynamic_cast<kobalt::TStandartFilePlugin*>(plugin);
  return own ? own->MetadataEdit() : nullptr;
}

extern "C" __attribute__((visibility("default"))) tvx::TFileRegionAccess* GetFileRegionAccess(
    tvx::TFilePlugin* plugin) {
  auto* own = dynamic_cast<kobalt::TStandartFilePlugin*>(plugin);
  return own ? own->Regions() : nullptr;
}
