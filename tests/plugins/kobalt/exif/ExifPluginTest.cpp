// The EXIF slots of the built kobalt.fp, checked with exiftool.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>

#include "ExifTestSupport.h"
#include "JpegFile.h"
#include "imageio/FilePlugin.h"
#include "support/TestSupport.h"

namespace kobalt {
namespace {

namespace fs = std::filesystem;
using test::ExiftoolListing;
using test::ExiftoolValue;
using test::HaveExiftool;
using test::Photo;
using test::ReadBytes;

// A warning without its numbers ("Adjusted MakerNotes base by -78").
std::string WarningKind(std::string warning) {
  std::erase_if(warning, [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '-'; });
  return warning;
}

class ExifPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    module_ = ::dlopen((tvx::test::BinDir() / "kobalt.fp").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << ::dlerror();
    auto init = reinterpret_cast<tvx::TFilePlugin* (*)()>(::dlsym(module_, "InitFilePlugin"));
    ASSERT_NE(init, nullptr);
    plugin_ = init();
    ASSERT_NE(plugin_, nullptr);
  }
  void TearDown() override {
    if (plugin_) {
      plugin_->Finalize();
      plugin_->FreeMemory(plugin_);
    }
    if (module_) ::dlclose(module_);
  }
  void RequireExiftool() {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  }
  // A copy of a sample photo in the temporary folder.
  std::string Copy(const std::string& photo, const std::string& as) {
    std::string path = temp_ / as;
    fs::copy_file(Photo(photo), path, fs::copy_options::overwrite_existing);
    return path;
  }
  // The metadata a rewrite must keep, minus layout bookkeeping.
  std::set<std::string> Kept(const std::string& path, std::set<std::string> ignore = {}) {
    for (const char* tag : {"ThumbnailOffset", "ThumbnailLength", "ThumbnailImage", "ExifByteOrder",
                            "ExifVersion", "FlashpixVersion", "DateTimeOriginal", "Warning",
                            "CurrentIPTCDigest", "ImageDescription", "Copyright", "Artist",
                            "UserComment", "Orientation", "ExifImageWidth", "ExifImageHeight",
                            "Compression", "XResolution", "YResolution", "ResolutionUnit",
                            "YCbCrPositioning", "MPImageStart"})
      ignore.insert(tag);
    std::set<std::string> lines = ExiftoolListing(path, ignore);
    std::set<std::string> kept;
    for (const std::string& line : lines)
      if (line.rfind("[IFD1]", 0) != 0 && line.rfind("[JFIF]", 0) != 0 && line.rfind("[Adobe]", 0) != 0)
        kept.insert(line);
    return kept;
  }

