// Metadata kept to the byte: on every camera photo, WriteExif of the four
// watermark fields changes nothing exiftool lists but those fields, and
// CopyExif into a freshly encoded picture carries every EXIF and MakerNote
// entry with its binary value (exiftool -b), preview images and full-length
// texts included.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "ExifTestSupport.h"
#include "imageio/FilePlugin.h"
#include "support/TestSupport.h"

namespace kobalt {
namespace {

namespace fs = std::filesystem;
using test::HaveExiftool;
using test::Photo;
using test::RunCommand;

// "Group:Tag" -> value, binary values included (base64), as exiftool -j -b prints them.
// `only` narrows the listing to groups ("-EXIF:all -MakerNotes:all").
std::map<std::string, std::string> Everything(const std::string& path, const std::string& only = "") {
  std::map<std::string, std::string> tags;
  std::istringstream in(RunCommand("exiftool -a -G1 -s -j -b " + only + " '" + path + "' 2>/dev/null"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  \"", 0) != 0) continue;
    size_t close = line.find("\": ");
    if (close == std::string::npos) continue;
    std::string key = line.substr(3, close - 3), value = line.substr(close + 3);
    if (!value.empty() && value.back() == ',') value.pop_back();
    tags[key] = value;
  }
  return tags;
}

std::string GroupOf(const std::string& key) { return key.substr(0, key.find(':')); }

// Differences, as "key: before -> after" lines, over the keys that `keep` accepts.
template <typename TKeep>
std::vector<std::string> Differences(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after, TKeep keep) {
  std::vector<std::string> lines;
  for (const auto& [key, value] : before) {
    if (!keep(key)) continue;
    auto it = after.find(key);
    if (it == after.end()) lines.push_back(key + ": lost");
    else if (it->second != value) lines.push_back(key + ": " + value.substr(0, 60) + " -> " + it->second.substr(0, 60));
  }
  for (const auto& [key, value] : after)
    if (keep(key) && !before.count(key)) lines.push_back(key + ": added " + value.substr(0, 60));
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += "\n  " + l;
  return all;
}

// The camera photos: real EXIF blocks with MakerNotes, from many makers.
const char* const kCameraPhotos[] = {
    "apple_iphone4_gps_icc_before_exif.jpg", "apple_iphone5_gps_orient3.jpg", "apple_iphonexr_1x1.jpg",
    "canon_eos_rebel_t3i.jpg", "canon_powershot_a720is.jpg", "canon_powershot_a85_orient8.jpg",
    "flir_empty_model_uniqueid.jpg", "fujifilm_finepix_s5500.jpg", "kodak_dx4330.jpg",
    "kodak_proback_exif_ifd_loop.jpg", "metadata_kitchen_sink.jpg", "nikon_d70_iptc.jpg",
    "nikon_e775_usercomment.jpg", "nokia_lumia800_gps_xmp_icc_iptc.jpg", "olympus_pen_e-p3.jpg",
    "panasonic_dmc-lc70_progressive.jpg", "pentax_ist_d.jpg", "samsung_sm-j327t1_orient6.jpg",
    "sony_dsc-hx5v_gps.jpg", "cmyk_ycck_multichunk_icc.jpg", "orientation5_transpose.jpg",
};

class ExifKept : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    module_ = ::dlopen((tvx::test::BinDir() / "kobalt.fp").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr);
    plugin_ = reinterpret_cast<TInitFilePluginFunc>(::dlsym(module_, "InitFilePlugin"))();
    ASSERT_NE(plugin_, nullptr);
  }
  void TearDown() override {
    if (plugin_) plugin_->Finalize(), plugin_->FreeMemory(plugin_);
    if (module_) ::dlclose(module_);
  }
  tvx::test::TTempDir dir_;
  void* module_ = nullptr;
  tvx::TFilePlugin* plugin_ = nullptr;
};

TEST_P(ExifKept, WriteExifChangesOnlyTheFieldsItWrites) {
  std::string path = dir_ / "photo.jpg";
  fs::copy_file(Photo(GetParam()), path);
  auto before = Everything(path);
  ASSERT_TRUE(plugin_->WriteExif(path, 270, "Title"));
  ASSERT_TRUE(plugin_->WriteExif(path, 33432, "(c) Someone"));
  ASSERT_TRUE(plugin_->WriteExif(path, 315, "Artist"));
  ASSERT_TRUE(plugin_->WriteExif(path, 37510, "A comment"));
  auto after = Everything(path);
  // What a write sets, and the three entries every EXIF IFD receives when missing.
  std::set<std::string> written = {"IFD0:ImageDescription", "IFD0:Copyright", "IFD0:Artist", "ExifIFD:UserComment"};
  for (const char* entry : {"ExifIFD:ExifVersion", "ExifIFD:FlashpixVersion", "ExifIFD:DateTimeOriginal"})
    if (!before.count(entry)) written.insert(entry);
  auto keep = [&](const std::string& key) {
    std::string group = GroupOf(key), tag = key.substr(key.find(':') + 1);
    // Positions in the file move when the block before them grows.
    bool position = tag.ends_with("Offset") || tag.ends_with("Start");
    return group != "System" && group != "File" && key != "SourceFile" && key != "ExifTool:ExifToolVersion" &&
           !written.count(key) && !position;
  };
  std::vector<std::string> changed = Differences(before, after, keep);
  EXPECT_TRUE(changed.empty()) << GetParam() << Join(changed);
  EXPECT_EQ(after["IFD0:Copyright"], "\"(c) Someone\"");
  EXPECT_EQ(after["ExifIFD:UserComment"], "\"A comment\"");
}

TEST_P(ExifKept, CopyExifCarriesEveryEntryIntoAFreshPicture) {
  std::string source = Photo(GetParam()), dest = dir_ / "fresh.jpg";
  tvx::TPictureData picture = plugin_->LoadBitmap(source);
  ASSERT_GT(picture.Width, 0);
  bool saved = plugin_->SaveBitmap(dest, picture.Width, picture.Height, picture.Pixels);
  plugin_->FreeMemory(picture.Pixels);
  ASSERT_TRUE(saved);
  ASSERT_TRUE(plugin_->CopyExif(source, dest));
  // What the EXIF block holds, MakerNotes included; other segments are not
  // EXIF (XMP, ICC and IPTC travel by their own rules).
  const std::string exif = "-EXIF:all -MakerNotes:all";
  auto before = Everything(source, exif), after = Everything(dest, exif);
  auto keep = [&](const std::string& key) {
    std::string tag = key.substr(key.find(':') + 1);
    // Canon's CIFF (APP0) and Qualcomm's APP7 are segments of their own, not
    // part of the EXIF block.
    if (key == "SourceFile" || GroupOf(key) == "CIFF" || GroupOf(key) == "Qualcomm") return false;
    // Renewed for the new pixels: the thumbnail, orientation and pixel size;
    // and positions in the file, which move with the block.
    if (tag == "ThumbnailImage" || tag == "ThumbnailLength" || tag == "Orientation" || tag == "ExifImageWidth" ||
        tag == "ExifImageHeight")
      return false;
    return !(tag.ends_with("Offset") || tag.ends_with("Start"));
  };
  std::vector<std::string> changed = Differences(before, after, keep);
  EXPECT_TRUE(changed.empty()) << GetParam() << Join(changed);
}

INSTANTIATE_TEST_SUITE_P(CameraPhotos, ExifKept, ::testing::ValuesIn(kCameraPhotos),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace kobalt
