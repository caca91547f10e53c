// The block-keeping path on real camera photos and generated pictures of
// every sampling, with restart markers, tables made for their picture,
// progression and every orientation: outside the redrawn MCUs the
// coefficients and the decoded pixels are the source's; inside, the pixels
// are the usual way's; metadata and orientation stay; everything this path
// cannot keep is left to the usual way.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "BlockEdit.h"
#include "BlockTestSupport.h"
#include "CodecsInternal.h"
#include "JpegCoefficients.h"
#include "JpegFile.h"
#include "JpegScan.h"
#include "support/TestSupport.h"

namespace kobalt {
namespace {

using test::TBytes;
using tvx::TPictureRect;
using tvx::TRegionEditReport;

TBytes ReadFile(const std::filesystem::path& path) {
  const std::string s = tvx::test::ReadFileBytes(path);
  return TBytes(s.begin(), s.end());
}

int Channel(uint32_t p, int shift) { return int((p >> shift) & 0xFF); }

// The stored size and MCU grid of a JPEG, from libjpeg's reading.
struct TGrid {
  int Width = 0, Height = 0, McuWidth = 8, McuHeight = 8, McusWide = 0;
  bool Subsampled = false;
};

TGrid GridOf(const TBytes& jpeg) {
  TJpegFile file;
  TJpegLayout layout;
  TBlockGeometry g;
  EXPECT_TRUE(file.ReadHeaders(jpeg.data(), jpeg.size()) && ReadJpegLayout(file, layout) &&
              MakeBlockGeometry(layout, g));
  TGrid grid{g.Width, g.Height, g.McuWidth, g.McuHeight, g.McusWide, false};
  for (int c = 0; c < g.Components; ++c)
    grid.Subsampled |= g.H[size_t(c)] != g.Hmax || g.V[size_t(c)] != g.Vmax;
  return grid;
}

// The MCUs (stored) that the upright rectangles reach, found pixel by pixel.
std::set<int> ExpectedMcus(const TGrid& grid, int orientation, const std::vector<TPictureRect>& rects) {
  const bool swap = orientation >= 5;
  const int uw = swap ? grid.Height : grid.Width, uh = swap ? grid.Width : grid.Height;
  std::set<int> mcus;
  for (const TPictureRect& r : rects)
    for (int v = std::max(0, r.Top); v < std::min(uh, r.Bottom); ++v)
      for (int u = std::max(0, r.Left); u < std::min(uw, r.Right); ++u) {
        int x = 0, y = 0;
        test::StoredPoint(orientation, grid.Width, grid.Height, u, v, x, y);
        mcus.insert((y / grid.McuHeight) * grid.McusWide + x / grid.McuWidth);
      }
  return mcus;
}

std::vector<TJpegSegment> MetadataSegments(const TBytes& jpeg) {
  TJpegFile file;
  EXPECT_TRUE(file.ReadHeaders(jpeg.data(), jpeg.size()));
  std::vector<TJpegSegment> kept;
  for (const TJpegSegment& s : file.Segments()) {
    const bool metadata = (s.Marker >= 0xE0 && s.Marker <= 0xEF) || s.Marker == 0xFE;
    if (metadata && !(s.Marker == 0xE2 && s.PayloadStartsWith(std::string_view("MPF\0", 4))))
      kept.push_back(s);
  }
  return kept;
}

// Everything that must hold whatever the source: the redrawn MCUs are the
// ones under the painter, nothing else changed, the file is whole.
void ExpectKeptOutside(const TBytes& source, const TBytes& output, const TRegionEditReport& report,
                       const std::vector<TPictureRect>& rects) {
  ASSERT_EQ(report.Result, TRegionEditReport::Written) << report.Note;
  const int orientation = JpegOrientation(source.data(), source.size());
  EXPECT_EQ(JpegOrientation(output.data(), output.size()), orientation) << "the stored orientation stays";
  const TGrid grid = GridOf(source);
  const std::set<int> expected = ExpectedMcus(grid, orientation, rects);
  EXPECT_EQ(report.UnitsRedrawn, int64_t(expected.size()));

  const test::TCoefficients a = test::ReadCoefficients(source), b = test::ReadCoefficients(output);
  ASSERT_TRUE(a.Ok && b.Ok);
  EXPECT_EQ(b.Warnings, 0) << "libjpeg finds the output damaged";
  ASSERT_EQ(a.Components, b.Components);
  int outside = 0;
  for (int c = 0; c < a.Components; ++c) {
    ASSERT_EQ(a.BlocksWide[size_t(c)], b.BlocksWide[size_t(c)]);
    ASSERT_EQ(a.BlocksHigh[size_t(c)], b.BlocksHigh[size_t(c)]);
    const int hc = a.Components == 1 ? 1 : a.H[size_t(c)], vc = a.Components == 1 ? 1 : a.V[size_t(c)];
    for (int by = 0; by < a.BlocksHigh[size_t(c)]; ++by)
      for (int bx = 0; bx < a.BlocksWide[size_t(c)]; ++bx) {
        const size_t at = (size_t(by) * size_t(a.BlocksWide[size_t(c)]) + size_t(bx)) * 64;
        if (std::equal(&a.Blocks[size_t(c)][at], &a.Blocks[size_t(c)][at] + 64, &b.Blocks[size_t(c)][at]))
          continue;
        if (!expected.count((by / vc) * grid.McusWide + bx / hc)) ++outside;
      }
  }
  EXPECT_EQ(outside, 0) << "blocks changed outside the painted MCUs";

  // Decoded pixels outside the redrawn MCUs are the source's; with
  // subsampled chroma, libjpeg's smooth upsampling lets the pixel next to a
  // redrawn MCU see its chroma, so that one ring is left out.
  TImage pa, pb;
  ASSERT_TRUE(DecodeJpeg(source.data(), source.size(), pa));
  ASSERT_TRUE(DecodeJpeg(output.data(), output.size(), pb));
  const int ring = grid.Subsampled ? 1 : 0;
  int differing = 0;
  for (int y = 0; y < pa.Height; ++y)
    for (int x = 0; x < pa.Width; ++x) {
      bool near = false;
      for (int dy = -ring; dy <= ring && !near; ++dy)
        for (int dx = -ring; dx <= ring && !near; ++dx) {
          const int xx = std::clamp(x + dx, 0, pa.Width - 1), yy = std::clamp(y + dy, 0, pa.Height - 1);
          near = expected.count((yy / grid.McuHeight) * grid.McusWide + xx / grid.McuWidth) > 0;
        }
      if (!near && pa.Pixels[size_t(y) * size_t(pa.Width) + size_t(x)] !=
                       pb.Pixels[size_t(y) * size_t(pa.Width) + size_t(x)])
        ++differing;
    }
  EXPECT_EQ(differing, 0) << "pixels changed outside the painted MCUs";

  // Every metadata segment is carried in its order (the multi-picture index
  // goes: the pictures after this one are not carried).
  const auto ma = MetadataSegments(source), mb = MetadataSegments(output);
  ASSERT_EQ(ma.size(), mb.size());
  for (size_t i = 0; i < ma.size(); ++i) {
    EXPECT_EQ(ma[i].Marker, mb[i].Marker);
    EXPECT_EQ(ma[i].Payload, mb[i].Payload);
  }
}

// The largest channel difference over the upright rectangles between the
// output and a reference, both decoded upright.
int LargestDifferenceInside(const TBytes& output, const TImage& reference,
                            const std::vector<TPictureRect>& rects) {
  TImage ours;
  EXPECT_TRUE(DecodeMemory(output.data(), output.size(), ours));
  EXPECT_EQ(ours.Width, reference.Width);
  EXPECT_EQ(ours.Height, reference.Height);
  int largest = 0;
  for (const TPictureRect& r : rects)
    for (int y = std::max(0, r.Top); y < std::min(ours.Height, r.Bottom); ++y)
      for (int x = std::max(0, r.Left); x < std::min(ours.Width, r.Right); ++x)
        for (int shift = 0; shift < 24; shift += 8)
          largest = std::max(
              largest,
              std::abs(Channel(ours.Pixels[size_t(y) * size_t(ours.Width) + size_t(x)], shift) -
                       Channel(reference.Pixels[size_t(y) * size_t(ours.Width) + size_t(x)], shift)));
  return largest;
}

// A corner logo, and a small mark in the opposite corner that touches the
// picture's edges (where the margin around a window is cut off).
std::vector<TPictureRect> Marks(int uprightWidth, int uprightHeight) {
  return {{uprightWidth - 260, uprightHeight - 90, uprightWidth - 20, uprightHeight - 20}, {0, 0, 37, 29}};
}

// ---- generated pictures -------------------------------------------------------

struct TGenerated {
  const char* Name;
  int Width, Height;
  test::TJpegOptions Options;
  int Orientation = 1;
  /// How the reference inside is encoded: the usual way (libjpeg's 4:2:0 at
  /// the source's quality), or with the source's own sampling and tables.
  bool UsualWay = true;
  bool Smooth = false;  ///< a picture of few symbols (tables without room)
};

class GeneratedSources : public ::testing::TestWithParam<TGenerated> {};

TEST_P(GeneratedSources, KeepsTheRestAndDrawsAsTheUsualWay) {
  const TGenerated& p = GetParam();
  TImage photo = test::PhotoPicture(p.Width, p.Height, 3);
  if (p.Smooth)
    for (uint32_t& px : photo.Pixels) px = 0xFF000000u | (px & 0xF0F0F0u);
  TBytes source = test::EncodeJpeg(photo, p.Options);
  if (p.Orientation != 1) source = test::WithOrientation(source, p.Orientation);
  const bool swap = p.Orientation >= 5;
  const int uw = swap ? p.Height : p.Width, uh = swap ? p.Width : p.Height;
  const std::vector<TPictureRect> rects = Marks(uw, uh);

  test::TRectPainter painter(rects, p.Options.Grey);
  TBlockEditOutput output;
  TRegionEditReport report;
  TBlockEditOptions always;  // small pictures: the marks are a large part of them
  always.ChooseByCost = false;
  EditJpegBlocks(source.data(), source.size(), painter, output, report, always);
  ExpectKeptOutside(source, output.Jpeg, report, rects);
  if (report.Result != TRegionEditReport::Written) return;
  EXPECT_EQ(report.Method,
            p.Options.Progressive ? TRegionEditReport::Coefficients : TRegionEditReport::Spans);
  if (p.Smooth) {
    EXPECT_NE(report.Note.find("coded again for room in the Huffman tables"), std::string::npos)
        << report.Note;
  }

  // Inside: the whole picture decoded, turned upright, painted, turned back
  // and encoded again. (Encoding the upright picture instead gives other
  // rounding wherever it is mirrored or turned: libjpeg's chroma sampling
  // and DCT passes are not symmetric between left and right.)
  TImage picture;
  ASSERT_TRUE(DecodeJpeg(source.data(), source.size(), picture));
  ApplyOrientation(picture, p.Orientation);
  painter.PaintAll(picture);
  ApplyOrientation(picture, p.Orientation == 6 ? 8 : p.Orientation == 8 ? 6 : p.Orientation);
  TBytes encoded;
  if (p.UsualWay) {
    ASSERT_TRUE(
        EncodeJpegToMemory(picture.Pixels.data(), picture.Width, picture.Height, p.Options.Quality, encoded));
  } else {
    TJpegFile file;
    TJpegLayout layout;
    TBlockGeometry g;
    ASSERT_TRUE(file.ReadHeaders(source.data(), source.size()) && ReadJpegLayout(file, layout) &&
                MakeBlockGeometry(layout, g));
    ASSERT_TRUE(
        EncodeWithGeometry(picture.Pixels.data(), picture.Width, picture.Height, picture.Width, g, encoded));
  }
  TImage reference;
  ASSERT_TRUE(DecodeJpeg(encoded.data(), encoded.size(), reference));
  ApplyOrientation(reference, p.Orientation);
  EXPECT_LE(LargestDifferenceInside(output.Jpeg, reference, rects), 2);

  // The preview the EXIF thumbnail is made from shows the picture upright.
  ASSERT_GT(output.Preview.Width, 0);
  EXPECT_EQ(output.Preview.Width > output.Preview.Height, uw > uh);
}

test::TJpegOptions Sampling(int h, int v) {
  test::TJpegOptions o;
  o.LumaH = h;
  o.LumaV = v;
  return o;
}

test::TJpegOptions With(test::TJpegOptions o, const std::function<void(test::TJpegOptions&)>& change) {
  change(o);
  return o;
}

std::vector<TGenerated> GeneratedCases() {
  std::vector<TGenerated> cases = {
      {"baseline_420", 640, 480, Sampling(2, 2)},
      {"baseline_422", 640, 480, Sampling(2, 1), 1, false},
      {"baseline_440", 640, 480, Sampling(1, 2), 1, false},
      {"baseline_444", 640, 480, Sampling(1, 1), 1, false},
      {"grey", 640, 480, With(Sampling(1, 1), [](auto& o) { o.Grey = true; }), 1, false},
      {"odd_size_partial_mcus", 651, 473, Sampling(2, 2)},
      {"restart_every_7_mcus", 640, 480, With(Sampling(2, 2), [](auto& o) { o.RestartMcus = 7; })},
      {"restart_every_mcu_444", 320, 240, With(Sampling(1, 1), [](auto& o) { o.RestartMcus = 1; }), 1, false},
      {"tables_made_for_the_picture", 640, 480, With(Sampling(2, 2), [](auto& o) { o.Optimize = true; })},
      {"tables_without_room", 640, 480, With(Sampling(2, 2), [](auto& o) { o.Optimize = true; }), 1, true,
       true},
      {"progressive", 640, 480, With(Sampling(2, 2), [](auto& o) { o.Progressive = true; })},
      {"low_quality", 640, 480, With(Sampling(2, 2), [](auto& o) { o.Quality = 30; })},
  };
  // Every orientation; sizes in whole MCUs so that the usual way's grid,
  // laid over the upright picture, meets the same blocks.
  for (int orientation = 2; orientation <= 8; ++orientation) {
    static const char* kNames[] = {"",
                                   "",
                                   "orientation_2",
                                   "orientation_3",
                                   "orientation_4",
                                   "orientation_5",
                                   "orientation_6",
                                   "orientation_7",
                                   "orientation_8"};
    cases.push_back({kNames[orientation], 640, 480, Sampling(2, 2), orientation});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Pictures, GeneratedSources, ::testing::ValuesIn(GeneratedCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- camera photos ------------------------------------------------------------

class CameraPhotos : public ::testing::TestWithParam<const char*> {};

TEST_P(CameraPhotos, KeepEverythingOutsideTheMarks) {
  TVX_REQUIRE_TESTDATA();
  const TBytes source = ReadFile(tvx::test::TestDataDir() / "photos" / GetParam());
  int w = 0, h = 0;
  ASSERT_TRUE(ReadPictureSizeMemory(source.data(), source.size(), w, h));
  const std::vector<TPictureRect> rects = Marks(w, h);
  test::TRectPainter painter(rects);
  TBlockEditOutput output;
  TRegionEditReport report;
  EditJpegBlocks(source.data(), source.size(), painter, output, report);
  ExpectKeptOutside(source, output.Jpeg, report, rects);
}

INSTANTIATE_TEST_SUITE_P(
    Photos, CameraPhotos,
    ::testing::Values("apple_iphone4_gps_icc_before_exif.jpg", "apple_iphone5_gps_orient3.jpg",
                      "canon_eos_rebel_t3i.jpg", "canon_powershot_a720is.jpg",
                      "canon_powershot_a85_orient8.jpg", "flir_empty_model_uniqueid.jpg",
                      "fujifilm_finepix_s5500.jpg", "kodak_dx4330.jpg", "kodak_proback_exif_ifd_loop.jpg",
                      "nikon_d70_iptc.jpg", "nikon_e775_usercomment.jpg", "nikon_e900_exif_truncated.jpg",
                      "nokia_lumia800_gps_xmp_icc_iptc.jpg", "olympus_pen_e-p3.jpg",
                      "orientation5_transpose.jpg", "panasonic_dmc-lc70_progressive.jpg", "pentax_ist_d.jpg",
                      "samsung_sm-j327t1_orient6.jpg", "sony_dsc-hx5v_gps.jpg", "xmp_iptc_no_exif.jpg"),
    [](const auto& info) {
      std::string name = info.param;
      name = name.substr(0, name.find('.'));
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// ---- what is left to the usual way ------------------------------------------------

struct TRefusal {
  const char* Name;
  std::function<TBytes()> Source;
  std::string Note;
  bool GreyPainter = true;
  bool Cover = false;  ///< a mark over the whole picture
};

TBytes TestDataFile(const char* path) {
  const auto dir = tvx::test::TestDataDir();
  return dir.empty() ? TBytes() : ReadFile(dir / path);
}

class LeftToTheUsualWay : public ::testing::TestWithParam<TRefusal> {};

TEST_P(LeftToTheUsualWay, NothingIsWritten) {
  const TBytes source = GetParam().Source();
  if (source.empty()) GTEST_SKIP() << "no shared testdata";
  std::vector<TPictureRect> rects = {{0, 0, 40, 40}};
  if (GetParam().Cover) rects = {{0, 0, 100000, 100000}};
  test::TRectPainter painter(rects, GetParam().GreyPainter);
  TBlockEditOutput output;
  TRegionEditReport report;
  EditJpegBlocks(source.data(), source.size(), painter, output, report);
  EXPECT_EQ(report.Result, TRegionEditReport::NotHandled);
  EXPECT_EQ(report.Note, GetParam().Note);
  EXPECT_TRUE(output.Jpeg.empty());
}

TBytes Generated(test::TJpegOptions options) {
  return test::EncodeJpeg(test::PhotoPicture(200, 150, 1), options);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, LeftToTheUsualWay,
    ::testing::Values(
        TRefusal{"arithmetic_coding", [] { return TestDataFile("formats/jpeg_arithmetic_coded.jpg"); },
                 "arithmetic coding"},
        TRefusal{"twelve_bit", [] { return TestDataFile("formats/jpeg_12bit_precision.jpg"); },
                 "12-bit samples"},
        TRefusal{"cmyk", [] { return TestDataFile("photos/cmyk_ycck_multichunk_icc.jpg"); }, "CMYK"},
        TRefusal{"png_named_jpg",
                 [] {
                   TImage p = test::PhotoPicture(40, 30, 1);
                   TBytes png;
                   EncodePng(p.Pixels.data(), p.Width, p.Height, png);
                   return png;
                 },
                 "not a JPEG"},
        TRefusal{"grey_picture_painted_in_colour",
                 [] { return Generated(With({}, [](auto& o) { o.Grey = true; })); },
                 "a grey picture painted in colour", false},
        TRefusal{"mark_over_the_whole_picture", [] { return Generated({}); },
                 "the watermark covers too much of the picture to be faster", true, true},
        TRefusal{"headers_cut_short",
                 [] {
                   const TBytes whole = Generated({});
                   return TBytes(whole.begin(), whole.begin() + 300);
                 },
                 "damaged headers"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(BlockEdit, PainterFailureWritesNothing) {
  const TBytes source = Generated({});
  test::TRectPainter painter({{10, 10, 50, 50}});
  painter.Fail = true;
  TBlockEditOutput output;
  TRegionEditReport report;
  EditJpegBlocks(source.data(), source.size(), painter, output, report);
  EXPECT_EQ(report.Result, TRegionEditReport::Failed);
  EXPECT_TRUE(output.Jpeg.empty());
}

// A picture nothing is painted on comes back byte for byte (libjpeg pads
// with one bits, as the copy does).
TEST(BlockEdit, NothingPaintedGivesTheSameFile) {
  for (int restart : {0, 3}) {
    const TBytes source = Generated(With({}, [&](auto& o) { o.RestartMcus = restart; }));
    test::TRectPainter painter({});
    TBlockEditOutput output;
    TRegionEditReport report;
    EditJpegBlocks(source.data(), source.size(), painter, output, report);
    ASSERT_EQ(report.Result, TRegionEditReport::Written);
    EXPECT_EQ(report.UnitsRedrawn, 0);
    EXPECT_EQ(painter.Windows, 0);
    EXPECT_TRUE(output.Jpeg == source) << "restart interval " << restart;
  }
}

// Copying spans and coding every block anew with libjpeg give the same
// picture: the two ways cross-check each other.
TEST(BlockEdit, SpansAndCoefficientsGiveTheSamePixels) {
  for (bool optimise : {false, true}) {
    const TBytes source = test::EncodeJpeg(test::PhotoPicture(400, 300, 5),
                                           With(Sampling(2, 1), [&](auto& o) { o.Optimize = optimise; }));
    TBlockEditOutput spans, coefficients;
    TRegionEditReport r1, r2;
    test::TRectPainter p1({{100, 100, 300, 180}}), p2({{100, 100, 300, 180}});
    EditJpegBlocks(source.data(), source.size(), p1, spans, r1);
    TBlockEditOptions force;
    force.ForceCoefficients = true;
    EditJpegBlocks(source.data(), source.size(), p2, coefficients, r2, force);
    ASSERT_EQ(r1.Method, TRegionEditReport::Spans);
    ASSERT_EQ(r2.Method, TRegionEditReport::Coefficients);
    TImage a, b;
    ASSERT_TRUE(DecodeJpeg(spans.Jpeg.data(), spans.Jpeg.size(), a));
    ASSERT_TRUE(DecodeJpeg(coefficients.Jpeg.data(), coefficients.Jpeg.size(), b));
    EXPECT_TRUE(a.Pixels == b.Pixels) << (optimise ? "optimised tables" : "standard tables");
  }
}

// Damaged picture data never crashes; whatever is written is whole.
TEST(BlockEdit, TruncatedOrScribbledScansAreRefusedOrWrittenWhole) {
  const TBytes good = Generated(With({}, [](auto& o) { o.RestartMcus = 4; }));
  TJpegFile file;
  ASSERT_TRUE(file.ReadHeaders(good.data(), good.size()));
  const size_t scan = file.HeaderBytes();
  std::vector<TBytes> damaged;
  damaged.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(scan + (good.size() - scan) / 2));
  for (size_t at : {scan + 10, scan + 500, good.size() - 40}) {
    TBytes b = good;
    for (size_t i = at; i < at + 16 && i < b.size() - 2; ++i) b[i] = uint8_t(b[i] * 37 + 11);
    damaged.push_back(b);
  }
  TBytes wrongRestart = good;
  for (size_t i = scan; i + 1 < wrongRestart.size(); ++i)
    if (wrongRestart[i] == 0xFF && wrongRestart[i + 1] == 0xD1) {
      wrongRestart[i + 1] = 0xD5;
      break;
    }
  damaged.push_back(wrongRestart);
  for (const TBytes& source : damaged) {
    test::TRectPainter painter({{20, 20, 60, 60}});
    TBlockEditOutput output;
    TRegionEditReport report;
    EditJpegBlocks(source.data(), source.size(), painter, output, report);
    if (report.Result != TRegionEditReport::Written) continue;
    const test::TCoefficients c = test::ReadCoefficients(output.Jpeg);
    EXPECT_TRUE(c.Ok);
    EXPECT_EQ(c.Warnings, 0);
  }
}

// ---- rectangles and orientation ------------------------------------------------------

// The rectangle functions agree with turning a picture pixel by pixel.
TEST(BlockEdit, RectanglesFollowTheOrientation) {
  const int w = 13, h = 7;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    TImage stored{w, h, {}};
    stored.Pixels.resize(size_t(w) * h);
    for (int i = 0; i < w * h; ++i) stored.Pixels[size_t(i)] = uint32_t(i);
    TImage upright = stored;
    ApplyOrientation(upright, orientation);
    for (int u = 0; u < upright.Width; ++u)
      for (int v = 0; v < upright.Height; ++v) {
        int x = 0, y = 0;
        test::StoredPoint(orientation, w, h, u, v, x, y);
        ASSERT_EQ(upright.Pixels[size_t(v) * size_t(upright.Width) + size_t(u)], uint32_t(y * w + x))
            << "orientation " << orientation;
      }
    const TPictureRect u{2, 1, 5, 4};
    const TPictureRect s = StoredRect(u, orientation, w, h);
    int x0 = w, y0 = h, x1 = 0, y1 = 0;
    for (int v = u.Top; v < u.Bottom; ++v)
      for (int uu = u.Left; uu < u.Right; ++uu) {
        int x = 0, y = 0;
        test::StoredPoint(orientation, w, h, uu, v, x, y);
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
      }
    EXPECT_EQ(s.Left, x0);
    EXPECT_EQ(s.Top, y0);
    EXPECT_EQ(s.Right, x1);
    EXPECT_EQ(s.Bottom, y1);
    const TPictureRect back = UprightRect(s, orientation, w, h);
    EXPECT_TRUE(back.Left == u.Left && back.Top == u.Top && back.Right == u.Right && back.Bottom == u.Bottom);
  }
}

}  // namespace
}  // namespace kobalt