  tvx::test::TTempDir temp_;
  void* module_ = nullptr;
  tvx::TFilePlugin* plugin_ = nullptr;
};

TEST_F(ExifPlugin, WriteExifLandsEachWatermarkTag) {
  RequireExiftool();
  std::string path = Copy("canon_eos_rebel_t3i.jpg", "out.JPG");
  std::string warnings = ExiftoolValue(path, "Warning");
  EXPECT_TRUE(plugin_->WriteExif(path, 270, "Title"));
  EXPECT_TRUE(plugin_->WriteExif(path, 33432, "(c) Someone"));
  EXPECT_TRUE(plugin_->WriteExif(path, 315, "Artist A"));
  EXPECT_TRUE(plugin_->WriteExif(path, 37510, "A comment"));
  EXPECT_TRUE(plugin_->WriteExif(path, 315, "Artist B"));
  std::string listing = test::RunCommand("exiftool -a -G1 -s '" + path + "'");
  EXPECT_NE(listing.find("[IFD0]          ImageDescription                : Title"), std::string::npos);
  EXPECT_NE(listing.find("[IFD0]          Copyright                       : (c) Someone"), std::string::npos);
  EXPECT_NE(listing.find("[IFD0]          Artist                          : Artist B"), std::string::npos);
  EXPECT_EQ(listing.find("Artist A"), std::string::npos);
  EXPECT_EQ(ExiftoolValue(path, "ExifIFD:UserComment"), "A comment");
  EXPECT_EQ(WarningKind(ExiftoolValue(path, "Warning")), WarningKind(warnings));
  EXPECT_EQ(plugin_->ReadExif(path, 270), "Title");
  EXPECT_EQ(plugin_->GetExif(path).Values.at(315), "Artist B");
}

TEST_F(ExifPlugin, WriteExifIntoJpegWithoutExifKeepsJfifFirst) {
  RequireExiftool();
  for (const char* photo : {"grayscale_no_exif.jpg", "casio_qv-7000sx_no_exif.jpg"}) {
    std::string path = Copy(photo, "plain.jpeg");
    ASSERT_TRUE(plugin_->WriteExif(path, 270, "")) << photo;
    std::vector<uint8_t> bytes = ReadBytes(path);
    TJpegFile file;
    ASSERT_TRUE(file.Read(bytes.data(), bytes.size()));
    EXPECT_EQ(file.Segments()[1].Marker, kMarkerApp0);
    EXPECT_EQ(file.FindExif(), 2);
    EXPECT_EQ(ExiftoolValue(path, "ExifIFD:ExifVersion"), "0210");
    EXPECT_EQ(ExiftoolValue(path, "ExifIFD:FlashpixVersion"), "0100");
    EXPECT_EQ(ExiftoolValue(path, "ExifIFD:DateTimeOriginal").size(), 19u);
    EXPECT_NE(ExiftoolValue(path, "JFIF:JFIFVersion"), "");
    EXPECT_NE(test::RunCommand("exiftool -a -G1 -s '" + path + "'").find("[IFD0]          ImageDescription                : \n"),
              std::string::npos);
    if (!test::RunCommand("command -v djpeg").empty()) {
      EXPECT_EQ(test::RunCommand("djpeg '" + path + "' >/dev/null 2>&1 && echo ok"), "ok\n");
    }
    // The camera's own APP1 survives.
    if (std::string(photo).find("casio") == 0) {
      std::string text(bytes.begin(), bytes.end());
      EXPECT_NE(text.find("QVCI"), std::string::npos);
    }
  }
}

TEST_F(ExifPlugin, RewritesKeepEverythingElse) {
  RequireExiftool();
  // MakerNotes with offsets of their own and ones counted from the TIFF
  // header (Sony, Panasonic, old Nikon, Canon), which move with the block.
  for (const char* photo : {"canon_eos_rebel_t3i.jpg", "canon_powershot_a85_orient8.jpg",
                            "canon_powershot_a720is.jpg", "sony_dsc-hx5v_gps.jpg",
                            "panasonic_dmc-lc70_progressive.jpg", "nikon_e775_usercomment.jpg",
                            "fujifilm_finepix_s5500.jpg", "pentax_ist_d.jpg", "kodak_dx4330.jpg",
                            "samsung_sm-j327t1_orient6.jpg", "apple_iphonexr_1x1.jpg",
                            "nokia_lumia800_gps_xmp_icc_iptc.jpg", "metadata_kitchen_sink.jpg",
                            "apple_iphone4_gps_icc_before_exif.jpg", "flir_empty_model_uniqueid.jpg"}) {
    std::string path = Copy(photo, "photo.jpg");
    std::set<std::string> before = Kept(path);
    std::string warning = ExiftoolValue(path, "Warning");
    ASSERT_TRUE(plugin_->WriteExif(path, 33432, "Copyright")) << photo;
    EXPECT_EQ(WarningKind(ExiftoolValue(path, "Warning")), WarningKind(warning)) << photo;
    std::set<std::string> after = Kept(path);
    std::vector<std::string> lost;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(lost));
    EXPECT_TRUE(lost.empty()) << photo << ": " << (lost.empty() ? "" : lost.front()) << " (" << lost.size() << " lines)";
    EXPECT_EQ(ExiftoolValue(path, "IFD0:Copyright"), "Copyright");
  }
}

