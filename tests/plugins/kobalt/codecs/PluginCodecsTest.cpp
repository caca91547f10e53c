// kobalt.fp's picture side through the loaded module: the format list, every
// sample picture, round trips of every saveable format, quality, orientation
// and the failure paths.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "PluginLoader.h"

namespace fs = std::filesystem;
using kobalt::test::Load;
using kobalt::test::TLoadedPlugin;
using kobalt::test::TPicture;

namespace {

// A picture with smooth gradients, hard edges and every alpha level, so that
// a codec that swaps channels, flips rows or drops alpha shows it.
std::vector<uint32_t> TestPattern(int w, int h, bool withAlpha) {
  std::vector<uint32_t> px(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = (x < w / 2) ? 40 : 200;
      uint32_t a = withAlpha ? (x * 7 + y * 3) % 256 : 255;
      px[size_t(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return px;
}

// At most 200 distinct colours, alpha only 0 or 255: what GIF keeps exactly.
std::vector<uint32_t> FewColours(int w, int h) {
  std::vector<uint32_t> px(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t c = ((x / 4) * 13 + (y / 4) * 7) % 200;
      uint32_t a = (x + y) % 11 == 0 ? 0 : 255;
      px[size_t(y) * w + x] = a ? (0xFF000000u | c * 0x010203u % 0xFFFFFF) : 0;
    }
  return px;
}

double MeanAbsDiff(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int s = 0; s < 24; s += 8) sum += std::abs(int((a[i] >> s) & 255) - int((b[i] >> s) & 255));
  return sum / (3.0 * a.size());
}

// Upright sizes of the sample pictures (the stored size, swapped for
// orientations 5 to 8).
const std::map<std::string, std::pair<int, int>>& ExpectedSizes() {
  static const std::map<std::string, std::pair<int, int>> sizes = {
      {"photos/apple_iphone4_gps_icc_before_exif.jpg", {1296, 968}},
      {"photos/apple_iphone5_gps_orient3.jpg", {3264, 2448}},
      {"photos/apple_iphonexr_1x1.jpg", {1, 1}},
      {"photos/canon_eos_rebel_t3i.jpg", {1152, 768}},
      {"photos/canon_powershot_a720is.jpg", {2048, 1536}},
      {"photos/canon_powershot_a85_orient8.jpg", {2272, 1704}},
      {"photos/casio_qv-7000sx_no_exif.jpg", {320, 240}},
      {"photos/cmyk_ycck_multichunk_icc.jpg", {140, 140}},
      {"photos/flir_empty_model_uniqueid.jpg", {1080, 1440}},
      {"photos/fujifilm_finepix_s5500.jpg", {2272, 1704}},
      {"photos/grayscale_no_exif.jpg", {128, 128}},
      {"photos/kodak_dx4330.jpg", {2160, 1440}},
      {"photos/kodak_proback_exif_ifd_loop.jpg", {1228, 877}},
      {"photos/metadata_kitchen_sink.jpg", {8, 8}},
      {"photos/nikon_d70_iptc.jpg", {3008, 2000}},
      {"photos/nikon_e775_usercomment.jpg", {1600, 1200}},
      {"photos/nikon_e900_exif_truncated.jpg", {1280, 960}},
      {"photos/nokia_lumia800_gps_xmp_icc_iptc.jpg", {2448, 3264}},
      {"photos/olympus_pen_e-p3.jpg", {1280, 960}},
      {"photos/orientation5_transpose.jpg", {1800, 1200}},
      {"photos/panasonic_dmc-lc70_progressive.jpg", {1280, 960}},
      {"photos/pentax_ist_d.jpg", {1536, 1024}},
      {"photos/samsung_sm-j327t1_orient6.jpg", {1932, 2576}},
      {"photos/sony_dsc-hx5v_gps.jpg", {730, 547}},
      {"photos/xmp_iptc_no_exif.jpg", {1280, 1024}},
      {"formats/bmp_pal1.bmp", {127, 64}},
      {"formats/bmp_pal4.bmp", {127, 64}},
      {"formats/bmp_pal8.bmp", {127, 64}},
      {"formats/bmp_pal8_rle8.bmp", {127, 64}},
      {"formats/bmp_pal8_topdown.bmp", {127, 64}},
      {"formats/bmp_rgb16_565.bmp", {127, 64}},
      {"formats/bmp_rgb24.bmp", {127, 64}},
      {"formats/bmp_rgb24_topdown.bmp", {127, 64}},
      {"formats/bmp_rgb24_v5hdr_128.bmp", {128, 128}},
      {"formats/bmp_rgb32_noalpha.bmp", {127, 64}},
      {"formats/bmp_rgba32_topdown.bmp", {127, 64}},
      {"formats/bmp_rgba32_v5_bitfields.bmp", {127, 64}},
      {"formats/gif_animated_31f_transparent.gif", {320, 240}},
      {"formats/gif_animated_5f_dispose_bg.gif", {100, 100}},
      {"formats/gif_static_opaque.gif", {128, 128}},
      {"formats/gif_static_transparent.gif", {200, 150}},
      {"formats/jpeg_12bit_precision.jpg", {149, 227}},
      {"formats/jpeg_arithmetic_coded.jpg", {227, 149}},
      {"formats/jpeg_baseline_jfif_only.jpg", {227, 149}},
      {"formats/png_gray1.png", {32, 32}},
      {"formats/png_gray16.png", {32, 32}},
      {"formats/png_gray8.png", {32, 32}},
      {"formats/png_gray_alpha8.png", {32, 32}},
      {"formats/png_interlaced_rgb8.png", {32, 32}},
      {"formats/png_interlaced_rgba16.png", {32, 32}},
      {"formats/png_palette1.png", {32, 32}},
      {"formats/png_palette8_trns.png", {32, 32}},
      {"formats/png_rgb16_32x32.png", {32, 32}},
      {"formats/png_rgb16_icc_photo.png", {149, 227}},
      {"formats/png_rgba16_32x32.png", {32, 32}},
      {"formats/png_rgba8_32x32.png", {32, 32}},
      {"formats/png_rgba8_alpha.png", {200, 150}},
      {"formats/png_with_exif_chunk.png", {512, 512}},
      {"formats/tiff_bigtiff_rgb8.tif", {128, 128}},
      {"formats/tiff_cmyk_jpeg.tif", {100, 100}},
      {"formats/tiff_gray16_deflate.tif", {64, 64}},
      {"formats/tiff_multipage_3pages_1bit.tif", {10, 10}},
      {"formats/tiff_rgb16_deflate_tiled.tif", {100, 40}},
      {"formats/tiff_rgb8_deflate_3pages.tif", {278, 374}},
      {"formats/tiff_rgb8_lzw.tif", {128, 128}},
      {"formats/tiff_rgb8_planar_tiled_lzw.tif", {278, 374}},
      {"formats/tiff_rgb8_uncompressed.tif", {128, 128}},
      {"formats/tiff_rgba16_lzw.tif", {100, 40}},
      {"formats/tiff_rgba8_uncompressed.tif", {55, 43}},
  };
  return sizes;
}

class PluginCodecs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin_) << "kobalt.fp did not load"; }
  std::string Data(const std::string& name) { return (tvx::test::TestDataDir() / name).string(); }
  TLoadedPlugin plugin_;
  tvx::test::TTempDir dir_;
};

