#pragma once

// The libjpeg sessions of the block-keeping path (implemented in
// JpegCodec.cpp beside the plain codec, with the same error handling):
// how libjpeg reads a picture's colours, encoding a window of pixels with a
// source's own quantisation and sampling, and reading and writing a whole
// picture's coefficients for the pictures whose scans are not copied
// (progressive ones, several scans). Internal to kobalt.fp.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "JpegScan.h"

namespace kobalt {

/// How libjpeg takes a JPEG's colours, by the same rules its decoder uses
/// (JFIF and Adobe markers, component ids).
enum class TJpegColours { Unreadable, Grey, YCbCr, Other };
TJpegColours ReadJpegColours(const uint8_t* data, size_t size);

/// Encodes width x height BGRA pixels (alpha ignored; rows `stride` pixels
/// apart) as a baseline JPEG in memory with the geometry's components,
/// sampling factors and quantisation tables, as grey for one component and
/// YCbCr for three.
bool EncodeWithGeometry(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                        const TBlockGeometry& geometry, std::vector<uint8_t>& out);

/// A whole picture's coefficients as libjpeg reads them, kept until they are
/// written again. Blocks cross as in TScanIndex: per MCU of the geometry, in
/// zigzag order.
class TJpegCoefficients {
 public:
  TJpegCoefficients();
  ~TJpegCoefficients();
  TJpegCoefficients(const TJpegCoefficients&) = delete;
  TJpegCoefficients& operator=(const TJpegCoefficients&) = delete;

  /// Reads the picture's coefficients. The MCUs with a slot are copied into
  /// coefficients, every block's DC into dc (coding order). False when
  /// libjpeg cannot read the picture or it does not have the geometry.
  bool Read(const uint8_t* data, size_t size, const TBlockGeometry& geometry,
            const std::vector<int32_t>& slotOf, std::vector<int16_t>& coefficients, std::vector<int16_t>& dc);
  /// Puts the new blocks in and writes the picture with Huffman tables made
  /// for it: progressive (libjpeg's usual scans) or in one sequential scan,
  /// with the source's restart interval. `out` is a whole JPEG without any
  /// APPn or COM segment.
  bool Write(const TBlockGeometry& geometry, const std::vector<int32_t>& newSlotOf,
             const std::vector<int16_t>& newBlocks, bool progressive, std::vector<uint8_t>& out);
  /// Whether the source was progressive.
  bool Progressive() const;

  struct TSession;  ///< the libjpeg objects (JpegCodec.cpp)

 private:
  std::unique_ptr<TSession> session_;
};

}  // namespace kobalt
