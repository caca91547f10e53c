#include "BlockEdit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "CodecsInternal.h"
#include "FileNames.h"
#include "FileWrite.h"
#include "JpegCoefficients.h"
#include "JpegFile.h"
#include "JpegHuffman.h"
#include "JpegScan.h"
#include "RecentPictures.h"

namespace kobalt {
namespace {

using tvx::TPictureRect;
using tvx::TRegionEditReport;

constexpr uint8_t kMarkerDht = 0xC4;
constexpr uint8_t kMarkerCom = 0xFE;

// The cost of the path against the usual way's decode and encode of the
// whole picture, both in units of what the usual way spends on one MCU
// (measured with bench/keepblocks-vs-djpeg.sh on 24 MP photos): reading,
// indexing and writing the picture take about a third of the usual way's
// whole cost; every MCU of a window (decoded by libjpeg with its margin,
// painted, encoded by libjpeg and coded again by us) about three of its MCUs.
constexpr double kFixedShare = 0.3;
constexpr double kWindowMcuCost = 3.0;

// A window of whole MCUs: [X0, X1) x [Y0, Y1), its margin included, around
// its core [CX0, CX1) x [CY0, CY1), which holds its touched MCUs.
struct TWindow {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  int CX0 = 0, CY0 = 0, CX1 = 0, CY1 = 0;
  int64_t Mcus() const { return int64_t(X1 - X0) * (Y1 - Y0); }
};

int InverseOrientation(int orientation) { return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation; }

// The upright size of a stored picture.
void UprightSize(int orientation, int width, int height, int& w, int& h) {
  const bool swap = orientation >= 5 && orientation <= 8;
  w = swap ? height : width;
  h = swap ? width : height;
}

// The MCUs the painter's rectangles reach, and how many.
int64_t MarkTouched(const std::vector<TPictureRect>& regions, int orientation, const TBlockGeometry& g,
                    std::vector<uint8_t>& touched) {
  int uw = 0, uh = 0;
  UprightSize(orientation, g.Width, g.Height, uw, uh);
  for (TPictureRect r : regions) {
    r.Left = std::clamp(r.Left, 0, uw);
    r.Right = std::clamp(r.Right, 0, uw);
    r.Top = std::clamp(r.Top, 0, uh);
    r.Bottom = std::clamp(r.Bottom, 0, uh);
    if (r.Right <= r.Left || r.Bottom <= r.Top) continue;
    const TPictureRect s = StoredRect(r, orientation, g.Width, g.Height);
    const int x0 = s.Left / g.McuWidth, x1 = (s.Right + g.McuWidth - 1) / g.McuWidth;
    const int y0 = s.Top / g.McuHeight, y1 = (s.Bottom + g.McuHeight - 1) / g.McuHeight;
    for (int y = y0; y < y1; ++y)
      std::fill(touched.begin() + std::ptrdiff_t(y) * g.McusWide + x0,
                touched.begin() + std::ptrdiff_t(y) * g.McusWide + x1, uint8_t(1));
  }
  int64_t count = 0;
  for (uint8_t t : touched) count += t;
  return count;
}

// Windows around the touched MCUs: each band of rows that have touched MCUs
// is cut into runs of columns that do, and each run keeps only the rows in
// which it is touched; then one MCU of margin all round. Every touched MCU
// lies in the core of exactly one window.
std::vector<TWindow> MakeWindows(const TBlockGeometry& g, const std::vector<uint8_t>& touched) {
  std::vector<TWindow> windows;
  const int w = g.McusWide, h = g.McusHigh;
  auto rowHas = [&](int y) {
    return std::find(touched.begin() + std::ptrdiff_t(y) * w, touched.begin() + std::ptrdiff_t(y + 1) * w,
                     uint8_t(1)) != touched.begin() + std::ptrdiff_t(y + 1) * w;
  };
  std::vector<uint8_t> column(static_cast<size_t>(w), 0);
  for (int y = 0; y < h;) {
    if (!rowHas(y)) {
      ++y;
      continue;
    }
    int y1 = y;
    while (y1 < h && rowHas(y1)) ++y1;
    std::fill(column.begin(), column.end(), uint8_t(0));
    for (int r = y; r < y1; ++r)
      for (int x = 0; x < w; ++x) column[size_t(x)] |= touched[size_t(r) * size_t(w) + size_t(x)];
    for (int x = 0; x < w;) {
      if (!column[size_t(x)]) {
        ++x;
        continue;
      }
      int x1 = x;
      while (x1 < w && column[size_t(x1)]) ++x1;
      int top = y1, bottom = y;
      for (int r = y; r < y1; ++r)
        for (int c = x; c < x1; ++c)
          if (touched[size_t(r) * size_t(w) + size_t(c)]) {
            top = std::min(top, r);
            bottom = std::max(bottom, r + 1);
          }
      windows.push_back({std::max(0, x - 1), std::max(0, top - 1), std::min(w, x1 + 1),
                         std::min(h, bottom + 1), x, top, x1, bottom});
      x = x1;
    }
    y = y1;
  }
  return windows;
}

// ---- one window ---------------------------------------------------------------

enum class TRedrawn { Done, Colour, PaintFailed, CodecFailed };

struct TBlockStore {
  std::vector<int32_t> SlotOf;  // per MCU; -1 for none
  std::vector<int16_t> Blocks;  // BlocksPerMcu x 64 per slot, zigzag order
  bool InRange = false;         // decoded by IndexScan, so every AC value fits 8-bit coding
};

void PutSegment(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& payload) {
  out.push_back(0xFF);
  out.push_back(marker);
  out.push_back(static_cast<uint8_t>((payload.size() + 2) >> 8));
  out.push_back(static_cast<uint8_t>(payload.size() + 2));
  out.insert(out.end(), payload.begin(), payload.end());
}

void PutTable(std::vector<uint8_t>& payload, int tableClass, int id, const THuffmanTable& table) {
  payload.push_back(static_cast<uint8_t>(tableClass << 4 | id));
  payload.insert(payload.end(), table.Bits.begin() + 1, table.Bits.end());
  payload.insert(payload.end(), table.Values.begin(), table.Values.end());
}

// A JPEG of the window's MCUs as the store holds them, coded with the
// standard tables (which have every symbol): libjpeg then decodes the window
// exactly as it decodes that part of the whole picture.
bool WindowJpeg(const TBlockGeometry& g, const TBlockStore& store, const TWindow& win,
                std::vector<uint8_t>& out) {
  const int pw = std::min(win.X1 * g.McuWidth, g.Width) - win.X0 * g.McuWidth;
  const int ph = std::min(win.Y1 * g.McuHeight, g.Height) - win.Y0 * g.McuHeight;
  bool wide = false;
  for (int c = 0; c < g.Components; ++c)
    for (uint16_t q : g.Quant[size_t(c)]) wide = wide || q > 255;
  out = {0xFF, 0xD8};
  // JFIF says YCbCr outright; libjpeg would guess it from the ids anyway.
  PutSegment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  std::vector<uint8_t> p;
  for (int c = 0; c < g.Components; ++c) {
    p.push_back(static_cast<uint8_t>((wide ? 0x10 : 0) | c));
    for (uint16_t q : g.Quant[size_t(c)]) {
      if (wide) p.push_back(static_cast<uint8_t>(q >> 8));
      p.push_back(static_cast<uint8_t>(q));
    }
  }
  PutSegment(out, 0xDB, p);
  p = {8, uint8_t(ph >> 8), uint8_t(ph), uint8_t(pw >> 8), uint8_t(pw), uint8_t(g.Components)};
  for (int c = 0; c < g.Components; ++c) {
    p.push_back(g.Ids[size_t(c)]);
    p.push_back(static_cast<uint8_t>(g.H[size_t(c)] << 4 | g.V[size_t(c)]));
    p.push_back(static_cast<uint8_t>(c));
  }
  PutSegment(out, wide ? 0xC1 : 0xC0, p);
  p.clear();
  for (int t = 0; t < std::min(g.Components, 2); ++t) {
    PutTable(p, 0, t, StandardDcTable(t));
    PutTable(p, 1, t, StandardAcTable(t));
  }
  PutSegment(out, kMarkerDht, p);
  p = {uint8_t(g.Components)};
  for (int c = 0; c < g.Components; ++c) {
    p.push_back(g.Ids[size_t(c)]);
    p.push_back(c == 0 ? 0x00 : 0x11);
  }
  p.insert(p.end(), {0, 63, 0});
  PutSegment(out, kMarkerSos, p);

  std::array<THuffmanEncoder, 2> dc, ac;
  for (int t = 0; t < 2; ++t)
    if (!dc[size_t(t)].Build(StandardDcTable(t)) || !ac[size_t(t)].Build(StandardAcTable(t))) return false;
  TBitWriter writer(out);
  std::array<int, 4> pred{};
  uint8_t symbols[65];
  const int bpm = g.BlocksPerMcu;
  for (int y = win.Y0; y < win.Y1; ++y)
    for (int x = win.X0; x < win.X1; ++x) {
      const int32_t slot = store.SlotOf[size_t(y) * size_t(g.McusWide) + size_t(x)];
      if (slot < 0) return false;
      const int16_t* blocks = &store.Blocks[size_t(slot) * size_t(bpm) * 64];
      for (int c = 0; c < g.Components; ++c)
        for (int b = g.FirstBlock[size_t(c)]; b < g.FirstBlock[size_t(c)] + g.H[size_t(c)] * g.V[size_t(c)];
             ++b) {
          const int16_t* block = blocks + size_t(b) * 64;
          // Coefficients libjpeg read from a damaged file may be out of
          // range; ours are, but for the DC differences of a new order.
          if (store.InRange ? std::abs(block[0] - pred[size_t(c)]) > 2047
                            : BlockSymbols(block, pred[size_t(c)], symbols) < 0)
            return false;
          const size_t t = c == 0 ? 0 : 1;
          EncodeBlock(writer, dc[t], ac[t], pred[size_t(c)], block);
          pred[size_t(c)] = block[0];
        }
    }
  writer.PadToByte();
  out.push_back(0xFF);
  out.push_back(0xD9);
  return true;
}

// The coefficients of every MCU of a JPEG made by EncodeWithGeometry.
bool ReadAllBlocks(const std::vector<uint8_t>& jpeg, const TBlockGeometry& expected, int mcusWide,
                   int mcusHigh, std::vector<int16_t>& blocks) {
  TJpegFile file;
  TJpegLayout layout;
  TBlockGeometry g;
  if (!file.ReadHeaders(jpeg.data(), jpeg.size()) || !ReadJpegLayout(file, layout) ||
      !MakeBlockGeometry(layout, g) || !layout.SequentialHuffman8() || !layout.SingleFullScan())
    return false;
  if (g.McusWide != mcusWide || g.McusHigh != mcusHigh || g.BlocksPerMcu != expected.BlocksPerMcu)
    return false;
  std::vector<int32_t> slots(size_t(g.Mcus()));
  for (size_t i = 0; i < slots.size(); ++i) slots[i] = static_cast<int32_t>(i);
  blocks.assign(slots.size() * size_t(g.BlocksPerMcu) * 64, 0);
  TScanIndex index;
  return IndexScan(layout, g, jpeg.data() + file.HeaderBytes(), jpeg.size() - file.HeaderBytes(), slots,
                   blocks, index);
}

struct TRedraw {
  const TBlockGeometry& G;
  int Orientation;
  bool Grey;
  tvx::TRegionPainter& Painter;
  const TBlockStore& Old;
  TBlockStore New;
};

TRedrawn RedrawWindow(TRedraw& r, const TWindow& win, const std::vector<uint8_t>& touched) {
  const TBlockGeometry& g = r.G;
  std::vector<uint8_t> jpeg;
  TImage picture;
  if (!WindowJpeg(g, r.Old, win, jpeg) || !DecodeJpeg(jpeg.data(), jpeg.size(), picture))
    return TRedrawn::CodecFailed;
  const TPictureRect stored{win.X0 * g.McuWidth, win.Y0 * g.McuHeight, std::min(win.X1 * g.McuWidth, g.Width),
                            std::min(win.Y1 * g.McuHeight, g.Height)};
  if (picture.Width != stored.Right - stored.Left || picture.Height != stored.Bottom - stored.Top)
    return TRedrawn::CodecFailed;

  const int w0 = picture.Width;
  ApplyOrientation(picture, r.Orientation);
  const TPictureRect upright = UprightRect(stored, r.Orientation, g.Width, g.Height);
  if (picture.Width != upright.Right - upright.Left || picture.Height != upright.Bottom - upright.Top)
    return TRedrawn::CodecFailed;  // turning it needed memory that was not there
  int uw = 0, uh = 0;
  UprightSize(r.Orientation, g.Width, g.Height, uw, uh);
  if (!r.Painter.PaintWindow(picture.Pixels.data(), upright.Left, upright.Top, picture.Width, picture.Height,
                             uw, uh))
    return TRedrawn::PaintFailed;
  if (r.Grey)
    for (uint32_t p : picture.Pixels)
      if (((p >> 16) & 0xFF) != ((p >> 8) & 0xFF) || ((p >> 8) & 0xFF) != (p & 0xFF)) return TRedrawn::Colour;
  ApplyOrientation(picture, InverseOrientation(r.Orientation));
  if (picture.Width != w0) return TRedrawn::CodecFailed;

  // Only the core is encoded: every MCU's coefficients come from its own
  // pixels alone (sampling, DCT and quantisation stay within the MCU).
  const int coreLeft = (win.CX0 - win.X0) * g.McuWidth, coreTop = (win.CY0 - win.Y0) * g.McuHeight;
  const int coreWidth = std::min(win.CX1 * g.McuWidth, g.Width) - win.CX0 * g.McuWidth;
  const int coreHeight = std::min(win.CY1 * g.McuHeight, g.Height) - win.CY0 * g.McuHeight;
  std::vector<int16_t> blocks;
  if (!EncodeWithGeometry(picture.Pixels.data() + size_t(coreTop) * size_t(picture.Width) + size_t(coreLeft),
                          coreWidth, coreHeight, picture.Width, g, jpeg) ||
      !ReadAllBlocks(jpeg, g, win.CX1 - win.CX0, win.CY1 - win.CY0, blocks))
    return TRedrawn::CodecFailed;
  const size_t mcuValues = size_t(g.BlocksPerMcu) * 64;
  for (int y = win.CY0; y < win.CY1; ++y)
    for (int x = win.CX0; x < win.CX1; ++x) {
      const size_t m = size_t(y) * size_t(g.McusWide) + size_t(x);
      if (!touched[m]) continue;
      const size_t local = size_t(y - win.CY0) * size_t(win.CX1 - win.CX0) + size_t(x - win.CX0);
      r.New.SlotOf[m] = static_cast<int32_t>(r.New.Blocks.size() / mcuValues);
      r.New.Blocks.insert(r.New.Blocks.end(), blocks.begin() + std::ptrdiff_t(local * mcuValues),
                          blocks.begin() + std::ptrdiff_t((local + 1) * mcuValues));
    }
  return TRedrawn::Done;
}

// ---- the preview ----------------------------------------------------------------

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Blocks' average colours, from their DC (the mean of an inverse DCT),
// converted as JFIF says in 16-bit fixed point: every step-th block of
// every step-th row, so that the longer side stays near what an EXIF
// thumbnail is made from.
TImage DcPreview(const TBlockGeometry& g, const std::vector<int16_t>& dc, const TBlockStore& fresh,
                 int orientation) {
  TImage preview;
  const int bw = (g.Width + 7) / 8, bh = (g.Height + 7) / 8;
  const int step = std::max(1, std::max(bw, bh) / kRememberedSide);
  const int w = (bw + step - 1) / step, h = (bh + step - 1) / step;
  if (!preview.Pixels.TryResize(size_t(w) * size_t(h))) return {};
  preview.Width = w;
  preview.Height = h;
  const size_t bpm = size_t(g.BlocksPerMcu);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      const int x = px * step, y = py * step;
      int value[3] = {0, 128, 128};
      // (x, y) counts blocks of the components with the largest sampling.
      const size_t m = size_t(y / g.Vmax) * size_t(g.McusWide) + size_t(x / g.Hmax);
      const int32_t slot = fresh.SlotOf[m];
      for (int c = 0; c < g.Components; ++c) {
        const int hc = g.H[size_t(c)], vc = g.V[size_t(c)];
        const int bx = (x % g.Hmax) * hc / g.Hmax, by = (y % g.Vmax) * vc / g.Vmax;
        const size_t b = size_t(g.FirstBlock[size_t(c)] + by * hc + bx);
        const int d = slot >= 0 ? fresh.Blocks[(size_t(slot) * bpm + b) * 64] : dc[m * bpm + b];
        value[c] = (d * int(g.Quant[size_t(c)][0]) + 4) / 8 + 128;
      }
      const int yv = value[0] << 16, cb = value[1] - 128, cr = value[2] - 128;
      const uint32_t red = Clamp255((yv + 91881 * cr + 32768) >> 16);
      const uint32_t green = Clamp255((yv - 22554 * cb - 46802 * cr + 32768) >> 16);
      const uint32_t blue = Clamp255((yv + 116130 * cb + 32768) >> 16);
      preview.Pixels[size_t(py) * size_t(w) + size_t(px)] = 0xFF000000u | red << 16 | green << 8 | blue;
    }
  ApplyOrientation(preview, orientation);
  return preview;
}

// ---- putting the file together ---------------------------------------------------

bool IsMultiPicture(const TJpegSegment& s) {
  return s.Marker == kMarkerApp2 && s.PayloadStartsWith(std::string_view("MPF\0", 4));
}

// The source's headers with the new Huffman tables when they were extended.
// The multi-picture index goes: the pictures it points to after the end of
// this one are not carried, and its offsets would be wrong.
std::vector<uint8_t> SpanHeaders(TJpegFile headers, const TJpegLayout& layout, bool extended,
                                 const std::array<THuffmanTable, 4>& dc,
                                 const std::array<THuffmanTable, 4>& ac) {
  auto& segments = headers.Segments();
  segments.erase(std::remove_if(segments.begin(), segments.end(),
                                [&](const TJpegSegment& s) {
                                  return IsMultiPicture(s) || (extended && s.Marker == kMarkerDht);
                                }),
                 segments.end());
  if (extended) {
    TJpegSegment dht{kMarkerDht, 0, {}};
    std::array<bool, 4> dcDone{}, acDone{};
    for (const TJpegComponent& c : layout.Components) {
      if (!dcDone[c.DcTable]) PutTable(dht.Payload, 0, c.DcTable, dc[c.DcTable]);
      if (!acDone[c.AcTable]) PutTable(dht.Payload, 1, c.AcTable, ac[c.AcTable]);
      dcDone[c.DcTable] = acDone[c.AcTable] = true;
    }
    auto sos = std::find_if(segments.begin(), segments.end(),
                            [](const TJpegSegment& s) { return s.Marker == kMarkerSos; });
    segments.insert(sos, std::move(dht));
  }
  return headers.WriteHeaders();
}

// libjpeg's output with the source's APPn and COM segments put back after SOI.
bool WithSourceSegments(const TJpegFile& headers, std::vector<uint8_t>& jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != kMarkerSoi) return false;
  std::vector<uint8_t> carried;
  for (const TJpegSegment& s : headers.Segments()) {
    const bool metadata = (s.Marker >= 0xE0 && s.Marker <= 0xEF) || s.Marker == kMarkerCom;
    if (!metadata || IsMultiPicture(s)) continue;
    if (s.Payload.size() > kMaxSegmentPayload) return false;
    PutSegment(carried, s.Marker, s.Payload);
  }
  jpeg.insert(jpeg.begin() + 2, carried.begin(), carried.end());
  return true;
}

