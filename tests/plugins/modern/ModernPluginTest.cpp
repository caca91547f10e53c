// modern.fp through the loaded module: its format list, round trips of every
// format it saves, pictures made by each library's own command-line tool,
// the container's rotation, the real phone and camera files, hostile input,
// and EXIF, ICC and XMP checked with exiftool.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "CodecsInternal.h"
#include "ExifTestSupport.h"
#include "IsoBmff.h"
#include "ModernCodecs.h"
#include "imageio/FileMetadata.h"
#include "imageio/FilePlugin.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using kobalt::test::ExiftoolValue;
using kobalt::test::HaveExiftool;
using kobalt::test::RunCommand;

struct TPicture {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
};

class TModule {
 public:
  explicit TModule(const std::string& name) {
    handle_ = dlopen((tvx::test::BinDir() / name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    auto init = reinterpret_cast<TInitFilePluginFunc>(dlsym(handle_, "InitFilePlugin"));
    plugin_ = init ? init() : nullptr;
    auto bridge = reinterpret_cast<TGetFileMetadataAccessFunc>(dlsym(handle_, "GetFileMetadataAccess"));
    if (bridge && plugin_) metadata_ = bridge(plugin_);
  }
  ~TModule() {
    if (plugin_) plugin_->Finalize(), plugin_->FreeMemory(plugin_);
    if (handle_) dlclose(handle_);
  }
  tvx::TFilePlugin* operator->() const { return plugin_; }
  tvx::TFilePlugin* Get() const { return plugin_; }
  tvx::TFileMetadataAccess* Metadata() const { return metadata_; }
  TPicture Load(const std::string& path) const {
    tvx::TPictureData d = plugin_->LoadBitmap(path);
    TPicture p{d.Width, d.Height, {}};
    if (d.Pixels) {
      p.Pixels.assign(d.Pixels, d.Pixels + size_t(d.Width) * size_t(d.Height));
      plugin_->FreeMemory(d.Pixels);
    }
    return p;
  }

 private:
  void* handle_ = nullptr;
  tvx::TFilePlugin* plugin_ = nullptr;
  tvx::TFileMetadataAccess* metadata_ = nullptr;
};

// Gradients, a hard edge and (optionally) every alpha level: a codec that
// swaps channels, flips rows, turns the picture or drops alpha shows it.
TPicture Pattern(int w, int h, bool alpha) {
  TPicture p{w, h, std::vector<uint32_t>(size_t(w) * h)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t r = uint32_t(x * 255 / (w - 1)), g = uint32_t(y * 255 / (h - 1)), b = x < w / 3 ? 40 : 210;
      uint32_t a = alpha ? uint32_t(64 + (x + y) * 191 / (w + h - 2)) : 255;
      p.Pixels[size_t(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return p;
}

// Mean absolute difference per colour channel (and of alpha, separately).
double MeanDiff(const TPicture& a, const TPicture& b, bool alpha = false) {
  if (a.Width != b.Width || a.Height != b.Height || a.Pixels.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.Pixels.size(); ++i) {
    if (alpha) {
      sum += std::abs(int(a.Pixels[i] >> 24) - int(b.Pixels[i] >> 24));
      continue;
    }
    for (int s = 0; s < 24; s += 8) sum += std::abs(int((a.Pixels[i] >> s) & 255) - int((b.Pixels[i] >> s) & 255));
  }
  return sum / (a.Pixels.size() * (alpha ? 1.0 : 3.0));
}

bool HaveTool(const std::string& tool) { return !RunCommand("command -v " + tool + " 2>/dev/null").empty(); }

void WritePng(const TPicture& p, const std::string& path) {
  kobalt::TBytes png;
  ASSERT_TRUE(kobalt::EncodePng(p.Pixels.data(), p.Width, p.Height, png));
  kobalt::test::WriteBytes(path, png);
}

std::string Modern(const std::string& name) { return (tvx::test::TestDataDir() / "modern" / name).string(); }

class ModernPlugin : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin_.Get()) << "modern.fp did not load"; }
  std::vector<tvx::TFileFormat> Formats() {
    std::vector<tvx::TFileFormat> formats;
    for (uint32_t i = 0;; ++i) {
      tvx::TFileFormat f = plugin_->GetFormat(i);
      if (f.Extension.empty()) break;
      formats.push_back(f);
    }
    return formats;
  }
  TModule plugin_{"modern.fp"};
  tvx::test::TTempDir dir_;
};

TEST_F(ModernPlugin, DeclaresItsFormatsAfterWhichTheListEnds) {
  std::vector<std::string> names;
  for (const tvx::TFileFormat& f : Formats()) {
    names.push_back(f.Extension);
    EXPECT_TRUE(f.CanLoad) << f.Extension;
    bool heif = f.Extension == ".heic" || f.Extension == ".heif";
    EXPECT_EQ(f.CanSave, heif ? modern::CanEncodeHeic() : true) << f.Extension;
  }
  EXPECT_EQ(names, (std::vector<std::string>{".webp", ".avif", ".heic", ".heif", ".jxl"}));
  EXPECT_TRUE(plugin_->GetFormat(1000).Extension.empty());
  EXPECT_NE(plugin_.Metadata(), nullptr);
}

// Every format the plug-in saves, at the default quality and at 100, with and
// without alpha; walking the plug-in's own list keeps a new format covered.
class ModernRoundTrip : public ModernPlugin, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(ModernRoundTrip, EverySavedFormatDecodesToThePicture) {
  const auto [quality, alpha] = GetParam();
  const TPicture source = Pattern(67, 45, alpha);
  for (const tvx::TFileFormat& f : Formats()) {
    if (!f.CanSave) continue;
    std::string path = dir_ / ("picture" + f.Extension);
    plugin_->SetQuality(f.Extension, uint32_t(quality));
    ASSERT_TRUE(plugin_->SaveBitmap(path, source.Width, source.Height, source.Pixels.data())) << f.Extension;
    tvx::TPictureSize size = plugin_->LoadBitmapInfo(path);
    EXPECT_EQ(size.Width, 67) << f.Extension;
    EXPECT_EQ(size.Height, 45) << f.Extension;
    TPicture back = plugin_.Load(path);
    ASSERT_EQ(back.Width, 67) << f.Extension;
    ASSERT_EQ(back.Height, 45) << f.Extension;
    bool lossless = quality == 100 && (f.Extension == ".webp" || f.Extension == ".jxl");
    if (lossless) {
      EXPECT_EQ(back.Pixels, source.Pixels) << f.Extension << " at 100 must be lossless";
    } else {
      EXPECT_LT(MeanDiff(back, source), quality == 100 ? 3.0 : 6.0) << f.Extension;
    }
    EXPECT_LT(MeanDiff(back, source, true), alpha ? 3.0 : 0.01) << f.Extension << ": alpha";
  }
}

INSTANTIATE_TEST_SUITE_P(QualityAndAlpha, ModernRoundTrip,
                         ::testing::Combine(::testing::Values(80, 100), ::testing::Bool()));

TEST_F(ModernPlugin, QualityChangesTheFileAndIsPerFormat) {
  const TPicture source = Pattern(96, 64, false);
  auto sizeAt = [&](const std::string& ext, uint32_t quality) {
    std::string name = std::to_string(quality);
    name.append(ext);
    std::string path = dir_ / name;
    plugin_->SetQuality(ext, quality);
    EXPECT_TRUE(plugin_->SaveBitmap(path, source.Width, source.Height, source.Pixels.data()));
    return fs::file_size(path);
  };
  for (const char* ext : {".webp", ".avif", ".jxl"}) EXPECT_LT(sizeAt(ext, 10), sizeAt(ext, 95)) << ext;
  // 250 is taken as 100: lossless WebP.
  plugin_->SetQuality(".WEBP", 250);
  std::string path = dir_ / "max.webp";
  ASSERT_TRUE(plugin_->SaveBitmap(path, source.Width, source.Height, source.Pixels.data()));
  EXPECT_EQ(plugin_.Load(path).Pixels, source.Pixels);
  // A format without a quality of ours is ignored, not an error.
  plugin_->SetQuality(".png", 5);
  EXPECT_FALSE(plugin_->SaveBitmap(dir_ / "x.png", source.Width, source.Height, source.Pixels.data()));
}

// Pictures made by the libraries' own tools decode to their source pixels.
struct TToolCase {
  const char* Tool;
  const char* Ext;
  const char* Arguments;  // {in} and {out} are replaced
  double Tolerance;       // 0: exact
};

class ModernToolPictures : public ModernPlugin, public ::testing::WithParamInterface<TToolCase> {};

TEST_P(ModernToolPictures, DecodeToTheSourcePixels) {
  const TToolCase& c = GetParam();
  if (!HaveTool(c.Tool)) GTEST_SKIP() << c.Tool << " is not installed";
  const TPicture source = Pattern(80, 52, false);
  std::string png = dir_ / "source.png", out = dir_ / (std::string("tool") + c.Ext);
  WritePng(source, png);
  // {in} and {out} become the quoted paths.
  std::string command;
  for (std::string_view rest = c.Arguments; !rest.empty();) {
    if (rest.starts_with("{in}")) {
      command.append(1, '\'').append(png).append(1, '\'');
      rest.remove_prefix(4);
    } else if (rest.starts_with("{out}")) {
      command.append(1, '\'').append(out).append(1, '\'');
      rest.remove_prefix(5);
    } else {
      command.push_back(rest.front());
      rest.remove_prefix(1);
    }
  }
  RunCommand(std::string(c.Tool) + " " + command + " >/dev/null 2>&1");
  ASSERT_TRUE(fs::exists(out)) << c.Tool << " " << command;
  TPicture back = plugin_.Load(out);
  ASSERT_EQ(back.Width, source.Width) << c.Tool;
  ASSERT_EQ(back.Height, source.Height) << c.Tool;
  if (c.Tolerance == 0)
    EXPECT_EQ(back.Pixels, source.Pixels) << c.Tool << " " << command;
  else
    EXPECT_LT(MeanDiff(back, source), c.Tolerance) << c.Tool << " " << command;
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ModernToolPictures,
    ::testing::Values(TToolCase{"cwebp", ".webp", "-quiet -lossless -exact {in} -o {out}", 0},
                      TToolCase{"cwebp", ".webp", "-quiet -q 90 {in} -o {out}", 4},
                      TToolCase{"avifenc", ".avif", "-l {in} {out}", 0},
                      TToolCase{"avifenc", ".avif", "--min 10 --max 10 {in} {out}", 4},
                      // 10 and 12 bits per sample come down to 8
                      TToolCase{"avifenc", ".avif", "-d 10 -y 444 --min 0 --max 0 {in} {out}", 1.5},
                      TToolCase{"avifenc", ".avif", "-d 12 -y 444 --min 0 --max 0 {in} {out}", 1.5},
                      TToolCase{"heif-enc", ".heic", "-q 90 {in} -o {out}", 4},
                      TToolCase{"cjxl", ".jxl", "-d 0 {in} {out}", 0},
                      TToolCase{"cjxl", ".jxl", "-d 1 {in} {out}", 4}));

TEST_F(ModernPlugin, AnAvifSequenceGivesItsFirstFrame) {
  if (!HaveTool("avifenc")) GTEST_SKIP() << "avifenc is not installed";
  const TPicture first = Pattern(40, 24, false);
  TPicture second = first;
  for (uint32_t& p : second.Pixels) p ^= 0x00FFFFFF;
  std::string a = dir_ / "a.png", b = dir_ / "b.png", avif = dir_ / "sequence.avif";
  WritePng(first, a);
  WritePng(second, b);
  RunCommand("avifenc -l '" + a + "' '" + b + "' '" + avif + "' >/dev/null 2>&1");
  if (!fs::exists(avif)) GTEST_SKIP() << "this avifenc writes no sequences";
  TPicture back = plugin_.Load(avif);
  EXPECT_EQ(back.Width, 40);
  EXPECT_EQ(back.Pixels, first.Pixels);
}

// The container's rotation (anti-clockwise quarter turns) then its mirror,
// done here by plain geometry, must match what the plug-in decodes.
TPicture RotateCounterClockwise(const TPicture& p) {
  TPicture r{p.Height, p.Width, std::vector<uint32_t>(p.Pixels.size())};
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) r.Pixels[size_t(p.Width - 1 - x) * r.Width + y] = p.Pixels[size_t(y) * p.Width + x];
  return r;
}
TPicture Mirror(const TPicture& p, bool leftRight) {
  TPicture m = p;
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      int sx = leftRight ? p.Width - 1 - x : x, sy = leftRight ? y : p.Height - 1 - y;
      m.Pixels[size_t(y) * p.Width + x] = p.Pixels[size_t(sy) * p.Width + sx];
    }
  return m;
}