TEST_F(PluginCodecs, FormatListAndDescription) {
  EXPECT_EQ(plugin_->GetDescription(), "Standart Input/Output Plugin for Tarvex.");
  // The other names of JPEG and TIFF are read-only rows; the two added come
  // last, so no saving row moves.
  const char* expected[] = {".bmp", ".jpg", ".jpeg", ".tif", ".png", ".gif", ".tiff", ".jpe"};
  for (uint32_t i = 0; i < 8; ++i) {
    tvx::TFileFormat f = plugin_->GetFormat(i);
    EXPECT_EQ(f.Extension, expected[i]);
    EXPECT_TRUE(f.CanLoad);
    EXPECT_EQ(f.CanSave, i != 2 && i < 6) << f.Extension;
  }
  EXPECT_TRUE(plugin_->GetFormat(8).Extension.empty());
  EXPECT_TRUE(plugin_->GetFormat(0xFFFFFFFFu).Extension.empty());
}

TEST_F(PluginCodecs, EverySamplePictureDecodesUprightWithItsSize) {
  TVX_REQUIRE_TESTDATA();
  size_t checked = 0;
  for (const char* folder : {"photos", "formats"})
    for (const auto& entry : fs::directory_iterator(tvx::test::TestDataDir() / folder)) {
      std::string rel = std::string(folder) + "/" + entry.path().filename().string();
      auto it = ExpectedSizes().find(rel);
      if (it == ExpectedSizes().end()) continue;  // a README-only addition
      SCOPED_TRACE(rel);
      ++checked;
      TPicture picture = Load(plugin_, entry.path().string());
      tvx::TPictureSize info = plugin_->LoadBitmapInfo(entry.path().string());
      if (rel == "formats/jpeg_12bit_precision.jpg" && picture.Width == 0) {
        // 12-bit samples are beyond an 8-bit libjpeg: a clean refusal is right
        EXPECT_EQ(picture.Height, 0);
        continue;
      }
      EXPECT_EQ(picture.Width, it->second.first);
      EXPECT_EQ(picture.Height, it->second.second);
      EXPECT_EQ(info.Width, picture.Width);
      EXPECT_EQ(info.Height, picture.Height);
      ASSERT_EQ(picture.Pixels.size(), size_t(picture.Width) * picture.Height);
    }
  EXPECT_EQ(checked, ExpectedSizes().size());
}

