#include "JpegScan.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "CodecsInternal.h"

namespace kobalt {
namespace {

constexpr uint8_t kMarkerDqt = 0xDB;
constexpr uint8_t kMarkerDht = 0xC4;
constexpr uint8_t kMarkerDri = 0xDD;
constexpr int kMaxBlocksPerMcu = 10;  // the limit of the JPEG standard
// Bytes readable after the data of a scan: more than the longest coding of
// one MCU (10 blocks of 64 symbols of at most 27 bits), so decoding a
// damaged MCU up to its end never reads outside the buffer.
constexpr size_t kSlack = 4096;

bool IsFrame(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != kMarkerDht && m != 0xC8 && m != 0xCC; }

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool ReadDqt(const std::vector<uint8_t>& p, TJpegLayout& layout) {
  size_t i = 0;
  while (i < p.size()) {
    const int pq = p[i] >> 4, tq = p[i] & 15;
    ++i;
    if (pq > 1 || tq > 3 || p.size() - i < size_t(64) * (pq + 1)) return false;
    for (int k = 0; k < 64; ++k, i += size_t(pq + 1))
      layout.Quant[size_t(tq)][size_t(k)] = pq ? Be16(&p[i]) : p[i];
    layout.QuantDefined[size_t(tq)] = true;
  }
  return true;
}

bool ReadDht(const std::vector<uint8_t>& p, TJpegLayout& layout) {
  size_t i = 0;
  while (i < p.size()) {
    if (p.size() - i < 17) return false;
    const int tc = p[i] >> 4, th = p[i] & 15;
    if (tc > 1 || th > 3) return false;
    THuffmanTable table;
    size_t count = 0;
    for (int l = 1; l <= 16; ++l) count += table.Bits[size_t(l)] = p[i + size_t(l)];
    i += 17;
    if (count > 256 || p.size() - i < count) return false;
    table.Values.assign(p.begin() + static_cast<std::ptrdiff_t>(i),
                        p.begin() + static_cast<std::ptrdiff_t>(i + count));
    i += count;
    (tc ? layout.Ac : layout.Dc)[size_t(th)] = std::move(table);
    (tc ? layout.AcDefined : layout.DcDefined)[size_t(th)] = true;
  }
  return true;
}

bool ReadFrame(const TJpegSegment& s, TJpegLayout& layout) {
  const std::vector<uint8_t>& p = s.Payload;
  if (p.size() < 6) return false;
  layout.FrameMarker = s.Marker;
  layout.Precision = p[0];
  layout.Height = Be16(&p[1]);
  layout.Width = Be16(&p[3]);
  const int n = p[5];
  if (n < 1 || n > 4 || p.size() < 6 + size_t(3) * n) return false;
  for (int c = 0; c < n; ++c) {
    TJpegComponent comp;
    comp.Id = p[6 + 3 * size_t(c)];
    comp.H = p[7 + 3 * size_t(c)] >> 4;
    comp.V = p[7 + 3 * size_t(c)] & 15;
    comp.QuantTable = p[8 + 3 * size_t(c)];
    if (comp.H < 1 || comp.H > 4 || comp.V < 1 || comp.V > 4 || comp.QuantTable > 3) return false;
    for (const TJpegComponent& other : layout.Components)
      if (other.Id == comp.Id) return false;
    layout.Components.push_back(comp);
  }
  // A height of 0 (given later by a DNL marker) is left to libjpeg.
  return layout.Width > 0 && layout.Height > 0;
}

bool ReadScan(const std::vector<uint8_t>& p, TJpegLayout& layout) {
  if (p.empty()) return false;
  const size_t n = p[0];
  if (n < 1 || n > 4 || p.size() < 1 + 2 * n + 3) return false;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t id = p[1 + 2 * i];
    auto found = std::find_if(layout.Components.begin(), layout.Components.end(),
                              [&](const TJpegComponent& c) { return c.Id == id; });
    if (found == layout.Components.end()) return false;
    const int index = static_cast<int>(found - layout.Components.begin());
    if (std::find(layout.ScanComponents.begin(), layout.ScanComponents.end(), index) !=
        layout.ScanComponents.end())
      return false;
    found->DcTable = p[2 + 2 * i] >> 4;
    found->AcTable = p[2 + 2 * i] & 15;
    if (found->DcTable > 3 || found->AcTable > 3) return false;
    layout.ScanComponents.push_back(index);
  }
  layout.Ss = p[1 + 2 * n];
  layout.Se = p[2 + 2 * n];
  layout.Ah = p[3 + 2 * n] >> 4;
  layout.Al = p[3 + 2 * n] & 15;
  return true;
}

// The MCUs [first, last) of a restart interval (all of them without restarts).
void IntervalRange(int64_t mcus, int restartInterval, int64_t interval, int64_t& first, int64_t& last) {
  first = restartInterval ? interval * restartInterval : 0;
  last = restartInterval ? std::min(mcus, first + restartInterval) : mcus;
}

// Decoders of the tables seen last on this thread: every window of a
// picture comes back from libjpeg with the same standard tables, and
// building a decoder's lookups costs more than decoding a small window.
// Shared, so that a decoder in use outlives its place in the cache.
std::shared_ptr<const THuffmanDecoder> CachedDecoder(const THuffmanTable& table) {
  struct TEntry {
    THuffmanTable Table;
    std::shared_ptr<const THuffmanDecoder> Decoder;
  };
  constexpr size_t kEntries = 8;
  thread_local std::vector<TEntry> cache;
  thread_local size_t next = 0;
  for (const TEntry& e : cache)
    if (e.Table == table) return e.Decoder;
  auto decoder = std::make_shared<THuffmanDecoder>();
  if (!decoder->Build(table)) return nullptr;
  if (cache.size() < kEntries)
    cache.push_back({table, decoder});
  else
    cache[next++ % kEntries] = {table, decoder};
  return decoder;
}

// The decoding tables of a scan, and for each block of an MCU which of
// them it uses.
struct TDecoders {
  struct TBlock {
    int Component = 0;
    uint8_t DcTable = 0, AcTable = 0;
    const THuffmanDecoder* Dc = nullptr;
    const THuffmanDecoder* Ac = nullptr;
  };
  std::array<TBlock, kMaxBlocksPerMcu> Blocks{};
  std::vector<std::shared_ptr<const THuffmanDecoder>> Held;