class ModernContainerRotation : public ModernPlugin, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(ModernContainerRotation, AvifIsDecodedUpright) {
  const auto [angle, mirror] = GetParam();  // mirror: -1 none, 0 top-bottom, 1 left-right
  if (!HaveTool("avifenc")) GTEST_SKIP() << "avifenc is not installed";
  const TPicture source = Pattern(48, 30, false);
  std::string png = dir_ / "source.png", avif = dir_ / "turned.avif";
  WritePng(source, png);
  std::string command = "avifenc -l --irot " + std::to_string(angle) +
                        (mirror >= 0 ? " --imir " + std::to_string(mirror) : std::string()) + " '" + png + "' '" +
                        avif + "' >/dev/null 2>&1";
  RunCommand(command);
  ASSERT_TRUE(fs::exists(avif)) << command;
  TPicture expected = source;
  for (int i = 0; i < angle; ++i) expected = RotateCounterClockwise(expected);
  if (mirror >= 0) expected = Mirror(expected, mirror == 1);
  TPicture back = plugin_.Load(avif);
  EXPECT_EQ(back.Width, expected.Width);
  EXPECT_EQ(back.Height, expected.Height);
  EXPECT_EQ(back.Pixels, expected.Pixels) << command;
  tvx::TPictureSize size = plugin_->LoadBitmapInfo(avif);
  EXPECT_EQ(size.Width, expected.Width);
}