void Refuse(TRegionEditReport& report, const char* note) {
  report.Result = TRegionEditReport::NotHandled;
  report.Method = TRegionEditReport::None;
  report.Note = note;
}

const char* FrameRefusal(const TJpegLayout& layout) {
  const uint8_t m = layout.FrameMarker;
  if (m >= 0xC9) return "arithmetic coding";
  if (m == 0xC3 || m == 0xC7) return "lossless coding";
  if (m >= 0xC5) return "hierarchical coding";
  if (layout.Precision != 8) return "12-bit samples";
  if (layout.Components.size() == 4) return "CMYK";
  if (layout.Components.size() != 1 && layout.Components.size() != 3) return "unusual components";
  return nullptr;
}

}  // namespace

TPictureRect UprightRect(const TPictureRect& s, int orientation, int width, int height) {
  const int w = width, h = height;
  switch (orientation) {
    case 2:
      return {w - s.Right, s.Top, w - s.Left, s.Bottom};
    case 3:
      return {w - s.Right, h - s.Bottom, w - s.Left, h - s.Top};
    case 4:
      return {s.Left, h - s.Bottom, s.Right, h - s.Top};
    case 5:
      return {s.Top, s.Left, s.Bottom, s.Right};
    case 6:
      return {h - s.Bottom, s.Left, h - s.Top, s.Right};
    case 7:
      return {h - s.Bottom, w - s.Right, h - s.Top, w - s.Left};
    case 8:
      return {s.Top, w - s.Right, s.Bottom, w - s.Left};
    default:
      return s;
  }
}