TEST_F(ExifPlugin, NoDanglingOffsetsAfterARewrite) {
  RequireExiftool();
  // A private sub-IFD libexif cannot carry is dropped, not left pointing
  // into whatever lies at its old offset.
  std::string path = Copy("kodak_proback_exif_ifd_loop.jpg", "kodak.jpg");
  ASSERT_TRUE(plugin_->WriteExif(path, 270, "Title"));
  EXPECT_EQ(ExiftoolValue(path, "Warning").find("KodakIFD"), std::string::npos);
  EXPECT_EQ(ExiftoolValue(path, "IFD0:Model"), ExiftoolValue(Photo("kodak_proback_exif_ifd_loop.jpg"), "IFD0:Model"));
}

TEST_F(ExifPlugin, XmpBeforeExifSurvivesRewrites) {
  RequireExiftool();
  std::vector<uint8_t> bytes = ReadBytes(Photo("nokia_lumia800_gps_xmp_icc_iptc.jpg"));
  TJpegFile file;
  ASSERT_TRUE(file.Read(bytes.data(), bytes.size()));
  auto& segments = file.Segments();
  auto xmp = std::find_if(segments.begin(), segments.end(),
                          [](const TJpegSegment& s) { return s.PayloadStartsWith("http://ns.adobe.com/xap/1.0/"); });
  ASSERT_NE(xmp, segments.end());
  TJpegSegment moved = *xmp;
  segments.erase(xmp);
  file.Insert(1, moved);
  std::string path = temp_ / "xmpfirst.jpg";
  test::WriteBytes(path, file.Write());
  std::string creator = ExiftoolValue(path, "XMP-dc:Creator");
  std::string model = ExiftoolValue(path, "IFD0:Model");
  ASSERT_FALSE(model.empty());

  ASSERT_TRUE(plugin_->WriteExif(path, 270, "Title"));
  std::string dest = Copy("grayscale_no_exif.jpg", "dest.jpg");
  ASSERT_TRUE(plugin_->CopyExif(path, dest));
  for (const std::string& p : {path, dest}) {
    EXPECT_EQ(ExiftoolValue(p, "XMP-dc:Creator"), creator) << p;
    EXPECT_EQ(ExiftoolValue(p, "IFD0:Model"), model) << p;
  }
}

TEST_F(ExifPlugin, CopyExifKeepsMakerNoteGpsXmpAndIcc) {
  RequireExiftool();
  for (const char* photo : {"nokia_lumia800_gps_xmp_icc_iptc.jpg", "canon_eos_rebel_t3i.jpg",
                            "apple_iphone4_gps_icc_before_exif.jpg", "sony_dsc-hx5v_gps.jpg"}) {
    std::string source = Copy(photo, "source.jpg");
    std::string dest = Copy("casio_qv-7000sx_no_exif.jpg", "dest.jfif");
    ASSERT_TRUE(plugin_->CopyExif(source, dest)) << photo;
    std::set<std::string> from = Kept(source, {"ThumbnailImage"});
    std::set<std::string> to = Kept(dest);
    std::vector<std::string> lost;
    std::set_difference(from.begin(), from.end(), to.begin(), to.end(), std::back_inserter(lost));
    EXPECT_TRUE(lost.empty()) << photo << ": " << (lost.empty() ? "" : lost.front()) << " (" << lost.size() << " lines)";
    if (!ExiftoolValue(source, "ExifIFD:ExifImageWidth").empty()) {
      EXPECT_EQ(ExiftoolValue(dest, "ExifIFD:ExifImageWidth"), "320");
    }
    std::string warning = ExiftoolValue(dest, "Warning");
    EXPECT_TRUE(warning.empty() || WarningKind(warning) == WarningKind(ExiftoolValue(source, "Warning")))
        << photo << ": " << warning;
  }
}