  bool Build(const TJpegLayout& layout, const TBlockGeometry& g) {
    for (int c = 0; c < g.Components; ++c) {
      const TJpegComponent& comp = layout.Components[size_t(c)];
      if (!layout.DcDefined[comp.DcTable] || !layout.AcDefined[comp.AcTable]) return false;
      // A table libjpeg refuses would be copied into the output as it is.
      if (!layout.Dc[comp.DcTable].ValidForDc()) return false;
      auto dc = CachedDecoder(layout.Dc[comp.DcTable]), ac = CachedDecoder(layout.Ac[comp.AcTable]);
      if (!dc || !ac) return false;
      for (int b = 0; b < g.H[size_t(c)] * g.V[size_t(c)]; ++b)
        Blocks[size_t(g.FirstBlock[size_t(c)] + b)] = {c, comp.DcTable, comp.AcTable, dc.get(), ac.get()};
      Held.push_back(std::move(dc));
      Held.push_back(std::move(ac));
    }
    return true;
  }
};

}  // namespace

bool TJpegLayout::SequentialHuffman8() const {
  return (FrameMarker == 0xC0 || FrameMarker == 0xC1) && Precision == 8;
}

bool TJpegLayout::Progressive8() const { return FrameMarker == 0xC2 && Precision == 8; }

bool TJpegLayout::SingleFullScan() const {
  if (ScanComponents.size() != Components.size() || Ss != 0 || Se != 63 || Ah != 0 || Al != 0) return false;
  for (size_t i = 0; i < ScanComponents.size(); ++i)
    if (ScanComponents[i] != static_cast<int>(i)) return false;
  return true;
}