TPictureRect StoredRect(const TPictureRect& u, int orientation, int width, int height) {
  const int w = width, h = height;
  switch (orientation) {
    case 2:
      return {w - u.Right, u.Top, w - u.Left, u.Bottom};
    case 3:
      return {w - u.Right, h - u.Bottom, w - u.Left, h - u.Top};
    case 4:
      return {u.Left, h - u.Bottom, u.Right, h - u.Top};
    case 5:
      return {u.Top, u.Left, u.Bottom, u.Right};
    case 6:
      return {u.Top, h - u.Right, u.Bottom, h - u.Left};
    case 7:
      return {w - u.Bottom, h - u.Right, w - u.Top, h - u.Left};
    case 8:
      return {w - u.Bottom, u.Left, w - u.Top, u.Right};
    default:
      return u;
  }
}

namespace {

// What the headers and the painter decide before any picture data is read.
struct TPrepared {
  TJpegFile Headers;
  TJpegLayout Layout;
  TBlockGeometry G;
  TJpegColours Colours = TJpegColours::Unreadable;
  int Orientation = 1;
  std::vector<uint8_t> Touched;
  int64_t TouchedCount = 0;
  std::vector<TWindow> Windows;
};

// False, with the report saying why, for a picture left to the usual way.
// `data` may end anywhere after the first scan's header.
bool Prepare(const uint8_t* data, size_t size, tvx::TRegionPainter& painter, const TBlockEditOptions& options,
             TRegionEditReport& report, TPrepared& p) {
  report = TRegionEditReport();
  auto refuse = [&](const char* note) {
    Refuse(report, note);
    return false;
  };
  if (!data || SniffFormat(data, size) != TPictureFormat::Jpeg) return refuse("not a JPEG");
  if (!p.Headers.ReadHeaders(data, size) || !ReadJpegLayout(p.Headers, p.Layout))
    return refuse("damaged headers");
  if (const char* refusal = FrameRefusal(p.Layout)) return refuse(refusal);
  TBlockGeometry& g = p.G;
  if (!MakeBlockGeometry(p.Layout, g)) return refuse("unusual sampling");
  for (int c = 0; c < g.Components; ++c)
    for (uint16_t q : g.Quant[size_t(c)])
      if (q == 0) return refuse("damaged quantisation tables");
  p.Colours = ReadJpegColours(data, size);
  if (p.Colours == TJpegColours::Unreadable) return refuse("damaged headers");
  if (p.Colours == TJpegColours::Other) return refuse("colours other than YCbCr");

  p.Orientation = JpegOrientation(data, size);
  int uw = 0, uh = 0;
  UprightSize(p.Orientation, g.Width, g.Height, uw, uh);
  std::vector<TPictureRect> regions;
  painter.ChangedRegions(uw, uh, regions);
  const size_t mcus = size_t(g.Mcus());
  p.Touched.assign(mcus, 0);
  p.TouchedCount = MarkTouched(regions, p.Orientation, g, p.Touched);
  report.Units = int64_t(mcus);
  report.UnitsRedrawn = p.TouchedCount;
  p.Windows = MakeWindows(g, p.Touched);
  int64_t windowMcus = 0;
  for (const TWindow& w : p.Windows) windowMcus += w.Mcus();
  if (options.ChooseByCost && kFixedShare * double(mcus) + kWindowMcuCost * double(windowMcus) > double(mcus))
    return refuse("the watermark covers too much of the picture to be faster");
  return true;
}

}  // namespace