INSTANTIATE_TEST_SUITE_P(AllEight, ModernContainerRotation,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3), ::testing::Values(-1, 0, 1)));

// The real files: upright size, a camera's EXIF values, alpha where there is one.
struct TRealFile {
  const char* Name;
  int Width, Height;
  const char* Make;  // "" when the file has no EXIF
  bool Alpha;
};

TEST_F(ModernPlugin, RealPhoneAndCameraFilesDecodeUprightWithTheirExif) {
  TVX_REQUIRE_TESTDATA();
  const TRealFile files[] = {
      {"heic_iphone11pro_exif_xmp.heic", 3024, 4032, "Apple", false},
      {"heic_iphone11pro_exif_at_eof.heic", 3024, 4032, "Apple", false},
      {"heif_1440x960_no_exif.heic", 1440, 960, "", false},
      {"avif_800x600_tiny.avif", 800, 600, "", false},
      {"avif_canon_eos70d_exif_20mp.avif", 5472, 3648, "Canon", false},
      {"webp_nikon_p7000_exif_orient6_icc_xmp.webp", 2736, 3648, "NIKON", false},
      {"webp_htc_desire_exif.webp", 776, 909, "HTC", false},
      {"webp_lossy_alpha.webp", 400, 301, "", true},
      {"webp_lossless_alpha.webp", 386, 395, "", true},
      {"webp_animated_lossy.webp", 320, 240, "", false},
  };
  for (const TRealFile& f : files) {
    if (!fs::exists(Modern(f.Name))) continue;
    TPicture p = plugin_.Load(Modern(f.Name));
    EXPECT_EQ(p.Width, f.Width) << f.Name;
    EXPECT_EQ(p.Height, f.Height) << f.Name;
    tvx::TPictureSize size = plugin_->LoadBitmapInfo(Modern(f.Name));
    EXPECT_EQ(size.Width, f.Width) << f.Name;
    EXPECT_EQ(size.Height, f.Height) << f.Name;
    tvx::TExifParameters exif = plugin_->GetExif(Modern(f.Name));
    if (*f.Make) {
      EXPECT_EQ(exif.Values[271], f.Make) << f.Name;
      EXPECT_EQ(plugin_->ReadExif(Modern(f.Name), 271), f.Make) << f.Name;
    } else if (std::string(f.Name).find("avif_800") == std::string::npos) {
      EXPECT_TRUE(exif.Values.empty()) << f.Name;
    }
    bool translucent = std::any_of(p.Pixels.begin(), p.Pixels.end(), [](uint32_t px) { return px >> 24 != 255; });
    EXPECT_EQ(translucent, f.Alpha) << f.Name;
  }
}