bool ReadJpegLayout(const TJpegFile& headers, TJpegLayout& layout) {
  layout = TJpegLayout();
  bool frame = false;
  for (const TJpegSegment& s : headers.Segments()) {
    if (s.Marker == kMarkerDqt) {
      if (!ReadDqt(s.Payload, layout)) return false;
    } else if (s.Marker == kMarkerDht) {
      if (!ReadDht(s.Payload, layout)) return false;
    } else if (s.Marker == kMarkerDri) {
      if (s.Payload.size() < 2) return false;
      layout.RestartInterval = Be16(s.Payload.data());
    } else if (IsFrame(s.Marker)) {
      if (frame) return false;
      if (!ReadFrame(s, layout)) return false;
      frame = true;
    } else if (s.Marker == kMarkerSos) {
      if (!frame || !ReadScan(s.Payload, layout)) return false;
      for (const TJpegComponent& c : layout.Components)
        if (!layout.QuantDefined[c.QuantTable]) return false;
      return true;
    }
  }
  return false;
}

bool MakeBlockGeometry(const TJpegLayout& layout, TBlockGeometry& g) {
  g = TBlockGeometry();
  const int n = static_cast<int>(layout.Components.size());
  if ((n != 1 && n != 3) || !SaneSize(layout.Width, layout.Height)) return false;
  g.Width = layout.Width;
  g.Height = layout.Height;
  g.Components = n;
  for (int c = 0; c < n; ++c) {
    const TJpegComponent& comp = layout.Components[size_t(c)];
    // A picture of one component is coded one block per MCU, whatever its
    // sampling factors say.
    g.H[size_t(c)] = n == 1 ? 1 : comp.H;
    g.V[size_t(c)] = n == 1 ? 1 : comp.V;
    g.Hmax = std::max(g.Hmax, g.H[size_t(c)]);
    g.Vmax = std::max(g.Vmax, g.V[size_t(c)]);
    g.QuantTable[size_t(c)] = comp.QuantTable;
    g.Quant[size_t(c)] = layout.Quant[comp.QuantTable];
    g.Ids[size_t(c)] = comp.Id;
    g.FirstBlock[size_t(c)] = g.BlocksPerMcu;
    g.BlocksPerMcu += g.H[size_t(c)] * g.V[size_t(c)];
  }
  if (g.BlocksPerMcu > kMaxBlocksPerMcu) return false;
  // Sampling factors that do not divide the largest ones have no sensible
  // upsampling; libjpeg refuses most of them too.
  for (int c = 0; c < n; ++c)
    if (g.Hmax % g.H[size_t(c)] || g.Vmax % g.V[size_t(c)]) return false;
  g.McuWidth = 8 * g.Hmax;
  g.McuHeight = 8 * g.Vmax;
  g.McusWide = (g.Width + g.McuWidth - 1) / g.McuWidth;
  g.McusHigh = (g.Height + g.McuHeight - 1) / g.McuHeight;
  return true;
}