void EditJpegBlocks(const uint8_t* data, size_t size, tvx::TRegionPainter& painter, TBlockEditOutput& output,
                    TRegionEditReport& report, const TBlockEditOptions& options) {
  output = TBlockEditOutput();
  TPrepared prepared;
  if (!Prepare(data, size, painter, options, report, prepared)) return;
  const TJpegFile& headers = prepared.Headers;
  const TJpegLayout& layout = prepared.Layout;
  const TBlockGeometry& g = prepared.G;
  const int orientation = prepared.Orientation;
  const std::vector<uint8_t>& touched = prepared.Touched;
  const std::vector<TWindow>& windows = prepared.Windows;
  const size_t mcus = size_t(g.Mcus());

  // The windows' MCUs are the ones whose coefficients are needed.
  std::vector<uint8_t> needed(mcus, 0);
  for (const TWindow& w : windows)
    for (int y = w.Y0; y < w.Y1; ++y)
      std::fill(needed.begin() + std::ptrdiff_t(y) * g.McusWide + w.X0,
                needed.begin() + std::ptrdiff_t(y) * g.McusWide + w.X1, uint8_t(1));
  TBlockStore old;
  old.SlotOf.assign(mcus, -1);
  int32_t slots = 0;
  for (size_t m = 0; m < mcus; ++m)
    if (needed[m]) old.SlotOf[m] = slots++;
  old.Blocks.assign(size_t(slots) * size_t(g.BlocksPerMcu) * 64, 0);

  const size_t head = headers.HeaderBytes();
  bool spans = !options.ForceCoefficients && layout.SequentialHuffman8() && layout.SingleFullScan();
  TScanIndex index;
  if (spans) {
    spans = IndexScan(layout, g, data + head, size - head, old.SlotOf, old.Blocks, index);
    old.InRange = spans;
    // Whatever follows the scan must be its end: more scans are libjpeg's.
    const size_t end = head + index.ScanBytes;
    spans = spans && (end + 2 > size || (data[end] == 0xFF && data[end + 1] == kMarkerEoi));
  }
  std::vector<int16_t> dc;
  auto coefficients = std::make_unique<TJpegCoefficients>();
  if (!spans) {
    std::fill(old.Blocks.begin(), old.Blocks.end(), int16_t(0));
    if (!coefficients->Read(data, size, g, old.SlotOf, old.Blocks, dc))
      return Refuse(report, "damaged picture data");
  }

  TRedraw redraw{g, orientation, prepared.Colours == TJpegColours::Grey, painter, old, {}};
  redraw.New.SlotOf.assign(mcus, -1);
  redraw.New.Blocks.reserve(size_t(prepared.TouchedCount) * size_t(g.BlocksPerMcu) * 64);
  for (const TWindow& w : windows) {
    switch (RedrawWindow(redraw, w, touched)) {
      case TRedrawn::Done:
        break;
      case TRedrawn::Colour:
        return Refuse(report, "a grey picture painted in colour");
      case TRedrawn::CodecFailed:
        return Refuse(report, "damaged picture data");
      case TRedrawn::PaintFailed:
        report.Result = TRegionEditReport::Failed;
        report.Note = "painting failed";
        return;
    }
  }

  if (spans) {
    TScanPlan plan;
    if (PlanScan(layout, g, index, redraw.New.SlotOf, redraw.New.Blocks, plan)) {
      const bool extended = plan.TablesChanged;
      output.Jpeg = SpanHeaders(headers, layout, extended, plan.Dc, plan.Ac);
      if (output.Jpeg.empty()) return Refuse(report, "damaged headers");
      if (!WriteScan(layout, g, index, redraw.New.SlotOf, redraw.New.Blocks, plan, output.Jpeg)) {
        output = TBlockEditOutput();
        return Refuse(report, "damaged picture data");
      }
      output.Jpeg.push_back(0xFF);
      output.Jpeg.push_back(kMarkerEoi);
      output.Preview = DcPreview(g, index.Dc, redraw.New, orientation);
      report.Result = TRegionEditReport::Written;
      report.Method = TRegionEditReport::Spans;
      report.Note = !extended ? "untouched MCUs copied as coded"
                    : plan.McusRecoded
                        ? "untouched MCUs copied as coded, " + std::to_string(plan.McusRecoded) +
                              " coded again for room in the Huffman tables"
                        : "untouched MCUs copied as coded; codes added to the Huffman tables";
      return;
    }
    // A table without room for a symbol the new blocks need: libjpeg codes
    // the picture anew with tables made for it.
    std::vector<int32_t> none(mcus, -1);
    std::vector<int16_t> unused;
    if (!coefficients->Read(data, size, g, none, unused, dc)) return Refuse(report, "damaged picture data");
  }
  const bool progressive = coefficients->Progressive();
  if (!coefficients->Write(g, redraw.New.SlotOf, redraw.New.Blocks, progressive, output.Jpeg) ||
      !WithSourceSegments(headers, output.Jpeg)) {
    output = TBlockEditOutput();
    return Refuse(report, "libjpeg could not write it");
  }
  output.Preview = DcPreview(g, dc, redraw.New, orientation);
  report.Result = TRegionEditReport::Written;
  report.Method = TRegionEditReport::Coefficients;
  report.Note = progressive ? "untouched coefficients kept; written progressive again"
                            : "untouched coefficients kept; Huffman coding redone";
}