// Files that hold the same picture in different encodings decode alike.
TEST_F(PluginCodecs, SamePictureThroughDifferentEncodings) {
  TVX_REQUIRE_TESTDATA();
  const std::vector<std::vector<std::string>> groups = {
      {"formats/bmp_rgb24.bmp", "formats/bmp_rgb24_topdown.bmp", "formats/bmp_rgb32_noalpha.bmp"},
      {"formats/bmp_pal8.bmp", "formats/bmp_pal8_topdown.bmp", "formats/bmp_pal8_rle8.bmp"},
      {"formats/bmp_rgba32_v5_bitfields.bmp", "formats/bmp_rgba32_topdown.bmp"},
      {"formats/tiff_rgb8_uncompressed.tif", "formats/tiff_rgb8_lzw.tif", "formats/tiff_bigtiff_rgb8.tif"},
  };
  for (const auto& group : groups) {
    TPicture first = Load(plugin_, Data(group[0]));
    ASSERT_GT(first.Width, 0) << group[0];
    for (size_t i = 1; i < group.size(); ++i) {
      TPicture other = Load(plugin_, Data(group[i]));
      EXPECT_TRUE(other.Pixels == first.Pixels) << group[i] << " differs from " << group[0];
    }
  }
}

TEST_F(PluginCodecs, AlphaOfSampleFilesComesThrough) {
  TVX_REQUIRE_TESTDATA();
  for (const char* name : {"formats/png_rgba8_alpha.png", "formats/png_palette8_trns.png",
                           "formats/gif_static_transparent.gif", "formats/bmp_rgba32_v5_bitfields.bmp",
                           "formats/tiff_rgba8_uncompressed.tif", "formats/png_gray_alpha8.png"}) {
    TPicture p = Load(plugin_, Data(name));
    ASSERT_GT(p.Width, 0) << name;
    bool transparent = false, opaque = false;
    for (uint32_t px : p.Pixels) (px >> 24) == 0 ? transparent = true : (px >> 24) == 255 ? opaque = true : false;
    EXPECT_TRUE(transparent) << name;
  }
  for (const char* name : {"formats/bmp_rgb32_noalpha.bmp", "formats/png_gray8.png",
                           "photos/grayscale_no_exif.jpg", "photos/cmyk_ycck_multichunk_icc.jpg",
                           "formats/gif_static_opaque.gif", "formats/tiff_cmyk_jpeg.tif"}) {
    TPicture p = Load(plugin_, Data(name));
    ASSERT_GT(p.Width, 0) << name;
    for (uint32_t px : p.Pixels) ASSERT_EQ(px >> 24, 255u) << name;
  }
}

