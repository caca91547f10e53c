#pragma once

// The segment list of a JPEG file: every header segment up to the first scan,
// kept byte for byte, so that one segment (the EXIF block) can be replaced and
// everything else written back unchanged. Internal to kobalt.fp.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kobalt {

inline constexpr uint8_t kMarkerSoi = 0xD8;
inline constexpr uint8_t kMarkerEoi = 0xD9;
inline constexpr uint8_t kMarkerSos = 0xDA;
inline constexpr uint8_t kMarkerApp0 = 0xE0;
inline constexpr uint8_t kMarkerApp1 = 0xE1;
inline constexpr uint8_t kMarkerApp2 = 0xE2;
inline constexpr uint8_t kMarkerApp13 = 0xED;

/// Largest payload a segment can carry (its length field counts itself).
inline constexpr size_t kMaxSegmentPayload = 65533;

struct TJpegSegment {
  uint8_t Marker = 0;
  /// Extra 0xFF fill bytes that preceded the marker in the file.
  uint8_t FillBytes = 0;
  /// Bytes after the length field; empty for SOI, EOI and RSTn.
  std::vector<uint8_t> Payload;

  bool HasLength() const;
  /// True when the payload starts with the given signature.
  bool PayloadStartsWith(std::string_view signature) const;
  /// APP1 that holds EXIF ("Exif" and two zero bytes); other APP1 (XMP) is not.
  bool IsExif() const;
};

class TJpegFile {
 public:
  /// Parses a JPEG held in memory. False (and Valid() false) unless the data
  /// starts with SOI and its header segments run cleanly up to the first scan
  /// (or EOI). Segments read before a fault stay available to FindExif().
  bool Read(const uint8_t* data, size_t size);
  /// The header segments only, up to and including the first SOS (the bytes
  /// may end anywhere after it): enough to take metadata from, or to edit
  /// and write back with WriteHeaders in front of the rest of the file.
  bool ReadHeaders(const uint8_t* data, size_t size);
  /// After ReadHeaders: how many bytes the header segments took in the file.
  size_t HeaderBytes() const { return headerBytes_; }
  /// The header segments as bytes (what the file holds before its
  /// entropy-coded data); empty when the list is not valid.
  std::vector<uint8_t> WriteHeaders() const;
  /// Serialises the list; empty when the list is not valid or holds only
  /// the headers.
  std::vector<uint8_t> Write() const;

  bool Valid() const { return valid_; }
  const std::vector<TJpegSegment>& Segments() const { return segments_; }
  std::vector<TJpegSegment>& Segments() { return segments_; }
  /// The entropy-coded data after the first SOS up to (not including) a
  /// final EOI; anything after the primary picture stays inside it.
  const std::vector<uint8_t>& ScanData() const { return scan_; }

  /// Index of the first EXIF APP1, or -1.
  int FindExif() const;
  /// The TIFF-structured EXIF payload ("Exif\0\0" header included) of the
  /// first EXIF APP1; null when there is none.
  const std::vector<uint8_t>* ExifPayload() const;
  /// Puts an EXIF payload (with its "Exif\0\0" header) into the first EXIF
  /// APP1, or into a new APP1 after SOI and any APP0 (JFIF must stay first).
  /// Returns the index of the EXIF segment, or -1 (invalid list, too large).
  int SetExif(std::vector<uint8_t> payload);
  /// Inserts a segment at an index (clamped to the header part of the list).
  void Insert(size_t index, TJpegSegment segment);

  /// Component count of the first SOFn, 0 when none.
  int Components() const;
  /// Stored (not orientation-corrected) picture size from the first SOFn.
  bool FrameSize(int& width, int& height) const;

 private:
  bool Parse(const uint8_t* data, size_t size, bool headersOnly);
  const TJpegSegment* FindFrame() const;

  std::vector<TJpegSegment> segments_;
  std::vector<uint8_t> scan_;
  bool valid_ = false;
  bool headersOnly_ = false;
  size_t headerBytes_ = 0;
};

}  // namespace kobalt
