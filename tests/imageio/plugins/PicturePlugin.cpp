// A plug-in for the manager's tests that really decodes: the trivial format
// ".tpx" ("TPX1", 32-bit width, 32-bit height, width x height ARGB pixels),
// which it writes and reads itself, also readable under the load-only
// extension ".tpr". Files beginning with "BAD!" or "NUL!" make it return a
// broken result (negative width with a block, a size without a block), the
// faults a careless plug-in could hand the host. GetDescription reports how
// many pixel blocks are handed out and not yet returned through FreeMemory.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"

namespace {

std::atomic<int> outstandingBlocks{0};

bool ReadWholeFile(const std::string& fileName, std::vector<unsigned char>& bytes) {
  FILE* file = std::fopen(fileName.c_str(), "rb");
  if (!file) return false;
  unsigned char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  return true;
}

tvx::TColor32* NewBlock(size_t pixels) {
  auto* block = static_cast<tvx::TColor32*>(std::malloc(pixels * 4));
  if (block) ++outstandingBlocks;
  return block;
}

class TPicturePlugin final : public tvx::TFilePlugin {
 public:
  void Finalize() override {}
  void Reserved1() override {}
  void Reserved2() override {}
  std::string GetDescription() override { return std::to_string(outstandingBlocks.load()); }
  tvx::TFileFormat GetFormat(uint32_t index) override {
    static const tvx::TFileFormat kFormats[] = {{".tpx", true, true}, {".tpr", true, false}};
    if (index < std::size(kFormats)) return kFormats[index];
    return {};
  }

  tvx::TPictureSize LoadBitmapInfo(const std::string& fileName) override {
    tvx::TPictureData header{};
    std::vector<unsigned char> bytes;
    if (!ReadHeader(fileName, bytes, header)) return {};
    return {header.Width, header.Height};
  }

  tvx::TPictureData LoadBitmap(const std::string& fileName) override {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(fileName, bytes) || bytes.size() < 4) return {};
    if (std::memcmp(bytes.data(), "BAD!", 4) == 0) return {-1, 4, NewBlock(4)};
    if (std::memcmp(bytes.data(), "NUL!", 4) == 0) return {2, 2, nullptr};
    tvx::TPictureData picture{};
    if (!ReadHeader(fileName, bytes, picture)) return {};
    size_t count = static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height);
    if (bytes.size() != 12 + count * 4) return {};
    picture.Pixels = NewBlock(count);
    if (!picture.Pixels) return {};
    std::memcpy(picture.Pixels, bytes.data() + 12, count * 4);
    return picture;
  }

  bool SaveBitmap(const std::string& fileName, int32_t width, int32_t height,
                  const tvx::TColor32* pixels) override {
    if (width <= 0 || height <= 0 || !pixels) return false;
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite("TPX1", 1, 4, file) == 4 && std::fwrite(&width, 4, 1, file) == 1 &&
              std::fwrite(&height, 4, 1, file) == 1 &&
              std::fwrite(pixels, 4, static_cast<size_t>(width) * height, file) ==
                  static_cast<size_t>(width) * height;
    return std::fclose(file) == 0 && ok;
  }

  void SetQuality(const std::string&, uint32_t) override {}
  std::string ReadExif(const std::string&, int32_t) override { return {}; }
  bool WriteExif(const std::string&, tvx::ExifTag, const std::string&) override { return false; }
  bool CopyExif(const std::string&, const std::string&) override { return false; }
  tvx::TExifParameters GetExif(const std::string&) override { return {}; }

  void FreeMemory(void* block) override {
    if (block == this) {
      delete this;
      return;
    }
    --outstandingBlocks;
    std::free(block);
  }

 private:
  // Width and height of a well-formed "TPX1" file; the bytes are read whole
  // when they are not already.
  static bool ReadHeader(const std::string& fileName, std::vector<unsigned char>& bytes,
                         tvx::TPictureData& header) {
    if (bytes.empty() && !ReadWholeFile(fileName, bytes)) return false;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "TPX1", 4) != 0) return false;
    std::memcpy(&header.Width, bytes.data() + 4, 4);
    std::memcpy(&header.Height, bytes.data() + 8, 4);
    return header.Width > 0 && header.Height > 0 && header.Width <= 65535 && header.Height <= 65535;
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) tvx::TFilePlugin* InitFilePlugin() {
  return new TPicturePlugin();
}
