// Our own baseline Huffman coding: tables grown without changing the codes
// that copied bits rely on, blocks that code and decode back, skipping that
// ends exactly where decoding ends, and bit spans copied at every offset.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "JpegHuffman.h"
#include "JpegScan.h"

namespace kobalt {
namespace {

// Code and length of every symbol a table gives a code.
std::map<int, std::pair<int, int>> CodesOf(const THuffmanTable& table) {
  THuffmanEncoder encoder;
  EXPECT_TRUE(encoder.Build(table));
  std::map<int, std::pair<int, int>> codes;
  for (int s = 0; s < 256; ++s)
    if (encoder.Length[size_t(s)]) codes[s] = {encoder.Code[size_t(s)], encoder.Length[size_t(s)]};
  return codes;
}

// A table as libjpeg makes one for a picture: every code length used, the
// code space full but for the all-ones code.
THuffmanTable FullTable() {
  THuffmanTable table;
  table.Bits = {0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 3};
  // 2*2^14 + 2^13 + 3*2^12 + 3*2^11 + 2*2^10 + 4*2^9 + 3*2^8 + 5*2^7 + 5*2^6 + 4*2^5 + 4*2^4 + 2 + 3 < 2^16
  for (int i = 0; i < 40; ++i) table.Values.push_back(uint8_t(i < 20 ? i + 1 : 0x20 + i));
  // fill the rest of the code space at length 16, leaving the all-ones code
  uint32_t used = 0;
  for (int l = 1; l <= 16; ++l) used += uint32_t(table.Bits[size_t(l)]) << (16 - l);
  const uint32_t room = 65535 - used;
  table.Bits[16] = uint8_t(table.Bits[16] + std::min<uint32_t>(room, 200));
  for (uint32_t i = 0; i < std::min<uint32_t>(room, 200); ++i)
    table.Values.push_back(uint8_t(0x60 + i % 150));
  return table;
}

struct TExtendCase {
  const char* Name;
  THuffmanTable Table;
  std::vector<uint8_t> Missing;
};

class ExtendHuffman : public ::testing::TestWithParam<TExtendCase> {};

// Copied spans decode with the new table only if every old code is kept.
TEST_P(ExtendHuffman, KeepsEveryCodeAndGivesTheMissingOnesCodes) {
  const TExtendCase& c = GetParam();
  THuffmanTable table = c.Table;
  const auto before = CodesOf(table);
  int changedFrom = 0;
  ASSERT_TRUE(RebuildHuffmanTable(table, c.Missing, 1, changedFrom));
  EXPECT_TRUE(table.Valid());
  const auto after = CodesOf(table);
  for (const auto& [symbol, code] : before) {
    if (code.second >= changedFrom) continue;
    EXPECT_EQ(after.at(symbol), code) << "symbol " << symbol;
  }
  for (uint8_t m : c.Missing) EXPECT_TRUE(after.count(m)) << "missing symbol " << int(m);
  // A decoder of the new table reads the old codes shorter than the change
  // back as their symbols.
  THuffmanDecoder decoder;
  ASSERT_TRUE(decoder.Build(table));
  for (const auto& [symbol, code] : before) {
    if (code.second >= changedFrom) continue;
    uint8_t bytes[16] = {};
    const uint32_t bits = uint32_t(code.first) << (32 - code.second);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(bits >> (24 - 8 * i));
    TBitReader reader(bytes, 0);
    int longest = 0;
    EXPECT_EQ(decoder.Decode(reader, longest), symbol);
    EXPECT_EQ(reader.Position(), uint64_t(code.second));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ExtendHuffman,
    ::testing::Values(TExtendCase{"standard_ac_has_everything", StandardAcTable(0), {}},
                      TExtendCase{"dc_table_with_room",
                                  THuffmanTable{{0, 0, 1, 5, 1, 1, 1, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
                                  {9, 10, 11}},
                      TExtendCase{"full_table_makes_room_among_long_codes", FullTable(), {0x31, 0xE0, 0xF0}},
                      TExtendCase{"one_code_table", THuffmanTable{{0, 1}, {0}}, {1, 2, 3}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ExtendHuffmanTable, NoRoomWithoutChangingCodesLeavesTheTable) {
  THuffmanTable table = FullTable();
  const THuffmanTable before = table;
  EXPECT_FALSE(ExtendHuffmanTable(table, {0x31}));
  EXPECT_EQ(table, before);
  int changedFrom = 0;
  // Not allowed to change codes shorter than 16 bits: still no room.
  EXPECT_FALSE(RebuildHuffmanTable(table, {0x31, 0xE0}, 16, changedFrom));
  EXPECT_EQ(table, before);
}

TEST(ExtendHuffmanTable, TheLastByteValueStillFits) {
  THuffmanTable table;
  table.Bits[8] = 255;  // 255 codes of 8 bits, one byte value left out
  for (int i = 0; i < 255; ++i) table.Values.push_back(uint8_t(i));
  ASSERT_TRUE(table.Valid());
  int changedFrom = 0;
  EXPECT_TRUE(RebuildHuffmanTable(table, {255}, 1, changedFrom));  // room by longer codes
  EXPECT_TRUE(table.Valid());
  EXPECT_EQ(table.Values.size(), 256u);
}

TEST(HuffmanTable, ValidFollowsLibjpegsRule) {
  EXPECT_TRUE(StandardDcTable(0).Valid());
  EXPECT_TRUE(StandardAcTable(1).Valid());
  THuffmanTable allOnes{{0, 2}, {0, 1}};  // the codes 0 and 1: the all-ones code used
  EXPECT_FALSE(allOnes.Valid());
  THuffmanTable counts{{0, 1}, {0, 1}};  // more values than codes
  EXPECT_FALSE(counts.Valid());
}

// ---- blocks -----------------------------------------------------------------

std::vector<int16_t> RandomBlock(std::mt19937& rng, int density) {
  std::vector<int16_t> block(64, 0);
  block[0] = int16_t(int(rng() % 2047) - 1023);  // differences stay within 11 bits
  for (int k = 1; k < 64; ++k)
    if (int(rng() % 100) < density) block[size_t(k)] = int16_t(int(rng() % 2047) - 1023);
  return block;
}

struct TBlocksCase {
  const char* Name;
  int Density;                 // per cent of AC coefficients that are not 0
  std::vector<int16_t> Fixed;  // one fixed block, or empty for random ones
};

class BlockCoding : public ::testing::TestWithParam<TBlocksCase> {};

// What EncodeBlock writes, DecodeBlock reads back, and SkipBlock passes
// over exactly as far.
TEST_P(BlockCoding, DecodesBackAndSkipsToTheSameBit) {
  std::mt19937 rng(42);
  THuffmanEncoder dcEnc, acEnc;
  THuffmanDecoder dcDec, acDec;
  ASSERT_TRUE(dcEnc.Build(StandardDcTable(0)) && acEnc.Build(StandardAcTable(0)));
  ASSERT_TRUE(dcDec.Build(StandardDcTable(0)) && acDec.Build(StandardAcTable(0)));
  std::vector<std::vector<int16_t>> blocks;
  for (int i = 0; i < 200; ++i)
    blocks.push_back(GetParam().Fixed.empty() ? RandomBlock(rng, GetParam().Density) : GetParam().Fixed);
  std::vector<uint8_t> out;
  TBitWriter writer(out);
  int pred = 0;
  uint8_t symbols[65];
  for (const auto& b : blocks) {
    ASSERT_GT(BlockSymbols(b.data(), pred, symbols), 0);
    EncodeBlock(writer, dcEnc, acEnc, pred, b.data());
    pred = b[0];
  }
  writer.PadToByte();
  // Remove the stuffing again, as the scan index does.
  std::vector<uint8_t> clean;
  for (size_t i = 0; i < out.size(); ++i) {
    clean.push_back(out[i]);
    if (out[i] == 0xFF) ++i;
  }
  clean.resize(clean.size() + 4096, 0);
  TBitReader decode(clean.data(), 0), skip(clean.data(), 0);
  int decodePred = 0, skipPred = 0;
  for (const auto& b : blocks) {
    int16_t got[64];
    TCodeLengths a, s;
    ASSERT_TRUE(DecodeBlock(decode, dcDec, acDec, decodePred, got, a));
    ASSERT_TRUE(SkipBlock(skip, dcDec, acDec, skipPred, s));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), got));
    EXPECT_EQ(decode.Position(), skip.Position());
    EXPECT_EQ(decodePred, skipPred);
    EXPECT_EQ(a.Ac, s.Ac);
  }
}

std::vector<int16_t> Block(std::initializer_list<std::pair<int, int>> values) {
  std::vector<int16_t> b(64, 0);
  for (auto [k, v] : values) b[size_t(k)] = int16_t(v);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockCoding,
    ::testing::Values(TBlocksCase{"sparse", 5, {}}, TBlocksCase{"dense", 60, {}},
                      TBlocksCase{"full", 100, {}}, TBlocksCase{"dc_only", 0, {}},
                      TBlocksCase{"last_coefficient_ends_without_eob", 0, Block({{0, 5}, {63, -1}})},
                      TBlocksCase{"runs_of_sixteen_and_more", 0,
                                  Block({{0, -3}, {1, 2}, {40, 1}, {63, 1023}})},
                      TBlocksCase{"extremes", 0, Block({{0, 2047}, {1, -1023}, {2, 1023}})}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(BlockSymbols, ValuesBeyondEightBitCodingAreRefused) {
  uint8_t symbols[65];
  EXPECT_LT(BlockSymbols(Block({{0, 3000}}).data(), 0, symbols), 0);
  EXPECT_LT(BlockSymbols(Block({{5, 1024}}).data(), 0, symbols), 0);
}

// ---- copying spans --------------------------------------------------------------

class CopyBitsAt : public ::testing::TestWithParam<std::tuple<int, int>> {};

// The span lands bit for bit wherever the writer and the span stand.
TEST_P(CopyBitsAt, EveryOffsetOfSourceAndOutput) {
  const auto [lead, from] = GetParam();
  std::mt19937 rng(7);
  std::vector<uint8_t> source(3000);
  for (uint8_t& b : source) b = uint8_t(rng() % 3 ? rng() : 0xFF);  // plenty of 0xFF to stuff
  std::vector<uint8_t> padded = source;
  padded.resize(source.size() + 16, 0);
  auto bitOf = [&](const std::vector<uint8_t>& bytes, uint64_t i) {
    return (bytes[i / 8] >> (7 - i % 8)) & 1;
  };
  for (uint64_t length : {uint64_t(1), uint64_t(60), uint64_t(71), uint64_t(8 * 2000 + 5)}) {
    std::vector<uint8_t> out;
    TBitWriter writer(out);
    writer.Put(0x2A, lead);  // the writer somewhere inside a byte
    writer.CopyBits(padded.data(), uint64_t(from), length);
    writer.PadToByte();
    std::vector<uint8_t> clean;
    for (size_t i = 0; i < out.size(); ++i) {
      clean.push_back(out[i]);
      if (out[i] == 0xFF) {
        ASSERT_LT(i + 1, out.size());
        ASSERT_EQ(out[i + 1], 0) << "0xFF not stuffed";
        ++i;
      }
    }
    for (int i = 0; i < lead; ++i) ASSERT_EQ(bitOf(clean, uint64_t(i)), (0x2A >> (lead - 1 - i)) & 1);
    for (uint64_t i = 0; i < length; ++i)
      ASSERT_EQ(bitOf(clean, uint64_t(lead) + i), bitOf(source, uint64_t(from) + i)) << "bit " << i;
    for (uint64_t i = uint64_t(lead) + length; i < clean.size() * 8; ++i)
      ASSERT_EQ(bitOf(clean, i), 1) << "padding";
  }
}

INSTANTIATE_TEST_SUITE_P(Offsets, CopyBitsAt,
                         ::testing::Combine(::testing::Range(0, 8), ::testing::Range(0, 8)));

}  // namespace
}  // namespace kobalt