void EditJpegBlocksFile(const std::string& sourceFileName, const std::string& destFileName,
                        tvx::TRegionPainter& painter, TRegionEditReport& report) {
  report = TRegionEditReport();
  if (EncodedFormat(destFileName) != ".jpg") return Refuse(report, "not written as a JPEG");
  // The headers decide most refusals: the picture data is read only when
  // the path is taken (the usual way reads it once more).
  constexpr size_t kHeadersFirst = size_t(256) << 10;
  std::vector<uint8_t> bytes;
  if (!ReadFilePrefix(sourceFileName, kHeadersFirst, bytes)) return Refuse(report, "cannot read the source");
  TPrepared prepared;
  TJpegFile probe;
  const bool headersFit = probe.ReadHeaders(bytes.data(), bytes.size()) || bytes.size() < kHeadersFirst;
  if (headersFit && !Prepare(bytes.data(), bytes.size(), painter, TBlockEditOptions(), report, prepared))
    return;
  if (!ReadWholeFile(sourceFileName, bytes)) return Refuse(report, "cannot read the source");
  TBlockEditOutput output;
  EditJpegBlocks(bytes.data(), bytes.size(), painter, output, report);
  if (report.Result != TRegionEditReport::Written) return;
  bytes = {};
  if (!ReplaceFileContents(destFileName, output.Jpeg.data(), output.Jpeg.size())) {
    report.Result = TRegionEditReport::Failed;
    report.Note = "cannot write the output";
    return;
  }
  // CopyExif renews the EXIF thumbnail from this instead of decoding the file.
  if (output.Preview.Width > 0)
    RememberSaved(destFileName, output.Preview.Pixels.data(), output.Preview.Width, output.Preview.Height);
}

}  // namespace kobalt