TEST_F(ModernPlugin, WebpOrientationSixIsTurnedClockwise) {
  TVX_REQUIRE_TESTDATA();
  // Stored 3648x2736 and shown turned by 90 degrees clockwise: the stored
  // top-left pixel ends up at the top right, the stored top right at the
  // bottom right.
  std::string source = Modern("webp_nikon_p7000_exif_orient6_icc_xmp.webp");
  if (!fs::exists(source)) GTEST_SKIP();
  std::string plain = dir_ / "plain.webp";
  RunCommand("webpmux -strip exif '" + source + "' -o '" + plain + "' >/dev/null 2>&1");
  if (!fs::exists(plain)) GTEST_SKIP() << "webpmux is not installed";
  TPicture stored = plugin_.Load(plain), upright = plugin_.Load(source);
  ASSERT_EQ(stored.Width, 3648);
  ASSERT_EQ(upright.Width, 2736);
  EXPECT_EQ(upright.Pixels[size_t(upright.Width - 1)], stored.Pixels[0]);
  EXPECT_EQ(upright.Pixels[size_t(upright.Height) * upright.Width - 1], stored.Pixels[size_t(stored.Width - 1)]);
}

// A grid or overlay is refused before libheif sees it when the picture it
// states is larger than any we decode; the phones' grids pass.
TEST(HeifStructure, GridsStatingHugePicturesAreRefusedBeforeDecoding) {
  const std::string finding = tvx::test::ReadFileBytes(
      std::string(TARVEX_SOURCE_DIR) + "/fuzz/regressions/fuzz_decode_heif/grid-of-24425-by-25344-in-a-64-by-64-item.heic");
  ASSERT_FALSE(finding.empty());
  EXPECT_FALSE(modern::HeifStructureSane(reinterpret_cast<const uint8_t*>(finding.data()), finding.size()));
  // Its second "idat" made harmless: one data box, whose grid states the huge picture.
  std::string one = finding;
  const size_t second = one.find("idat", one.find("idat") + 4);
  ASSERT_NE(second, std::string::npos);
  one.replace(second, 4, "free");
  EXPECT_FALSE(modern::HeifStructureSane(reinterpret_cast<const uint8_t*>(one.data()), one.size()));
  // The same grid stating 64 x 64 passes.
  const size_t grid = one.find("idat") + 4;
  one.replace(grid, 8, std::string("\0\0\0\0\0\x40\0\x40", 8));
  EXPECT_TRUE(modern::HeifStructureSane(reinterpret_cast<const uint8_t*>(one.data()), one.size()));
  if (tvx::test::TestDataDir().empty()) GTEST_SKIP() << "no shared testdata";
  for (const char* name : {"heic_iphone11pro_exif_xmp.heic", "heic_iphone11pro_exif_at_eof.heic", "heif_1440x960_no_exif.heic"}) {
    const std::string phone = tvx::test::ReadFileBytes(tvx::test::TestDataDir() / "modern" / name);
    EXPECT_TRUE(modern::HeifStructureSane(reinterpret_cast<const uint8_t*>(phone.data()), phone.size())) << name;
  }
}