bool IndexScan(const TJpegLayout& layout, const TBlockGeometry& g, const uint8_t* data, size_t size,
               const std::vector<int32_t>& slotOf, std::vector<int16_t>& coefficients, TScanIndex& index) {
  index = TScanIndex();
  const int64_t mcus = g.Mcus();
  const int ri = layout.RestartInterval;
  const int64_t intervals = ri ? (mcus + ri - 1) / ri : 1;
  if (mcus <= 0 || slotOf.size() != size_t(mcus)) return false;

  // Unstuff, cutting the data at its restart markers, which must come in
  // their order (RST0 to RST7, again and again).
  index.Clean.reserve(size + kSlack);
  index.IntervalStartBit.push_back(0);
  size_t p = 0;
  index.ScanBytes = size;
  while (p < size) {
    const void* hit = std::memchr(data + p, 0xFF, size - p);
    const size_t q = hit ? size_t(static_cast<const uint8_t*>(hit) - data) : size;
    index.Clean.insert(index.Clean.end(), data + p, data + q);
    if (q + 1 >= size) {
      p = size;
      break;
    }
    const uint8_t b = data[q + 1];
    if (b == 0x00) {
      index.Clean.push_back(0xFF);
      p = q + 2;
    } else if (b == 0xFF) {
      p = q + 1;  // a fill byte before a marker
    } else if (b >= 0xD0 && b <= 0xD7) {
      const int64_t next = int64_t(index.IntervalStartBit.size());
      if (ri == 0 || next >= intervals || b != 0xD0 + (next - 1) % 8) return false;
      index.IntervalStartBit.push_back(uint64_t(index.Clean.size()) * 8);
      p = q + 2;
    } else {
      index.ScanBytes = q;  // the marker that ends the scan
      break;
    }
  }
  if (int64_t(index.IntervalStartBit.size()) != intervals) return false;
  const uint64_t dataBits = uint64_t(index.Clean.size()) * 8;
  // Every block takes at least two bits (its DC size and an EOB): a file
  // that claims more blocks than its data can hold gets nothing allocated.
  const uint64_t blocks = uint64_t(mcus) * uint64_t(g.BlocksPerMcu);
  if (dataBits < 2 * blocks) return false;
  index.Clean.resize(index.Clean.size() + kSlack, 0);
  index.McuBit.resize(size_t(mcus));
  index.Dc.resize(size_t(blocks));
  index.IntervalEndBit.resize(size_t(intervals));

  index.Longest.resize(size_t(mcus));
  TDecoders decoders;
  if (!decoders.Build(layout, g)) return false;

  const uint8_t* clean = index.Clean.data();
  const int bpm = g.BlocksPerMcu;
  for (int64_t r = 0; r < intervals; ++r) {
    TBitReader reader(clean, index.IntervalStartBit[size_t(r)]);
    const uint64_t end = r + 1 < intervals ? index.IntervalStartBit[size_t(r + 1)] : dataBits;
    std::array<int, 4> pred{};
    int64_t first = 0, last = 0;
    IntervalRange(mcus, ri, r, first, last);
    for (int64_t m = first; m < last; ++m) {
      index.McuBit[size_t(m)] = reader.Position();
      const int32_t slot = slotOf[size_t(m)];
      int16_t* dcOut = &index.Dc[size_t(m) * size_t(bpm)];
      std::array<uint8_t, 8>& longest = index.Longest[size_t(m)];
      longest.fill(0);
      for (int b = 0; b < bpm; ++b) {
        const TDecoders::TBlock& d = decoders.Blocks[size_t(b)];
        int& pr = pred[size_t(d.Component)];
        TCodeLengths lengths{longest[d.DcTable], longest[size_t(4 + d.AcTable)]};
        const bool ok =
            slot >= 0 ? DecodeBlock(reader, *d.Dc, *d.Ac, pr,
                                    &coefficients[(size_t(slot) * size_t(bpm) + size_t(b)) * 64], lengths)
                      : SkipBlock(reader, *d.Dc, *d.Ac, pr, lengths);
        if (!ok) return false;
        dcOut[b] = static_cast<int16_t>(pr);
        longest[d.DcTable] = static_cast<uint8_t>(lengths.Dc);
        longest[size_t(4 + d.AcTable)] = static_cast<uint8_t>(lengths.Ac);
      }
      if (reader.Position() > end) return false;
    }
    index.IntervalEndBit[size_t(r)] = reader.Position();
  }
  return true;
}

namespace {

// What happens to each MCU of the new scan.
enum TAction : uint8_t { kCopy = 0, kCodeNew = 1, kCodeOld = 2 };

// Making room in a full Huffman table changes every code from some length
// on; below this length so many MCUs would use a changed code that coding
// the picture anew is the better way.
constexpr int kMinChangedLength = 9;

// The source's MCUs, decoded again one at a time from where their bits begin.
class TOldMcus {
 public:
  TOldMcus(const TJpegLayout& layout, const TBlockGeometry& g, const TScanIndex& index)
      : g_(g), index_(index), bpm_(size_t(g.BlocksPerMcu)), blocks_(bpm_ * 64) {
    ok_ = decoders_.Build(layout, g);
    for (size_t b = 0; b < bpm_; ++b) lastBlock_[size_t(decoders_.Blocks[b].Component)] = b;
  }
  bool Ok() const { return ok_; }
  const TDecoders& Decoders() const { return decoders_; }
  /// The DC the source's MCU m ends component c with.
  int LastDc(int64_t m, int c) const { return index_.Dc[size_t(m) * bpm_ + lastBlock_[size_t(c)]]; }
  /// MCU m's blocks; null for bits that do not decode.
  const int16_t* Decode(int64_t m, bool firstOfInterval) {
    TBitReader reader(index_.Clean.data(), index_.McuBit[size_t(m)]);
    std::array<int, 4> pred{};
    if (!firstOfInterval)
      for (int c = 0; c < g_.Components; ++c) pred[size_t(c)] = LastDc(m - 1, c);
    TCodeLengths unused;
    for (size_t b = 0; b < bpm_; ++b) {
      const TDecoders::TBlock& d = decoders_.Blocks[b];
      if (!DecodeBlock(reader, *d.Dc, *d.Ac, pred[size_t(d.Component)], &blocks_[b * 64], unused))
        return nullptr;
    }
    return blocks_.data();
  }