TEST_F(PluginCodecs, GrayscaleAndCmykComeOutAsColours) {
  TVX_REQUIRE_TESTDATA();
  TPicture gray = Load(plugin_, Data("photos/grayscale_no_exif.jpg"));
  ASSERT_GT(gray.Width, 0);
  for (uint32_t px : gray.Pixels) {
    ASSERT_EQ((px >> 16) & 255, px & 255);
    ASSERT_EQ((px >> 8) & 255, px & 255);
  }
  // An Adobe (inverted) CMYK file that came out inverted would be mostly dark.
  TPicture cmyk = Load(plugin_, Data("photos/cmyk_ycck_multichunk_icc.jpg"));
  ASSERT_GT(cmyk.Width, 0);
  double sum = 0;
  for (uint32_t px : cmyk.Pixels) sum += ((px >> 16) & 255) + ((px >> 8) & 255) + (px & 255);
  double mean = sum / (3.0 * cmyk.Pixels.size());
  EXPECT_GT(mean, 40);
  EXPECT_LT(mean, 230);
}

TEST_F(PluginCodecs, RotatedPhotosComeOutUpright) {
  TVX_REQUIRE_TESTDATA();
  tvx::TPictureSize info = plugin_->LoadBitmapInfo(Data("photos/samsung_sm-j327t1_orient6.jpg"));
  EXPECT_EQ(info.Width, 1932);
  EXPECT_EQ(info.Height, 2576);
  TPicture p = Load(plugin_, Data("photos/samsung_sm-j327t1_orient6.jpg"));
  EXPECT_LT(p.Width, p.Height);
}

// Walks the plug-in's own list, so a format added later is covered at once.
TEST_F(PluginCodecs, EverySaveableFormatRoundTrips) {
  const int w = 61, h = 37;  // odd sizes catch row padding and chroma edges
  const auto alpha = TestPattern(w, h, true), opaque = TestPattern(w, h, false);
  const auto few = FewColours(w, h);
  int formats = 0;
  for (uint32_t i = 0;; ++i) {
    tvx::TFileFormat f = plugin_->GetFormat(i);
    if (f.Extension.empty()) break;
    if (!f.CanSave) continue;
    ++formats;
    SCOPED_TRACE(f.Extension);
    std::string path = dir_ / ("out" + f.Extension);
    if (f.Extension == ".jpg") {
      ASSERT_TRUE(plugin_->SaveBitmap(path, w, h, opaque.data()));
      TPicture back = Load(plugin_, path);
      ASSERT_EQ(back.Width, w);
      ASSERT_EQ(back.Height, h);
      EXPECT_LT(MeanAbsDiff(back.Pixels, opaque), 4.0);
    } else if (f.Extension == ".gif") {
      ASSERT_TRUE(plugin_->SaveBitmap(path, w, h, few.data()));
      TPicture back = Load(plugin_, path);
      ASSERT_EQ(back.Width, w);
      for (size_t k = 0; k < few.size(); ++k)
        ASSERT_EQ(back.Pixels[k], few[k]) << "pixel " << k;
    } else {
      for (const auto* source : {&alpha, &opaque}) {
        ASSERT_TRUE(plugin_->SaveBitmap(path, w, h, source->data()));
        TPicture back = Load(plugin_, path);
        ASSERT_EQ(back.Width, w);
        ASSERT_EQ(back.Height, h);
        EXPECT_TRUE(back.Pixels == *source);
        tvx::TPictureSize info = plugin_->LoadBitmapInfo(path);
        EXPECT_EQ(info.Width, w);
        EXPECT_EQ(info.Height, h);
      }
    }
  }
  EXPECT_EQ(formats, 5);
}