TEST_F(ModernPlugin, HostileTruncatedAndForeignFilesAreRefusedCleanly) {
  std::vector<std::string> files;
  if (!tvx::test::TestDataDir().empty())
    for (const auto& entry : fs::directory_iterator(tvx::test::TestDataDir() / "bad"))
      files.push_back(entry.path().string());
  // Our own pictures cut short, each at half and at a few bytes.
  const TPicture source = Pattern(40, 30, true);
  for (const tvx::TFileFormat& f : Formats()) {
    if (!f.CanSave) continue;
    std::string whole = dir_ / ("whole" + f.Extension);
    ASSERT_TRUE(plugin_->SaveBitmap(whole, source.Width, source.Height, source.Pixels.data()));
    std::string bytes = tvx::test::ReadFileBytes(whole);
    for (size_t keep : {bytes.size() / 2, size_t(20)}) {
      std::string cut = dir_ / ("cut" + std::to_string(keep) + f.Extension);
      tvx::test::WriteFileBytes(cut, bytes.substr(0, keep));
      files.push_back(cut);
    }
  }
  // A grid that states a picture of 24425 x 25344 in an item of 64 x 64 (a
  // fuzzing finding): libheif would allocate it whole, 2.4 GB.
  files.push_back(std::string(TARVEX_SOURCE_DIR) +
                  "/fuzz/regressions/fuzz_decode_heif/grid-of-24425-by-25344-in-a-64-by-64-item.heic");
  for (const std::string& path : files) {
    // Named as each format in turn: decoding goes by content.
    for (const char* ext : {".heic", ".avif", ".webp", ".jxl"}) {
      std::string named = dir_ / (std::string("as") + ext);
      fs::copy_file(path, named, fs::copy_options::overwrite_existing);
      TPicture p = plugin_.Load(named);
      EXPECT_TRUE(p.Width == 0 || p.Pixels.size() == size_t(p.Width) * p.Height) << path;
      if (path.find("heif_infe") != std::string::npos || path.find("cut") != std::string::npos ||
          path.find("grid-of") != std::string::npos) {
        EXPECT_EQ(p.Width, 0) << path;
      }
      // The size comes from the headers alone, which a cut file may still hold whole.
      if (path.find("heif_infe") != std::string::npos) {
        EXPECT_EQ(plugin_->LoadBitmapInfo(named).Width, 0);
      }
      plugin_->GetExif(named);
      std::string before = tvx::test::ReadFileBytes(named);
      if (!plugin_->WriteExif(named, 270, "x")) {
        EXPECT_EQ(tvx::test::ReadFileBytes(named), before) << path;
      }
    }
  }
  EXPECT_EQ(plugin_.Load(dir_ / "missing.webp").Width, 0);
}