 private:
  const TBlockGeometry& g_;
  const TScanIndex& index_;
  size_t bpm_;
  TDecoders decoders_;
  std::array<size_t, 4> lastBlock_{};
  std::vector<int16_t> blocks_;
  bool ok_ = false;
};

}  // namespace

bool PlanScan(const TJpegLayout& layout, const TBlockGeometry& g, const TScanIndex& index,
              const std::vector<int32_t>& newSlotOf, const std::vector<int16_t>& newBlocks, TScanPlan& plan) {
  plan = TScanPlan();
  plan.Dc = layout.Dc;
  plan.Ac = layout.Ac;
  const int64_t mcus = g.Mcus();
  const int ri = layout.RestartInterval;
  const int64_t intervals = ri ? (mcus + ri - 1) / ri : 1;
  const size_t bpm = size_t(g.BlocksPerMcu);
  TOldMcus old(layout, g, index);
  if (!old.Ok()) return false;
  const TDecoders& decoders = old.Decoders();

  // Which MCUs are coded anew: the touched ones, and the MCU after a run of
  // them when the DC it follows changed. Which symbols that takes.
  plan.Action.assign(size_t(mcus), kCopy);
  std::array<std::array<bool, 256>, 4> dcNeed{}, acNeed{};
  uint8_t symbols[65];
  for (int64_t r = 0; r < intervals; ++r) {
    std::array<int, 4> pred{};
    int64_t first = 0, last = 0;
    IntervalRange(mcus, ri, r, first, last);
    for (int64_t m = first; m < last; ++m) {
      const int16_t* blocks = nullptr;
      if (newSlotOf[size_t(m)] >= 0) {
        plan.Action[size_t(m)] = kCodeNew;
        blocks = &newBlocks[size_t(newSlotOf[size_t(m)]) * bpm * 64];
      } else {
        bool same = true;
        for (int c = 0; c < g.Components && same; ++c)
          same = pred[size_t(c)] == (m == first ? 0 : old.LastDc(m - 1, c));
        if (!same) {
          blocks = old.Decode(m, m == first);
          if (!blocks) return false;
          plan.Action[size_t(m)] = kCodeOld;
        }
      }
      if (!blocks) {
        for (int c = 0; c < g.Components; ++c) pred[size_t(c)] = old.LastDc(m, c);
        continue;
      }
      for (size_t b = 0; b < bpm; ++b) {
        const TDecoders::TBlock& d = decoders.Blocks[b];
        const int n = BlockSymbols(blocks + b * 64, pred[size_t(d.Component)], symbols);
        if (n < 0) return false;
        dcNeed[d.DcTable][symbols[0]] = true;
        for (int i = 1; i < n; ++i) acNeed[d.AcTable][symbols[i]] = true;
        pred[size_t(d.Component)] = blocks[b * 64];
      }
    }
  }

  // Symbols the source never used have no code in a table made for it; they
  // get one, and where that changes the longest codes, the MCUs that use
  // those codes are coded again too.
  std::array<int, 8> changedFrom;
  changedFrom.fill(17);
  auto prepare = [&](const std::array<bool, 256>& need, THuffmanTable& table, int& from) {
    std::vector<uint8_t> missing;
    for (int s = 0; s < 256; ++s)
      if (need[size_t(s)] && !table.Contains(static_cast<uint8_t>(s)))
        missing.push_back(static_cast<uint8_t>(s));
    if (missing.empty()) return true;
    plan.TablesChanged = true;
    return RebuildHuffmanTable(table, missing, kMinChangedLength, from);
  };
  for (size_t t = 0; t < 4; ++t)
    if (!prepare(dcNeed[t], plan.Dc[t], changedFrom[t]) ||
        !prepare(acNeed[t], plan.Ac[t], changedFrom[4 + t]))
      return false;
  if (*std::min_element(changedFrom.begin(), changedFrom.end()) <= 16)
    for (int64_t m = 0; m < mcus; ++m) {
      if (plan.Action[size_t(m)] != kCopy) continue;
      const std::array<uint8_t, 8>& longest = index.Longest[size_t(m)];
      for (size_t t = 0; t < 8; ++t)
        if (longest[t] >= changedFrom[t]) {
          plan.Action[size_t(m)] = kCodeOld;
          ++plan.McusRecoded;
          break;
        }
    }
  return true;
}