// The read-only rows are other names of saveable formats: a file so named is
// written (the host sends it here by its twin) as that format and reads back.
TEST_F(PluginCodecs, OtherNamesOfAFormatAreWrittenAsThatFormat) {
  const int w = 61, h = 37;
  const auto alpha = TestPattern(w, h, true), opaque = TestPattern(w, h, false);
  const std::map<std::string, std::string> magic = {{".jpg", "\xFF\xD8\xFF"}, {".tif", "II*"}};
  int names = 0;
  for (uint32_t i = 0;; ++i) {
    tvx::TFileFormat f = plugin_->GetFormat(i);
    if (f.Extension.empty()) break;
    if (f.CanSave) continue;
    const std::string twin = f.Extension == ".tiff" ? ".tif" : ".jpg";
    std::string upper = f.Extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {"out" + f.Extension, "OUT" + upper}) {
      SCOPED_TRACE(name);
      ++names;
      const std::string path = dir_ / name;
      const auto& source = twin == ".jpg" ? opaque : alpha;
      ASSERT_TRUE(plugin_->SaveBitmap(path, w, h, source.data()));
      EXPECT_EQ(tvx::test::ReadFileBytes(path).substr(0, 3), magic.at(twin));
      TPicture back = Load(plugin_, path);
      ASSERT_EQ(back.Width, w);
      ASSERT_EQ(back.Height, h);
      if (twin == ".jpg")
        EXPECT_LT(MeanAbsDiff(back.Pixels, source), 4.0);
      else
        EXPECT_TRUE(back.Pixels == source);
    }
  }
  EXPECT_EQ(names, 6);  // ".jpeg", ".tiff", ".jpe", each in both letter cases
}

TEST_F(PluginCodecs, ManyColouredGifStaysClose) {
  const int w = 200, h = 120;
  auto source = TestPattern(w, h, false);
  std::string path = dir_ / "many.gif";
  ASSERT_TRUE(plugin_->SaveBitmap(path, w, h, source.data()));
  TPicture back = Load(plugin_, path);
  ASSERT_EQ(back.Width, w);
  EXPECT_LT(MeanAbsDiff(back.Pixels, source), 6.0);
}

TEST_F(PluginCodecs, OpaquePngIsStoredWithoutAlpha) {
  auto opaque = TestPattern(20, 10, false), alpha = TestPattern(20, 10, true);
  ASSERT_TRUE(plugin_->SaveBitmap(dir_ / "o.png", 20, 10, opaque.data()));
  ASSERT_TRUE(plugin_->SaveBitmap(dir_ / "a.png", 20, 10, alpha.data()));
  EXPECT_EQ(tvx::test::ReadFileBytes(dir_ / "o.png")[25], 2);  // IHDR colour type RGB
  EXPECT_EQ(tvx::test::ReadFileBytes(dir_ / "a.png")[25], 6);  // RGBA
}

TEST_F(PluginCodecs, ContentDecidesNotTheName) {
  TVX_REQUIRE_TESTDATA();
  TPicture p = Load(plugin_, Data("bad/jpeg_extension_but_png_content.jpg"));
  EXPECT_EQ(p.Width, 32);
  EXPECT_EQ(p.Height, 32);
  auto px = TestPattern(16, 16, true);
  std::string path = dir_ / "really-a-bmp.bmp";
  ASSERT_TRUE(plugin_->SaveBitmap(path, 16, 16, px.data()));
  fs::rename(path, dir_ / "named.png");
  EXPECT_TRUE(Load(plugin_, dir_ / "named.png").Pixels == px);
}

