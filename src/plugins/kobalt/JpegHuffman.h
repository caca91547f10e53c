#pragma once

// Baseline Huffman coding of JPEG scans, done here rather than by libjpeg:
// copying the coded bits of untouched MCUs needs to know where each MCU's
// bits begin, which libjpeg keeps to itself. Everything works on
// entropy-coded data with its byte stuffing removed (see JpegScan.h).
// Internal to kobalt.fp; nothing here throws or allocates per symbol.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kobalt {

/// The natural (row-major) index of each zigzag position, with 16 spare
/// entries so that an index that runs past 63 stays in bounds.
extern const uint8_t kZigzagToNatural[64 + 16];

/// A Huffman table as a DHT segment defines it.
struct THuffmanTable {
  std::array<uint8_t, 17> Bits{};  ///< Bits[l]: how many codes have length l (1 to 16)
  std::vector<uint8_t> Values;     ///< the symbols in code order

  /// Whether libjpeg would accept the table: the counts match the values,
  /// there are at most 256, and no length runs out of codes (the code of all
  /// one bits stays unused, as libjpeg requires).
  bool Valid() const;
  /// Valid for a DC table: libjpeg also wants no symbol above 15 there.
  bool ValidForDc() const;
  bool Contains(uint8_t symbol) const;
  friend bool operator==(const THuffmanTable&, const THuffmanTable&) = default;
};

/// Gives the missing symbols codes of their own without changing any code
/// the table has: new codes of length 16 taken from the unused code space
/// after the longest codes. False (and the table unchanged) when there is
/// not room for all of them.
bool ExtendHuffmanTable(THuffmanTable& table, const std::vector<uint8_t>& missing);

/// As ExtendHuffmanTable, but where there is no room (a table made for its
/// picture uses all of its code space), room is made among the longest,
/// rarest codes: every code of length changedFrom or more may change, all
/// shorter ones stay. changedFrom is 17 when no code changed. False (and
/// the table unchanged) when not even codes from minLength on would do.
bool RebuildHuffmanTable(THuffmanTable& table, const std::vector<uint8_t>& missing, int minLength,
                         int& changedFrom);

/// The standard tables of the JPEG standard (its Annex K): every symbol of
/// 8-bit coding has a code. Index 0 luminance, 1 chrominance.
const THuffmanTable& StandardDcTable(int index);
const THuffmanTable& StandardAcTable(int index);

