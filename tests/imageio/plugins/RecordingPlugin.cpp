// A plug-in for the manager's tests. It decodes nothing; it records every
// call it receives as one line "<tag> <Slot> <arguments>" appended to the
// file named by TARVEX_TEST_PLUGIN_LOG (when set), so a test can check which
// plug-in served an operation, with which arguments and in which order. Its
// formats and fixed results come from TEST_PLUGIN_VARIANT:
//   1 "first":  ".PNG" (load only; upper case on purpose), ".rec" (load, save)
//   2 "second": ".png" (load, save), ".sec" (load, save)
//   3 "empty":  no formats at all
//   4 "null":   InitFilePlugin hands out no object
//   5 a module without InitFilePlugin
//   6 "twins":  ".jpg" (load, save), ".jpeg" (load only), ".tif" (load, save)
//   7 "jpegsaver": ".jpeg" (load, save)
//   8 "editor": ".edt", ".eds" (load, save), and the one-rewrite metadata
//     step (GetFileMetadataEdit), which declines outputs named ".eds"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <string>

#include "imageio/FileMetadata.h"
#include "imageio/FilePlugin.h"

#ifndef TEST_PLUGIN_VARIANT
#error TEST_PLUGIN_VARIANT must be defined
#endif

namespace {

#if TEST_PLUGIN_VARIANT == 1
constexpr char kTag[] = "first";
const tvx::TFileFormat kFormats[] = {{".PNG", true, false}, {".rec", true, true}};
constexpr int32_t kSize = 1;
#elif TEST_PLUGIN_VARIANT == 2
constexpr char kTag[] = "second";
const tvx::TFileFormat kFormats[] = {{".png", true, true}, {".sec", true, true}};
constexpr int32_t kSize = 2;
#elif TEST_PLUGIN_VARIANT == 6
constexpr char kTag[] = "twins";
const tvx::TFileFormat kFormats[] = {{".jpg", true, true}, {".jpeg", true, false}, {".tif", true, true}};
constexpr int32_t kSize = 6;
#elif TEST_PLUGIN_VARIANT == 7
constexpr char kTag[] = "jpegsaver";
const tvx::TFileFormat kFormats[] = {{".jpeg", true, true}};
constexpr int32_t kSize = 7;
#elif TEST_PLUGIN_VARIANT == 8
constexpr char kTag[] = "editor";
const tvx::TFileFormat kFormats[] = {{".edt", true, true}, {".eds", true, true}};
constexpr int32_t kSize = 8;
#else
constexpr char kTag[] = "empty";
const tvx::TFileFormat kFormats[] = {{"", false, false}};  // the end marker only
constexpr int32_t kSize = 3;
#endif

void Record(const std::string& line) {
  const char* path = std::getenv("TARVEX_TEST_PLUGIN_LOG");
  if (!path) return;
  std::string text = std::string(kTag) + " " + line + "\n";
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, text.data(), text.size());
  (void)written;
  close(fd);
}

class TRecordingEdit final : public tvx::TFileMetadataEdit {
 public:
  bool ApplyExif(const std::string& source, const std::string& dest, const tvx::TExifFieldText* fields,
                 size_t count) override {
    std::string line = "ApplyExif " + source + " " + dest;
    for (size_t i = 0; i < count; ++i) {
      line += ' ';
      line += std::to_string(fields[i].Tag);
      line += " [";
      line += fields[i].Text;
      line += ']';
    }
    Record(line);
    return !dest.ends_with(".eds");
  }
};

class TRecordingPlugin final : public tvx::TFilePlugin {
 public:
  void Finalize() override { Record("Finalize"); }
  void Reserved1() override {}
  void Reserved2() override {}
  std::string GetDescription() override { return kTag; }
  tvx::TFileFormat GetFormat(uint32_t index) override {
    if (index < std::size(kFormats)) return kFormats[index];
    return {};
  }
  tvx::TPictureSize LoadBitmapInfo(const std::string& fileName) override {
    Record("LoadBitmapInfo " + fileName);
    return {kSize, kSize};
  }
  tvx::TPictureData LoadBitmap(const std::string& fileName) override {
    Record("LoadBitmap " + fileName);
    return {};
  }
  bool SaveBitmap(const std::string& fileName, int32_t width, int32_t height, const tvx::TColor32*) override {
    Record("SaveBitmap " + fileName + " " + std::to_string(width) + "x" + std::to_string(height));
    return true;
  }
  void SetQuality(const std::string& extension, uint32_t quality) override {
    Record("SetQuality " + extension + " " + std::to_string(quality));
  }
  std::string ReadExif(const std::string& fileName, int32_t tag) override {
    Record("ReadExif " + fileName + " " + std::to_string(tag));
    return {};
  }
  // Both EXIF writers fail, as the standard plug-in does for a file without
  // EXIF support: callers must go on regardless.
  bool WriteExif(const std::string& fileName, tvx::ExifTag tag, const std::string& text) override {
    Record("WriteExif " + fileName + " " + std::to_string(tag) + " [" + text + "]");
    return false;
  }
  bool CopyExif(const std::string& source, const std::string& dest) override {
    Record("CopyExif " + source + " " + dest);
    return false;
  }
  tvx::TExifParameters GetExif(const std::string& fileName) override {
    Record("GetExif " + fileName);
    tvx::TExifParameters result;
    result.Values[270] = kTag;
    return result;
  }
  void FreeMemory(void* block) override {
    if (block == this) {
      Record("FreeMemory self");
      delete this;
      return;
    }
    Record("FreeMemory block");
    std::free(block);
  }
  TRecordingEdit Edit;
};

}  // namespace

#if TEST_PLUGIN_VARIANT == 4
extern "C" __attribute__((visibility("default"))) tvx::TFilePlugin* InitFilePlugin() { return nullptr; }
#elif TEST_PLUGIN_VARIANT == 5
// Exported, but under another name: the host must not bind it.
extern "C" __attribute__((visibility("default"))) tvx::TFilePlugin* InitFilePlugin2() {
  return new TRecordingPlugin();
}
#else
extern "C" __attribute__((visibility("default"))) tvx::TFilePlugin* InitFilePlugin() {
  return new TRecordingPlugin();
}
#endif

#if TEST_PLUGIN_VARIANT == 8
extern "C" __attribute__((visibility("default"))) tvx::TFileMetadataEdit* GetFileMetadataEdit(
    tvx::TFilePlugin* plugin) {
  auto* own = dynamic_cast<TRecordingPlugin*>(plugin);
  return own ? &own->Edit : nullptr;
}
#endif
