#pragma once

// A JPEG written with only the blocks under a watermark decoded, painted and
// encoded again, everything else kept as the source stores it: the region
// bridge (imageio/FileRegions.h) of kobalt.fp.
//
// The picture is cut into windows of whole MCUs around what the painter
// changes (plus one MCU all round, so that chroma upsampling sees the same
// neighbours as in a decode of the whole picture). Each window is decoded by
// libjpeg from the source's coefficients, turned upright, painted, turned
// back and encoded with the source's own quantisation and sampling; its
// touched MCUs take the new coefficients. A baseline source is then written
// by copying the coded bits of every untouched MCU and coding only the
// touched ones (and the DC of the MCU after each run of them) with the
// source's own Huffman tables. Other sources (progressive, several scans, or
// Huffman tables without room for a needed symbol) keep their untouched
// coefficients and are coded anew by libjpeg. Internal to kobalt.fp.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Codecs.h"
#include "imageio/FileRegions.h"

namespace kobalt {

struct TBlockEditOptions {
  /// Leaves pictures to the usual way when redrawing their watermarked
  /// windows would take longer than decoding and encoding them whole.
  bool ChooseByCost = true;
  /// Codes every picture anew with libjpeg instead of copying spans (tests).
  bool ForceCoefficients = false;
};

struct TBlockEditOutput {
  std::vector<uint8_t> Jpeg;  ///< the whole new file
  /// The new picture at an eighth of its size (each block's average), upright:
  /// enough for an EXIF thumbnail without decoding the file again.
  TImage Preview;
};

/// The edit in memory. report.Result is Written with output filled, or
/// NotHandled or Failed with output empty; report.Note says why in a few words.
void EditJpegBlocks(const uint8_t* data, size_t size, tvx::TRegionPainter& painter, TBlockEditOutput& output,
                    tvx::TRegionEditReport& report, const TBlockEditOptions& options = {});

/// The file level (slot 0 of the region bridge): reads the source, edits,
/// writes the destination through a temporary file and remembers the
/// preview for the EXIF thumbnail. Only a destination named as a JPEG.
void EditJpegBlocksFile(const std::string& sourceFileName, const std::string& destFileName,
                        tvx::TRegionPainter& painter, tvx::TRegionEditReport& report);

// ---- parts, for the tests ------------------------------------------------

/// Where a rectangle of the stored picture (width x height) lies on the
/// picture turned upright by an EXIF orientation (1 to 8), and back.
tvx::TPictureRect UprightRect(const tvx::TPictureRect& stored, int orientation, int width, int height);
tvx::TPictureRect StoredRect(const tvx::TPictureRect& upright, int orientation, int width, int height);

}  // namespace kobalt