/// Reads bits from any position of a byte buffer, most significant bit
/// first, through a 64-bit buffer. The data must be followed by at least 8
/// readable bytes (slack), so a refill near the end never reads outside it.
class TBitReader {
 public:
  TBitReader(const uint8_t* data, uint64_t bitPosition) : base_(data) { SetPosition(bitPosition); }
  /// Tops the buffer up to at least 56 bits (whole bytes are taken, so a
  /// byte's bits may be taken twice; they are the same bits both times).
  void Refill() {
    uint64_t word;
    std::memcpy(&word, next_, 8);
    buffer_ |= __builtin_bswap64(word) >> count_;
    next_ += (63 - count_) >> 3;
    count_ |= 56;
  }
  /// The next n bits (1 to 32, no more than Refill guarantees) unconsumed.
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buffer_ >> (64 - n)); }
  void Skip(int n) {
    buffer_ <<= n;
    count_ -= n;
  }
  uint32_t Read(int n) {
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  uint64_t Position() const { return uint64_t(next_ - base_) * 8 - uint64_t(count_); }
  void SetPosition(uint64_t pos) {
    next_ = base_ + (pos >> 3);
    buffer_ = 0;
    count_ = 0;
    Refill();
    Skip(static_cast<int>(pos & 7));
  }

 private:
  const uint8_t* base_;
  const uint8_t* next_ = nullptr;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

/// Decoding lookup of one table: short codes in one step, longer ones by
/// their length.
class THuffmanDecoder {
 public:
  static constexpr int kFastBits = 9;
  static constexpr int kSkipBits = 12;

  /// False for a table libjpeg would refuse.
  bool Build(const THuffmanTable& table);
  /// The next symbol, consumed; -1 when the bits are no code of the table.
  /// longest becomes at least the length of the symbol's code.
  int Decode(TBitReader& reader, int& longest) const {
    const uint16_t e = fast_[reader.Peek(kFastBits)];
    if (e) {
      reader.Skip(e >> 8);
      longest = std::max(longest, e >> 8);
      return e & 0xFF;
    }
    return DecodeSlow(reader, longest);
  }

  /// For skipping AC coefficients: as many whole symbols (code and value
  /// bits) as fit the next kSkipBits bits, up to an EOB. Bits 0 when not
  /// even one fits.
  struct TSkip {
    uint8_t Bits = 0;        ///< code and value bits of all of them
    uint8_t Run = 0;         ///< zigzag positions passed (r + 1 each, 16 for ZRL)
    uint8_t Limit = 0;       ///< the largest position before them at which all belong to the block
    uint8_t CodeLength = 0;  ///< longest code among them, plus 128 when the last is an EOB
  };
  const TSkip* SkipTable() const { return skip_.data(); }
  /// For decoding AC coefficients: the symbol the next kSkipBits bits start
  /// with, as 0x8000 | code length << 8 | run << 4 | size, when its code and
  /// value bits fit them; 0 when they do not.
  const uint16_t* ValueTable() const { return value_.data(); }

 private:
  int DecodeSlow(TBitReader& reader, int& longest) const;

  std::array<uint16_t, 1 << kFastBits> fast_{};  ///< length << 8 | symbol; 0 for longer codes
  std::array<int32_t, 18> maxCode_{};            ///< largest code of each length, -1 for none
  std::array<int32_t, 17> valueOffset_{};
  std::array<uint8_t, 256> values_{};
  std::array<TSkip, 1 << kSkipBits> skip_{};
  std::array<uint16_t, 1 << kSkipBits> value_{};
};

/// Encoding lookup of one table. Length 0: the symbol has no code.
struct THuffmanEncoder {
  std::array<uint16_t, 256> Code{};
  std::array<uint8_t, 256> Length{};
  /// False for a table libjpeg would refuse.
  bool Build(const THuffmanTable& table);
};

/// Writes entropy-coded data: bits most significant first, appended to a
/// byte buffer with the byte stuffing of JPEG scans (a 0 after every 0xFF).
class TBitWriter {
 public:
  explicit TBitWriter(std::vector<uint8_t>& out) : out_(out) {}
  /// Appends the low n bits of value (n up to 32).
  void Put(uint32_t value, int n) {
    acc_ = (acc_ << n) | (value & ((uint64_t(1) << n) - 1));
    bits_ += n;
    if (bits_ >= 32) Drain();
  }
  /// Appends nbits bits of a buffer (unstuffed data) from a bit position;
  /// the buffer needs the reader's 8 bytes of slack.
  void CopyBits(const uint8_t* data, uint64_t from, uint64_t nbits);
  /// Pads the last byte with one bits, as the end of a scan or of a restart
  /// interval requires.
  void PadToByte();
  /// A marker (RSTn) after PadToByte.
  void PutMarker(uint8_t marker) {
    out_.push_back(0xFF);
    out_.push_back(marker);
  }

 private:
  void Drain() {
    while (bits_ >= 8) {
      bits_ -= 8;
      const uint8_t byte = static_cast<uint8_t>(acc_ >> bits_);
      out_.push_back(byte);
      if (byte == 0xFF) out_.push_back(0);
    }
  }

  std::vector<uint8_t>& out_;
  std::vector<uint8_t> chunk_;  // whole bytes of a copy, before stuffing
  uint64_t acc_ = 0;
  int bits_ = 0;
};

/// Appends bytes with the byte stuffing of JPEG scans.
void AppendStuffed(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

/// One 8 x 8 block of quantised coefficients in zigzag order.
using TBlock = std::array<int16_t, 64>;

/// The longest codes a block used, of its DC table and of its AC table.
struct TCodeLengths {
  int Dc = 0;
  int Ac = 0;
};

/// Decodes one block. dcPredictor is the previous DC of the component and
/// becomes this block's. False for bits that are no valid coding.
bool DecodeBlock(TBitReader& reader, const THuffmanDecoder& dc, const THuffmanDecoder& ac, int& dcPredictor,
                 int16_t* zigzag, TCodeLengths& longest);
/// Consumes one block, keeping only its DC (as DecodeBlock does).
bool SkipBlock(TBitReader& reader, const THuffmanDecoder& dc, const THuffmanDecoder& ac, int& dcPredictor,
               TCodeLengths& longest);

/// The symbols that coding a block after dcPredictor needs, for checking
/// that the tables have them: the DC size, then each AC run/size symbol.
/// Returns how many were written into symbols (at most 65); the first is DC.
int BlockSymbols(const int16_t* zigzag, int dcPredictor, uint8_t* symbols);
/// Encodes one block; every symbol must have a code (see BlockSymbols).
void EncodeBlock(TBitWriter& writer, const THuffmanEncoder& dc, const THuffmanEncoder& ac, int dcPredictor,
                 const int16_t* zigzag);

}  // namespace kobalt