// ---- metadata ---------------------------------------------------------------

class ModernExif : public ModernPlugin {
 protected:
  void SetUp() override {
    ModernPlugin::SetUp();
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  }
};

TEST_F(ModernExif, WriteExifLandsEachFieldInEveryFormatWithoutTouchingThePicture) {
  const TPicture source = Pattern(64, 40, true);
  for (const tvx::TFileFormat& f : Formats()) {
    if (!f.CanSave) continue;
    std::string path = dir_ / ("fields" + f.Extension);
    ASSERT_TRUE(plugin_->SaveBitmap(path, source.Width, source.Height, source.Pixels.data()));
    TPicture before = plugin_.Load(path);
    ASSERT_TRUE(plugin_->WriteExif(path, 270, "Title")) << f.Extension;
    ASSERT_TRUE(plugin_->WriteExif(path, 33432, "(c) Someone")) << f.Extension;
    ASSERT_TRUE(plugin_->WriteExif(path, 315, "First")) << f.Extension;
    ASSERT_TRUE(plugin_->WriteExif(path, 315, "Artist")) << f.Extension;
    ASSERT_TRUE(plugin_->WriteExif(path, 37510, "Two\r\nlines")) << f.Extension;
    EXPECT_EQ(ExiftoolValue(path, "IFD0:ImageDescription"), "Title") << f.Extension;
    EXPECT_EQ(ExiftoolValue(path, "IFD0:Copyright"), "(c) Someone") << f.Extension;
    EXPECT_EQ(ExiftoolValue(path, "IFD0:Artist"), "Artist") << f.Extension;
    EXPECT_EQ(ExiftoolValue(path, "ExifIFD:ExifVersion"), "0210") << f.Extension;
    EXPECT_EQ(plugin_->GetExif(path).Values[37510], "Two\r\nlines") << f.Extension;
    EXPECT_EQ(ExiftoolValue(path, "Warning"), "") << f.Extension;
    EXPECT_EQ(plugin_.Load(path).Pixels, before.Pixels) << f.Extension << ": the picture was re-encoded";
  }
}