bool WriteScan(const TJpegLayout& layout, const TBlockGeometry& g, const TScanIndex& index,
               const std::vector<int32_t>& newSlotOf, const std::vector<int16_t>& newBlocks,
               const TScanPlan& plan, std::vector<uint8_t>& out) {
  const int64_t mcus = g.Mcus();
  const int ri = layout.RestartInterval;
  const int64_t intervals = ri ? (mcus + ri - 1) / ri : 1;
  const size_t bpm = size_t(g.BlocksPerMcu);
  TOldMcus old(layout, g, index);
  if (!old.Ok()) return false;
  const TDecoders& decoders = old.Decoders();
  std::array<THuffmanEncoder, 4> dcEnc, acEnc;
  for (size_t b = 0; b < bpm; ++b) {
    const TDecoders::TBlock& d = decoders.Blocks[b];
    if (!dcEnc[d.DcTable].Build(plan.Dc[d.DcTable]) || !acEnc[d.AcTable].Build(plan.Ac[d.AcTable]))
      return false;
  }

  // Runs of copied MCUs go as one span of bits each.
  out.reserve(out.size() + index.Clean.size() + index.Clean.size() / 64 + size_t(intervals) * 2 + 64);
  TBitWriter writer(out);
  const uint8_t* source = index.Clean.data();
  for (int64_t r = 0; r < intervals; ++r) {
    std::array<int, 4> pred{};
    int64_t first = 0, last = 0;
    IntervalRange(mcus, ri, r, first, last);
    uint64_t spanStart = 0;
    bool inSpan = false;
    for (int64_t m = first; m < last; ++m) {
      const uint8_t a = plan.Action[size_t(m)];
      if (a == kCopy) {
        if (!inSpan) spanStart = index.McuBit[size_t(m)];
        inSpan = true;
        continue;
      }
      if (inSpan) {
        writer.CopyBits(source, spanStart, index.McuBit[size_t(m)] - spanStart);
        for (int c = 0; c < g.Components; ++c) pred[size_t(c)] = old.LastDc(m - 1, c);
      }
      inSpan = false;
      const int16_t* blocks =
          a == kCodeNew ? &newBlocks[size_t(newSlotOf[size_t(m)]) * bpm * 64] : old.Decode(m, m == first);
      if (!blocks) return false;
      for (size_t b = 0; b < bpm; ++b) {
        const TDecoders::TBlock& d = decoders.Blocks[b];
        EncodeBlock(writer, dcEnc[d.DcTable], acEnc[d.AcTable], pred[size_t(d.Component)], blocks + b * 64);
        pred[size_t(d.Component)] = blocks[b * 64];
      }
    }
    if (inSpan) writer.CopyBits(source, spanStart, index.IntervalEndBit[size_t(r)] - spanStart);
    writer.PadToByte();
    if (r + 1 < intervals) writer.PutMarker(static_cast<uint8_t>(0xD0 + r % 8));
  }
  return true;
}

}  // namespace kobalt
