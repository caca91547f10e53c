#include "JpegHuffman.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kobalt {

const uint8_t kZigzagToNatural[64 + 16] = {
    0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7,
    14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39,
    46, 53, 60, 61, 54, 47, 55, 62, 63,
    // past the end: a run that overshoots lands on the last coefficient
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

namespace {

// Largest DC size and AC size of 8-bit coding; larger ones mark bad data.
constexpr int kMaxDcSize = 11;
constexpr int kMaxAcSize = 10;

int LastLength(const THuffmanTable& table) {
  int last = 0;
  for (int l = 1; l <= 16; ++l)
    if (table.Bits[size_t(l)]) last = l;
  return last;
}

// The code of each value, in Values order (canonical assignment).
void CanonicalCodes(const THuffmanTable& table, std::vector<uint16_t>& codes, std::vector<uint8_t>& lengths) {
  codes.clear();
  lengths.clear();
  uint32_t code = 0;
  for (int l = 1; l <= 16; ++l) {
    for (int i = 0; i < table.Bits[size_t(l)]; ++i) {
      codes.push_back(static_cast<uint16_t>(code++));
      lengths.push_back(static_cast<uint8_t>(l));
    }
    code <<= 1;
  }
}

int BitLength(unsigned v) { return v ? 32 - __builtin_clz(v) : 0; }

}  // namespace

bool THuffmanTable::Valid() const {
  size_t count = 0;
  for (int l = 1; l <= 16; ++l) count += Bits[size_t(l)];
  if (count != Values.size() || count > 256) return false;
  uint32_t code = 0;
  const int last = LastLength(*this);
  for (int l = 1; l <= last; ++l) {
    code += Bits[size_t(l)];
    if (code >= (uint32_t(1) << l)) return false;
    code <<= 1;
  }
  return true;
}

bool THuffmanTable::ValidForDc() const {
  return Valid() && std::all_of(Values.begin(), Values.end(), [](uint8_t s) { return s <= 15; });
}

bool THuffmanTable::Contains(uint8_t symbol) const {
  return std::find(Values.begin(), Values.end(), symbol) != Values.end();
}

bool ExtendHuffmanTable(THuffmanTable& table, const std::vector<uint8_t>& missing) {
  std::vector<uint8_t> add;
  for (uint8_t s : missing)
    if (!table.Contains(s) && std::find(add.begin(), add.end(), s) == add.end()) add.push_back(s);
  if (add.empty()) return true;
  if (!table.Valid() || table.Values.size() + add.size() > 256) return false;
  // Codes are handed out in order of length, so codes appended after the
  // longest ones leave every existing code as it was. In units of one
  // 16-bit code, the space used is the Kraft sum; one unit (the all-ones
  // code) must stay free.
  uint32_t used = 0;
  for (int l = 1; l <= 16; ++l) used += uint32_t(table.Bits[size_t(l)]) << (16 - l);
  const uint32_t room = (uint32_t(1) << 16) - 1 - used;
  if (add.size() > room || table.Bits[16] + add.size() > 255) return false;
  table.Bits[16] = static_cast<uint8_t>(table.Bits[16] + add.size());
  table.Values.insert(table.Values.end(), add.begin(), add.end());
  return true;
}

bool RebuildHuffmanTable(THuffmanTable& table, const std::vector<uint8_t>& missing, int minLength,
                         int& changedFrom) {
  changedFrom = 17;
  if (ExtendHuffmanTable(table, missing)) return true;
  std::vector<uint8_t> add;
  for (uint8_t s : missing)
    if (!table.Contains(s) && std::find(add.begin(), add.end(), s) == add.end()) add.push_back(s);
  if (!table.Valid() || table.Values.size() + add.size() > 256) return false;
  // Codes are handed out by length, so the codes shorter than some length
  // stay as long as the counts of those lengths stay. Above it, every old
  // symbol and every new one gets a 16-bit code: the longest length from
  // which the code space left (less the all-ones code) holds them all.
  uint32_t below = 0;
  std::array<uint32_t, 18> unitsBelow{}, symbolsFrom{};
  for (int l = 1; l <= 16; ++l) {
    unitsBelow[size_t(l)] = below;
    below += uint32_t(table.Bits[size_t(l)]) << (16 - l);
  }
  for (int l = 16; l >= 1; --l) symbolsFrom[size_t(l)] = symbolsFrom[size_t(l + 1)] + table.Bits[size_t(l)];
  for (int from = 16; from >= std::max(1, minLength); --from) {
    const uint32_t room = (uint32_t(1) << 16) - 1 - unitsBelow[size_t(from)];
    const uint32_t need = symbolsFrom[size_t(from)] + uint32_t(add.size());
    if (need > room || need > 255) continue;
    for (int l = from; l < 16; ++l) table.Bits[size_t(l)] = 0;
    table.Bits[16] = static_cast<uint8_t>(need);
    table.Values.insert(table.Values.end(), add.begin(), add.end());
    changedFrom = from;
    return true;
  }
  return false;
}

const THuffmanTable& StandardDcTable(int index) {
  static const THuffmanTable kLuma{{0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                   {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
  static const THuffmanTable kChroma{{0, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
  return index == 0 ? kLuma : kChroma;
}

const THuffmanTable& StandardAcTable(int index) {
  static const THuffmanTable kLuma{
      {0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
      {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
       0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33,
       0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34,
       0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55,
       0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76,
       0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96,
       0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5,
       0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4,
       0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1,
       0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
  static const THuffmanTable kChroma{
      {0, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
      {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
       0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62,
       0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29,
       0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54,
       0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
       0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94,
       0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3,
       0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2,
       0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea,
       0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
  return index == 0 ? kLuma : kChroma;
}

// ---- decoding ----------------------------------------------------------------

bool THuffmanDecoder::Build(const THuffmanTable& table) {
  if (!table.Valid()) return false;
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  CanonicalCodes(table, codes, lengths);
  fast_.fill(0);
  skip_.fill(TSkip{});
  maxCode_.fill(-1);
  valueOffset_.fill(0);
  values_.fill(0);
  std::copy(table.Values.begin(), table.Values.end(), values_.begin());
  size_t p = 0;
  for (int l = 1; l <= 16; ++l) {
    const int n = table.Bits[size_t(l)];
    if (n == 0) continue;
    valueOffset_[size_t(l)] = static_cast<int32_t>(p) - codes[p];
    maxCode_[size_t(l)] = codes[p + size_t(n) - 1];
    p += size_t(n);
  }
  maxCode_[17] = 0x7FFFFFFF;  // never reached: every code ends by length 16
  for (size_t i = 0; i < codes.size(); ++i) {
    const int len = lengths[i];
    if (len > kFastBits) continue;
    const uint32_t first = uint32_t(codes[i]) << (kFastBits - len);
    const uint32_t count = uint32_t(1) << (kFastBits - len);
    for (uint32_t j = 0; j < count; ++j) fast_[first + j] = static_cast<uint16_t>(len << 8 | table.Values[i]);
  }
  // The skip table: decode the symbols each bit pattern starts with. A
  // symbol counts only when its value bits fit too; the last one may end the
  // block by its position, so the ones before it must leave the block open.
  std::vector<int> lengthOf(size_t(1) << kSkipBits, 0), symbolOf(size_t(1) << kSkipBits, 0);
  for (size_t i = 0; i < codes.size(); ++i) {
    const int len = lengths[i];
    if (len > kSkipBits) continue;
    const uint32_t first = uint32_t(codes[i]) << (kSkipBits - len);
    for (uint32_t j = 0; j < (uint32_t(1) << (kSkipBits - len)); ++j) {
      if (lengthOf[first + j]) continue;  // a repeated symbol keeps its first code
      lengthOf[first + j] = len;
      symbolOf[first + j] = table.Values[i];
    }
  }
  value_.fill(0);
  for (uint32_t pattern = 0; pattern < (uint32_t(1) << kSkipBits); ++pattern) {
    const int len = lengthOf[pattern];
    const int symbol = symbolOf[pattern];
    if (len && (symbol & 15) <= kMaxAcSize && len + (symbol & 15) <= kSkipBits)
      value_[pattern] = static_cast<uint16_t>(0x8000 | len << 8 | symbol);
  }
  for (uint32_t pattern = 0; pattern < (uint32_t(1) << kSkipBits); ++pattern) {
    TSkip entry;
    int used = 0, run = 0, before = 0, longest = 0;
    for (;;) {
      const uint32_t rest = (pattern << used) & ((uint32_t(1) << kSkipBits) - 1);
      const int len = lengthOf[rest];
      if (!len) break;
      const int symbol = symbolOf[rest], r = symbol >> 4, s = symbol & 15;
      if (s > kMaxAcSize || used + len + s > kSkipBits) break;
      const bool eob = s == 0 && r != 15;
      before = run;
      used += len + s;
      longest = std::max(longest, len);
      run += eob ? 0 : s ? r + 1 : 16;
      entry.Bits = static_cast<uint8_t>(used);
      entry.Run = static_cast<uint8_t>(run);
      entry.Limit = static_cast<uint8_t>(std::max(0, 63 - before));
      entry.CodeLength = static_cast<uint8_t>(longest | (eob ? 128 : 0));
      if (eob || run >= 63) break;
    }
    skip_[pattern] = entry;
  }
  return true;
}

int THuffmanDecoder::DecodeSlow(TBitReader& reader, int& longest) const {
  const uint32_t bits = reader.Peek(16);
  for (int l = 1; l <= 16; ++l) {
    const int32_t code = static_cast<int32_t>(bits >> (16 - l));
    if (code <= maxCode_[size_t(l)]) {
      reader.Skip(l);
      longest = std::max(longest, l);
      return values_[size_t(valueOffset_[size_t(l)] + code) & 0xFF];
    }
  }
  return -1;
}

namespace {

inline int Extend(uint32_t v, int s) {
  return v < (uint32_t(1) << (s - 1)) ? static_cast<int>(v) - (1 << s) + 1 : static_cast<int>(v);
}

// The DC of a block; false for a size 8-bit coding never has or a value
// outside what 8-bit samples give.
inline bool DecodeDc(TBitReader& reader, const THuffmanDecoder& dc, int& predictor, int& longest) {
  reader.Refill();
  const int s = dc.Decode(reader, longest);
  if (s < 0 || s > kMaxDcSize) return false;
  if (s) predictor += Extend(reader.Read(s), s);
  return predictor >= -2048 && predictor <= 2047;
}

}  // namespace

bool DecodeBlock(TBitReader& in, const THuffmanDecoder& dc, const THuffmanDecoder& ac, int& dcPredictor,
                 int16_t* zigzag, TCodeLengths& longest) {
  std::fill(zigzag, zigzag + 64, int16_t(0));
  TBitReader reader = in;
  if (!DecodeDc(reader, dc, dcPredictor, longest.Dc)) return false;
  zigzag[0] = static_cast<int16_t>(dcPredictor);
  const uint16_t* values = ac.ValueTable();
  for (int k = 1; k < 64;) {
    reader.Refill();
    // Code and value in one look where they fit.
    const uint32_t peek = reader.Peek(THuffmanDecoder::kSkipBits);
    if (const uint16_t e = values[peek]) {
      const int len = (e >> 8) & 15, r = (e >> 4) & 15, s = e & 15;
      longest.Ac = std::max(longest.Ac, len);
      if (s) {
        k += r;
        if (k > 63) return false;
        const uint32_t v = (peek >> (THuffmanDecoder::kSkipBits - len - s)) & ((1u << s) - 1);
        zigzag[k++] = static_cast<int16_t>(Extend(v, s));
        reader.Skip(len + s);
        continue;
      }
      reader.Skip(len);
      if (r != 15) break;  // EOB
      k += 16;
      if (k > 64) return false;
      continue;
    }
    const int rs = ac.Decode(reader, longest.Ac);
    if (rs < 0) return false;
    const int r = rs >> 4, s = rs & 15;
    if (s) {
      k += r;
      if (k > 63 || s > kMaxAcSize) return false;
      zigzag[k++] = static_cast<int16_t>(Extend(reader.Read(s), s));
    } else if (r == 15) {
      k += 16;
      if (k > 64) return false;
    } else {
      break;  // EOB (libjpeg reads every other run with size 0 so too)
    }
  }
  in = reader;
  return true;
}

bool SkipBlock(TBitReader& reader, const THuffmanDecoder& dc, const THuffmanDecoder& ac, int& dcPredictor,
               TCodeLengths& longest) {
  // A local copy stays in registers; the caller's would go through memory
  // on every symbol.
  TBitReader r = reader;
  if (!DecodeDc(r, dc, dcPredictor, longest.Dc)) return false;
  const THuffmanDecoder::TSkip* skip = ac.SkipTable();
  int acLongest = longest.Ac;
  int k = 1;
  for (;;) {
    // A refill leaves at least 56 bits: four table steps of at most
    // kSkipBits each follow without one, which keeps the refill's load off
    // the chain from one step to the next.
    r.Refill();
    for (int i = 0; i < 4; ++i) {
      const THuffmanDecoder::TSkip e = skip[r.Peek(THuffmanDecoder::kSkipBits)];
      if (!e.Bits || k > e.Limit) goto single;
      r.Skip(e.Bits);
      acLongest = std::max<int>(acLongest, e.CodeLength & 127);
      k += e.Run;
      if ((e.CodeLength & 128) || k >= 64) goto done;
    }
    continue;
  single:
    // A long code, or a symbol that may end the block: one at a time.
    r.Refill();
    {
      const int rs = ac.Decode(r, acLongest);
      if (rs < 0) return false;
      const int run = rs >> 4, s = rs & 15;
      if (s) {
        k += run;
        if (k > 63 || s > kMaxAcSize) return false;
        r.Skip(s);
        ++k;
      } else if (run == 15) {
        k += 16;
      } else {
        goto done;  // EOB
      }
      if (k >= 64) goto done;
    }
  }
done:
  if (k > 64) return false;
  longest.Ac = acLongest;
  reader = r;
  return true;
}

// ---- encoding ----------------------------------------------------------------

bool THuffmanEncoder::Build(const THuffmanTable& table) {
  if (!table.Valid()) return false;
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  CanonicalCodes(table, codes, lengths);
  Code.fill(0);
  Length.fill(0);
  for (size_t i = 0; i < codes.size(); ++i) {
    const uint8_t symbol = table.Values[i];
    if (Length[symbol]) continue;  // a repeated symbol keeps its first code
    Code[symbol] = codes[i];
    Length[symbol] = lengths[i];
  }
  return true;
}

namespace {

// Bit k set for every AC coefficient zz[k] (k = 1 to 63) that is not 0, so
// that coding a block costs what its coefficients cost, not 63 steps.
inline uint64_t NonZeroMask(const int16_t* zz) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  uint64_t mask = 0;
  for (int i = 0; i < 64; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + i + 8));
    const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
    mask |= uint64_t(uint16_t(~_mm_movemask_epi8(zeros))) << i;
  }
  return mask & ~uint64_t(1);
#else
  uint64_t mask = 0;
  for (int k = 1; k < 64; ++k) mask |= uint64_t(zz[k] != 0) << k;
  return mask;
#endif
}

}  // namespace

int BlockSymbols(const int16_t* zz, int dcPredictor, uint8_t* symbols) {
  int n = 0;
  const int diff = zz[0] - dcPredictor;
  const int dcSize = BitLength(static_cast<unsigned>(diff < 0 ? -diff : diff));
  if (dcSize > kMaxDcSize) return -1;
  symbols[n++] = static_cast<uint8_t>(dcSize);
  int last = 0;
  for (uint64_t nz = NonZeroMask(zz); nz; nz &= nz - 1) {
    const int k = __builtin_ctzll(nz);
    int run = k - last - 1;
    for (; run > 15; run -= 16) symbols[n++] = 0xF0;
    const int v = zz[k];
    const int size = BitLength(static_cast<unsigned>(v < 0 ? -v : v));
    if (size > kMaxAcSize) return -1;
    symbols[n++] = static_cast<uint8_t>(run << 4 | size);
    last = k;
  }
  if (last < 63) symbols[n++] = 0x00;
  return n;
}

void EncodeBlock(TBitWriter& w, const THuffmanEncoder& dc, const THuffmanEncoder& ac, int dcPredictor,
                 const int16_t* zz) {
  const int diff = zz[0] - dcPredictor;
  int size = BitLength(static_cast<unsigned>(diff < 0 ? -diff : diff));
  w.Put(dc.Code[size_t(size)], dc.Length[size_t(size)]);
  // Negative values are sent as their one's complement in `size` bits.
  if (size) w.Put(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), size);
  int last = 0;
  for (uint64_t nz = NonZeroMask(zz); nz; nz &= nz - 1) {
    const int k = __builtin_ctzll(nz);
    int run = k - last - 1;
    for (; run > 15; run -= 16) w.Put(ac.Code[0xF0], ac.Length[0xF0]);
    const int v = zz[k];
    size = BitLength(static_cast<unsigned>(v < 0 ? -v : v));
    const size_t symbol = size_t(run << 4 | size);
    // Code and value bits together: at most 16 + 10 bits.
    w.Put(
        (uint32_t(ac.Code[symbol]) << size) | (static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((1u << size) - 1)),
        ac.Length[symbol] + size);
    last = k;
  }
  if (last < 63) w.Put(ac.Code[0], ac.Length[0]);
}

// ---- bit copying -------------------------------------------------------------

void AppendStuffed(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  size_t p = 0;
  while (p < size) {
    const void* hit = std::memchr(data + p, 0xFF, size - p);
    const size_t q = hit ? size_t(static_cast<const uint8_t*>(hit) - data) + 1 : size;
    out.insert(out.end(), data + p, data + q);
    if (hit) out.push_back(0x00);
    p = q;
  }
}

void TBitWriter::CopyBits(const uint8_t* data, uint64_t from, uint64_t nbits) {
  // Up to the next byte boundary of the output through the accumulator...
  const int head = static_cast<int>((8 - (bits_ & 7)) & 7);
  if (nbits <= static_cast<uint64_t>(head) + 64) {
    while (nbits > 0) {
      const int n = static_cast<int>(std::min<uint64_t>(nbits, 32));
      Put(TBitReader(data, from).Peek(n), n);  // a fresh reader holds at least 56 bits
      from += static_cast<uint64_t>(n);
      nbits -= static_cast<uint64_t>(n);
    }
    return;
  }
  if (head) {
    Put(TBitReader(data, from).Peek(head), head);
    from += static_cast<uint64_t>(head);
    nbits -= static_cast<uint64_t>(head);
  }
  Drain();  // whole bytes only now: the accumulator is empty
  // ...then whole output bytes, eight at a time, each made of two source
  // bytes, a chunk at a time through the stuffing.
  const uint8_t* src = data + (from >> 3);
  const int shift = static_cast<int>(from & 7);
  uint64_t bytes = nbits / 8;
  constexpr uint64_t kChunk = 1 << 16;
  chunk_.resize(kChunk);
  while (bytes > 0) {
    const uint64_t n = std::min(bytes, kChunk);
    uint8_t* dst = chunk_.data();
    uint64_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t word;
      std::memcpy(&word, src + i, 8);
      word = __builtin_bswap64(word);
      if (shift) word = (word << shift) | (src[i + 8] >> (8 - shift));
      word = __builtin_bswap64(word);
      std::memcpy(dst + i, &word, 8);
    }
    for (; i < n; ++i)
      dst[i] = static_cast<uint8_t>(shift ? (src[i] << shift) | (src[i + 1] >> (8 - shift)) : src[i]);
    AppendStuffed(dst, n, out_);
    src += n;
    bytes -= n;
    from += n * 8;
    nbits -= n * 8;
  }
  if (nbits) Put(TBitReader(data, from).Peek(static_cast<int>(nbits)), static_cast<int>(nbits));
}

void TBitWriter::PadToByte() {
  if (bits_ & 7) Put(0xFF, 8 - (bits_ & 7));
  Drain();
}

}  // namespace kobalt