TEST_F(ExifPlugin, CopyExifRenewsTheThumbnailWhenTheCodecsWork) {
  RequireExiftool();
  std::string source = Copy("apple_iphone5_gps_orient3.jpg", "source.jpg");
  std::string dest = Copy("canon_powershot_a85_orient8.jpg", "dest.jpg");
  tvx::TPictureData picture = plugin_->LoadBitmap(dest);
  if (picture.Width == 0) GTEST_SKIP() << "picture codecs not available";
  plugin_->FreeMemory(picture.Pixels);
  ASSERT_TRUE(plugin_->CopyExif(source, dest));
  std::string thumb = temp_ / "thumb.jpg";
  test::RunCommand("exiftool -b -ThumbnailImage '" + dest + "' > '" + thumb + "'");
  // Stored like the destination (portrait picture kept landscape in the file).
  EXPECT_EQ(ExiftoolValue(thumb, "ImageSize"), "160x120");
  EXPECT_EQ(ExiftoolValue(dest, "IFD0:Orientation"), "Rotate 270 CW");
  EXPECT_EQ(ExiftoolValue(dest, "ExifIFD:ExifImageWidth"), "1704");
}

TEST_F(ExifPlugin, FailuresLeaveFilesUntouched) {
  std::string png = Copy("canon_eos_rebel_t3i.jpg", "picture.png");
  std::vector<uint8_t> original = ReadBytes(png);
  EXPECT_FALSE(plugin_->WriteExif(png, 270, "x"));
  EXPECT_FALSE(plugin_->CopyExif(png, Copy("grayscale_no_exif.jpg", "g.jpg")));
  EXPECT_TRUE(ReadBytes(png) == original);

  std::string dest = Copy("canon_eos_rebel_t3i.jpg", "dest.jpg");
  original = ReadBytes(dest);
  EXPECT_FALSE(plugin_->CopyExif(Copy("xmp_iptc_no_exif.jpg", "src.jpg"), dest));
  EXPECT_FALSE(plugin_->CopyExif(temp_ / "missing.jpg", dest));
  EXPECT_FALSE(plugin_->CopyExif(Copy("canon_eos_rebel_t3i.jpg", "src.png"), dest));
  EXPECT_TRUE(ReadBytes(dest) == original);
  EXPECT_TRUE(plugin_->GetExif(temp_ / "missing.jpg").Values.empty());
  EXPECT_EQ(plugin_->ReadExif(dest, 70000), "");

  for (const auto& entry : fs::directory_iterator(tvx::test::TestDataDir() / "bad")) {
    std::string path = temp_ / ("bad" + entry.path().extension().string());
    fs::copy_file(entry.path(), path, fs::copy_options::overwrite_existing);
    std::string jpg = temp_ / "bad.jpg";
    fs::copy_file(entry.path(), jpg, fs::copy_options::overwrite_existing);
    plugin_->GetExif(path);
    plugin_->ReadExif(path, 271);
    std::vector<uint8_t> before = ReadBytes(jpg);
    TJpegFile file;
    bool parsable = file.Read(before.data(), before.size());
    bool written = plugin_->WriteExif(jpg, 270, "x");
    EXPECT_TRUE(!written || parsable) << entry.path();
    if (!written) {
      EXPECT_TRUE(ReadBytes(jpg) == before) << entry.path();
    }
    plugin_->CopyExif(Photo("canon_eos_rebel_t3i.jpg"), jpg);
    plugin_->CopyExif(jpg, Copy("grayscale_no_exif.jpg", "g.jpg"));
  }
}

TEST_F(ExifPlugin, RewriteKeepsPermissionsAndLeavesNoTemporaryFile) {
  std::string path = Copy("canon_eos_rebel_t3i.jpg", "perm.jpg");
  ::chmod(path.c_str(), 0640);
  fs::create_symlink(path, temp_ / "link.jpg");
  ASSERT_TRUE(plugin_->WriteExif(temp_ / "link.jpg", 270, "via link"));
  struct stat info {};
  ASSERT_EQ(::lstat((temp_ / "link.jpg").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(plugin_->ReadExif(path, 270), "via link");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(temp_.Path())) ++files;
  EXPECT_EQ(files, 2);
}

}  // namespace
}  // namespace kobalt