TEST_F(PluginCodecs, JpegQuality) {
  // noise makes the file size follow the quality closely
  std::vector<uint32_t> px(128 * 128);
  uint32_t seed = 1;
  for (uint32_t& p : px) p = 0xFF000000u | ((seed = seed * 1103515245u + 12345u) >> 8 & 0xFFFFFF);
  auto saveSize = [&](TLoadedPlugin& plugin) {
    std::string path = dir_ / "q.jpg";
    EXPECT_TRUE(plugin->SaveBitmap(path, 128, 128, px.data()));
    return fs::file_size(path);
  };
  TLoadedPlugin fresh;
  auto atDefault = saveSize(fresh);
  plugin_->SetQuality(".jpg", 80);
  EXPECT_EQ(saveSize(plugin_), atDefault);  // the default is 80
  plugin_->SetQuality(".jpg", 100);
  auto at100 = saveSize(plugin_);
  EXPECT_GT(at100, atDefault);
  plugin_->SetQuality(".png", 50);  // other formats have no quality
  EXPECT_EQ(saveSize(plugin_), at100);
  plugin_->SetQuality(".jpg", 10);
  EXPECT_LT(saveSize(plugin_), atDefault);
  plugin_->SetQuality(".JPG", 250);  // limited to 100
  EXPECT_EQ(saveSize(plugin_), at100);
  plugin_->SetQuality(".jpeg", 10);  // the other names of JPEG set it too
  EXPECT_LT(saveSize(plugin_), atDefault);
  plugin_->SetQuality(".JPE", 100);
  EXPECT_EQ(saveSize(plugin_), at100);
  plugin_->SetQuality(".tiff", 10);
  EXPECT_EQ(saveSize(plugin_), at100);
}

TEST_F(PluginCodecs, SaveRefusesOtherExtensions) {
  auto px = TestPattern(8, 8, false);
  for (const char* name : {"a.webp", "noextension", "a.jfif", "a.tif.bak", "a.jpgx"}) {
    EXPECT_FALSE(plugin_->SaveBitmap(dir_ / name, 8, 8, px.data())) << name;
    EXPECT_FALSE(fs::exists(dir_ / name)) << name;
  }
  EXPECT_TRUE(plugin_->SaveBitmap(dir_ / "UPPER.JPG", 8, 8, px.data()));
  EXPECT_FALSE(plugin_->SaveBitmap(dir_ / "x.png", 0, 8, px.data()));
  EXPECT_FALSE(plugin_->SaveBitmap(dir_ / "x.png", 8, 8, nullptr));
}

TEST_F(PluginCodecs, MissingAndUnreadableFiles) {
  tvx::TPictureData d = plugin_->LoadBitmap(dir_ / "missing.png");
  EXPECT_EQ(d.Width, 0);
  EXPECT_EQ(d.Pixels, nullptr);
  tvx::TPictureSize s = plugin_->LoadBitmapInfo(dir_ / "missing.png");
  EXPECT_EQ(s.Width, 0);
  EXPECT_EQ(s.Height, 0);
  EXPECT_EQ(plugin_->LoadBitmap(dir_.Path().string()).Width, 0);  // a folder
  tvx::test::WriteFileBytes(dir_ / "text.jpg", "just some text, not a picture");
  EXPECT_EQ(plugin_->LoadBitmap(dir_ / "text.jpg").Width, 0);
}

TEST_F(PluginCodecs, BadFilesFailCleanlyOrGiveSanePictures) {
  TVX_REQUIRE_TESTDATA();
  for (const auto& entry : fs::directory_iterator(tvx::test::TestDataDir() / "bad")) {
    SCOPED_TRACE(entry.path().filename().string());
    tvx::TPictureSize info = plugin_->LoadBitmapInfo(entry.path().string());
    EXPECT_EQ(info.Width == 0, info.Height == 0);
    TPicture p = Load(plugin_, entry.path().string());
    EXPECT_EQ(p.Width == 0, p.Height == 0);
    if (p.Width > 0) {
      EXPECT_LE(int64_t(p.Width) * p.Height, int64_t(1) << 28);
      EXPECT_EQ(p.Pixels.size(), size_t(p.Width) * p.Height);
    }
  }
  // the ones no reader can make a picture of
  for (const char* name : {"bad/jpeg_empty.jpg", "bad/jpeg_headers_only_no_scan.jpg",
                           "bad/jpeg_sof_zero_dimensions.jpg", "bad/bmp_huge_dimensions.bmp",
                           "bad/png_ihdr_zero_width.png", "bad/gif_zero_width.gif",
                           "bad/png_truncated_50pct.png", "bad/bmp_bad_bitcount.bmp"})
    EXPECT_EQ(Load(plugin_, Data(name)).Width, 0) << name;
}

