#pragma once

// The coded picture of a JPEG as the block-keeping path sees it: what its
// headers say (frame, tables, first scan), the layout of its blocks in MCUs,
// and for a baseline scan an index of where every MCU's bits begin, from
// which a new scan is put together with untouched MCUs copied bit for bit.
// Internal to kobalt.fp. Every size read from a file is checked before
// anything is allocated for it; nothing here throws except std::bad_alloc.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "JpegFile.h"
#include "JpegHuffman.h"

namespace kobalt {

struct TJpegComponent {
  uint8_t Id = 0;
  uint8_t H = 1;  ///< horizontal sampling factor
  uint8_t V = 1;  ///< vertical sampling factor
  uint8_t QuantTable = 0;
  uint8_t DcTable = 0;  ///< from the first scan's header
  uint8_t AcTable = 0;
};

/// What a JPEG's header segments say, up to its first scan.
struct TJpegLayout {
  uint8_t FrameMarker = 0;  ///< the SOFn marker byte
  int Precision = 0;
  int Width = 0;
  int Height = 0;
  std::vector<TJpegComponent> Components;           ///< in frame order
  std::array<std::array<uint16_t, 64>, 4> Quant{};  ///< zigzag order, as DQT holds them
  std::array<bool, 4> QuantDefined{};
  std::array<THuffmanTable, 4> Dc, Ac;  ///< the tables in force at the first scan
  std::array<bool, 4> DcDefined{}, AcDefined{};
  int RestartInterval = 0;  ///< MCUs per restart interval, 0 for none
  /// The first scan: indices into Components in scan order, and its
  /// coefficient band (Ss..Se) and successive approximation bits.
  std::vector<int> ScanComponents;
  int Ss = 0, Se = 0, Ah = 0, Al = 0;

  /// Sequential DCT with Huffman coding (SOF0, SOF1), 8-bit samples.
  bool SequentialHuffman8() const;
  bool Progressive8() const;
  /// The first scan holds every component, every coefficient, at once
  /// (so it is the picture's only scan).
  bool SingleFullScan() const;
};

/// Reads the layout from a segment list read up to its first scan. False
/// for headers that contradict themselves (a table used but not defined, a
/// scan naming no frame component, sizes out of range).
bool ReadJpegLayout(const TJpegFile& headers, TJpegLayout& layout);

/// Where a picture's blocks lie: in MCUs of the first scan (one block each
/// for a picture of one component), each holding the blocks of every
/// component in scan order.
struct TBlockGeometry {
  int Width = 0, Height = 0;  ///< stored picture size
  int Components = 0;         ///< 1 or 3
  std::array<int, 4> H{}, V{};
  int Hmax = 1, Vmax = 1;
  int McuWidth = 8, McuHeight = 8;  ///< in pixels
  int McusWide = 0, McusHigh = 0;
  int BlocksPerMcu = 0;
  std::array<int, 4> FirstBlock{};                  ///< of each component within an MCU
  std::array<std::array<uint16_t, 64>, 4> Quant{};  ///< of each component, zigzag order
  std::array<int, 4> QuantTable{};
  std::array<uint8_t, 4> Ids{};

  int64_t Mcus() const { return int64_t(McusWide) * McusHigh; }
  /// Blocks of component c across the MCU grid.
  int BlocksWide(int c) const { return McusWide * H[size_t(c)]; }
  int BlocksHigh(int c) const { return McusHigh * V[size_t(c)]; }
};

/// The geometry of a layout's picture; false for one this path does not
/// take (components other than 1 or 3, more than 10 blocks in an MCU).
bool MakeBlockGeometry(const TJpegLayout& layout, TBlockGeometry& geometry);

/// A baseline scan taken apart: its entropy-coded data with the byte
/// stuffing and restart markers removed, and where everything lies in it.
struct TScanIndex {
  std::vector<uint8_t> Clean;              ///< every interval's data back to back, then slack
  std::vector<uint64_t> IntervalStartBit;  ///< of each restart interval in Clean
  std::vector<uint64_t> IntervalEndBit;    ///< just after each interval's last MCU
  std::vector<uint64_t> McuBit;            ///< where each MCU's bits begin
  std::vector<int16_t> Dc;                 ///< the DC of every block, in coding order
  /// Per MCU, the longest code it uses of each table: DC tables 0 to 3,
  /// then AC tables 0 to 3 (0 for a table it does not use).
  std::vector<std::array<uint8_t, 8>> Longest;
  size_t ScanBytes = 0;  ///< bytes of the file's scan data, up to the marker that ends it
};

/// Takes a baseline scan (the file's bytes from just after its SOS segment)
/// apart. MCUs whose slot is not -1 are decoded whole into
/// coefficients[slot * BlocksPerMcu * 64...] (zigzag order); the others are
/// only passed over. False for data that is not a valid coding of the whole
/// picture (truncated, a bad code, wrong restart markers).
bool IndexScan(const TJpegLayout& layout, const TBlockGeometry& geometry, const uint8_t* data, size_t size,
               const std::vector<int32_t>& slotOf, std::vector<int16_t>& coefficients, TScanIndex& index);

/// How a new scan is made from an indexed one: MCUs with a new-slot are
/// coded from newBlocks, every other MCU is copied as the source coded it,
/// except the MCU after a run of new ones (its first DC difference changed)
/// and those that use a code the tables had to change, which are decoded
/// and coded again. The tables are the source's with the symbols they lack
/// added (RebuildHuffmanTable).
struct TScanPlan {
  std::vector<uint8_t> Action;  ///< per MCU: copy, code the new blocks, code the old ones again
  std::array<THuffmanTable, 4> Dc, Ac;
  bool TablesChanged = false;
  int64_t McusRecoded = 0;  ///< untouched MCUs coded again
};
/// False when a table has no room for a needed symbol, or a block cannot
/// be coded at all (values out of the range of 8-bit samples).
bool PlanScan(const TJpegLayout& layout, const TBlockGeometry& geometry, const TScanIndex& index,
              const std::vector<int32_t>& newSlotOf, const std::vector<int16_t>& newBlocks, TScanPlan& plan);
/// Appends the planned scan to out: stuffed, with its restart markers,
/// without the final EOI.
bool WriteScan(const TJpegLayout& layout, const TBlockGeometry& geometry, const TScanIndex& index,
               const std::vector<int32_t>& newSlotOf, const std::vector<int16_t>& newBlocks,
               const TScanPlan& plan, std::vector<uint8_t>& out);

}  // namespace kobalt