TEST_F(ModernExif, CopyExifCarriesExifIccAndXmpBetweenModernFiles) {
  TVX_REQUIRE_TESTDATA();
  std::string heic = Modern("heic_iphone11pro_exif_xmp.heic");
  const TPicture picture = Pattern(60, 80, false);
  for (const tvx::TFileFormat& f : Formats()) {
    if (!f.CanSave) continue;
    std::string dest = dir_ / ("copy" + f.Extension);
    ASSERT_TRUE(plugin_->SaveBitmap(dest, picture.Width, picture.Height, picture.Pixels.data()));
    ASSERT_TRUE(plugin_->CopyExif(heic, dest)) << f.Extension;
    EXPECT_EQ(ExiftoolValue(dest, "IFD0:Make"), "Apple") << f.Extension;
    EXPECT_EQ(ExiftoolValue(dest, "IFD0:Model"), "iPhone 11 Pro") << f.Extension;
    EXPECT_EQ(ExiftoolValue(dest, "ExifIFD:ExifImageWidth"), "60") << f.Extension;
    EXPECT_EQ(ExiftoolValue(dest, "XMP-x:XMPToolkit"), "XMP Core 5.4.0") << f.Extension;
    // JPEG XL keeps its colour description inside the coded picture.
    if (f.Extension != ".jxl") {
      EXPECT_EQ(ExiftoolValue(dest, "ProfileDescription"), "Display P3") << f.Extension;
    }
    EXPECT_EQ(plugin_.Load(dest).Width, 60) << f.Extension;
  }
  // The turned WebP's pixels come out upright, so its copy says "normal".
  std::string avif = dir_ / "upright.avif";
  TPicture upright = plugin_.Load(Modern("webp_nikon_p7000_exif_orient6_icc_xmp.webp"));
  plugin_->SetQuality(".avif", 30);
  ASSERT_TRUE(plugin_->SaveBitmap(avif, upright.Width, upright.Height, upright.Pixels.data()));
  ASSERT_TRUE(plugin_->CopyExif(Modern("webp_nikon_p7000_exif_orient6_icc_xmp.webp"), avif));
  EXPECT_EQ(ExiftoolValue(avif, "IFD0:Orientation"), "Horizontal (normal)");
  EXPECT_EQ(ExiftoolValue(avif, "ExifIFD:ExifImageWidth"), "2736");
  EXPECT_EQ(plugin_.Load(avif).Width, 2736);
  // Nothing to copy: false, and the destination stays as it was.
  std::string before = tvx::test::ReadFileBytes(avif);
  EXPECT_FALSE(plugin_->CopyExif(Modern("heif_1440x960_no_exif.heic"), avif));
  EXPECT_EQ(tvx::test::ReadFileBytes(avif), before);
}

TEST_F(ModernExif, ExifAtTheEndOfTheFileIsReadAsWellAsAtTheFront) {
  TVX_REQUIRE_TESTDATA();
  tvx::TExifParameters front = plugin_->GetExif(Modern("heic_iphone11pro_exif_xmp.heic"));
  tvx::TExifParameters end = plugin_->GetExif(Modern("heic_iphone11pro_exif_at_eof.heic"));
  EXPECT_EQ(front.Values[272], "iPhone 11 Pro");
  EXPECT_EQ(end.Values[272], "iPhone 11 Pro");
  // Rewriting the phone file keeps its pictures (a grid of tiles) intact.
  std::string copy = dir_ / "phone.heic";
  fs::copy_file(Modern("heic_iphone11pro_exif_xmp.heic"), copy);
  ASSERT_TRUE(plugin_->WriteExif(copy, 33432, "(c) Phone"));
  EXPECT_EQ(ExiftoolValue(copy, "IFD0:Copyright"), "(c) Phone");
  EXPECT_EQ(ExiftoolValue(copy, "IFD0:Make"), "Apple");
  EXPECT_EQ(ExiftoolValue(copy, "XMP-x:XMPToolkit"), "XMP Core 5.4.0");
  TPicture a = plugin_.Load(copy), b = plugin_.Load(Modern("heic_iphone11pro_exif_xmp.heic"));
  EXPECT_EQ(a.Pixels, b.Pixels);
}

}  // namespace