TEST_F(PluginCodecs, SaveReplacesAndKeepsPermissions) {
  auto a = TestPattern(30, 20, true), b = TestPattern(20, 30, false);
  std::string path = dir_ / "p.png";
  ASSERT_TRUE(plugin_->SaveBitmap(path, 30, 20, a.data()));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(plugin_->SaveBitmap(path, 20, 30, b.data()));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  TPicture back = Load(plugin_, path);
  EXPECT_EQ(back.Width, 20);
  EXPECT_TRUE(back.Pixels == b);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 1);
}

TEST_F(PluginCodecs, FailedWriteKeepsTheOldFile) {
  auto small = TestPattern(8, 8, false);
  std::string path = dir_ / "keep.bmp";
  ASSERT_TRUE(plugin_->SaveBitmap(path, 8, 8, small.data()));
  std::string before = tvx::test::ReadFileBytes(path);

  // A file size limit makes the write fail even for root.
  auto big = TestPattern(300, 300, true);
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old;
  limit.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  bool saved = plugin_->SaveBitmap(path, 300, 300, big.data());
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(tvx::test::ReadFileBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 1)
      << "a temporary file was left behind";
  EXPECT_FALSE(plugin_->SaveBitmap(dir_ / "no/such/folder/x.png", 8, 8, small.data()));
}

TEST_F(PluginCodecs, ReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  auto px = TestPattern(8, 8, false);
  fs::create_directory(dir_ / "ro");
  std::string path = dir_ / "ro/x.png";
  ASSERT_TRUE(plugin_->SaveBitmap(path, 8, 8, px.data()));
  std::string before = tvx::test::ReadFileBytes(path);
  fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  auto other = TestPattern(8, 8, true);
  EXPECT_FALSE(plugin_->SaveBitmap(path, 8, 8, other.data()));
  EXPECT_FALSE(plugin_->SaveBitmap(dir_ / "ro/new.png", 8, 8, other.data()));
  fs::permissions(dir_ / "ro", fs::perms::owner_all);
  EXPECT_EQ(tvx::test::ReadFileBytes(path), before);
}

TEST_F(PluginCodecs, ConcurrentLoadsOfDifferentFormats) {
  TVX_REQUIRE_TESTDATA();
  const std::vector<std::string> names = {
      "formats/tiff_rgba16_lzw.tif", "formats/png_interlaced_rgba16.png", "bad/tiff_bad_strip_counts.tif",
      "formats/gif_static_transparent.gif", "photos/olympus_pen_e-p3.jpg", "bad/jpeg_truncated_50pct.jpg"};
  std::map<std::string, std::vector<uint32_t>> reference;
  for (const auto& n : names) reference[n] = Load(plugin_, Data(n)).Pixels;
  auto worker = [&](size_t offset, bool& same) {
    for (int round = 0; round < 4; ++round)
      for (size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[(i + offset) % names.size()];
        if (Load(plugin_, Data(n)).Pixels != reference[n]) same = false;
      }
  };
  bool sameA = true, sameB = true;
  std::thread a(worker, 0, std::ref(sameA)), b(worker, 3, std::ref(sameB));
  a.join();
  b.join();
  EXPECT_TRUE(sameA);
  EXPECT_TRUE(sameB);
}

TEST_F(PluginCodecs, ModuleExportsOnlyTheEntryPoint) {
  std::string command = "nm -D --defined-only '" + (tvx::test::BinDir() / "kobalt.fp").string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) GTEST_SKIP() << "nm not available";
  std::vector<std::string> symbols;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::string s(line);
    std::string name = s.substr(s.find_last_of(' ') + 1);
    name.erase(name.find_last_not_of("\n") + 1);
    if (s.find(" T ") != std::string::npos || s.find(" D ") != std::string::npos ||
        s.find(" B ") != std::string::npos)
      symbols.push_back(name);
  }
  if (pclose(pipe) != 0 && symbols.empty()) GTEST_SKIP() << "nm not available";
  // The entry point and the optional extensions.
  std::sort(symbols.begin(), symbols.end());
  EXPECT_EQ(symbols, (std::vector<std::string>{"GetFileMetadataAccess", "GetFileMetadataEdit", "GetFileRegionAccess",
                                               "InitFilePlugin"}));
}

}  // namespace
