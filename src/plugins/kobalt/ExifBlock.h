#pragma once

// EXIF blocks of JPEG files held in memory: reading tag texts, setting a text
// tag, and carrying one file's block (with its related metadata segments) into
// another. Built on libexif and the segment list; nothing here throws across
// its interface and libexif never prints. Internal to kobalt.fp.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Codecs.h"

struct _ExifData;
typedef struct _ExifData ExifData;

namespace kobalt {

struct TExifDataDeleter {
  void operator()(ExifData* data) const;
};
using TExifDataPtr = std::unique_ptr<ExifData, TExifDataDeleter>;

/// An empty block with silenced logging and the loader's "fixing" options off.
TExifDataPtr NewExifData();
/// Parses an EXIF payload ("Exif\0\0" header first) keeping every entry as
/// stored: unknown tags, the MakerNote bytes, no invented defaults.
TExifDataPtr LoadExifData(const uint8_t* payload, size_t size);
/// Serialises with the "Exif\0\0" header. A block that does not fit one APP1
/// segment loses its thumbnail; false when it still does not fit.
bool SaveExifData(ExifData* data, std::vector<uint8_t>& payload);

/// The libexif rendering (at most 1023 characters) of a tag, looked up in
/// IFD 0, IFD 1, EXIF, GPS and Interoperability, first found wins.
std::string ReadTagText(ExifData* data, uint16_t tag);

/// The EXIF payload of a file's bytes: the first EXIF APP1 of a JPEG (even
/// one whose later structure is damaged), or a bare block that starts with
/// "Exif\0\0". Null when there is none.
TExifDataPtr LoadExifFromFileBytes(const uint8_t* data, size_t size);

/// The tags listed by GetExif, in their lookup order.
const std::vector<uint16_t>& ExifValueTags();
/// Non-empty texts of the listed tags; empty when the bytes carry no EXIF.
std::map<uint16_t, std::string> ReadExifValues(const uint8_t* data, size_t size);

/// Sets one text tag in a JPEG held in memory and returns the rewritten file
/// (`out` may be the input; it is left alone on failure).
/// UserComment (37510) goes to the EXIF IFD with the "ASCII" code prefix, any
/// other tag to IFD 0 as ASCII. `now` stamps a missing DateTimeOriginal.
bool WriteExifInJpeg(const std::vector<uint8_t>& jpeg, uint16_t tag, const std::string& text,
                     std::time_t now, std::vector<uint8_t>& out);

/// How CopyExifInJpeg renews a thumbnail: decode the destination picture
/// upright, and encode a JPEG in memory. Either may be empty (no thumbnail).
struct TThumbnailCodec {
  std::function<bool(TImage&)> DecodeDestination;
  std::function<bool(const uint32_t*, int32_t, int32_t, int, std::vector<uint8_t>&)> EncodeJpeg;
};

/// Puts the source's EXIF block into the destination JPEG, and the source's
/// XMP, ICC profile and IPTC where the destination has none of that kind.
/// The thumbnail is rebuilt from the destination (or dropped), the pixel
/// dimensions follow the destination and the orientation stays true to its
/// pixels. False when either file is not a JPEG or the source has no EXIF.
bool CopyExifInJpeg(const std::vector<uint8_t>& source, const std::vector<uint8_t>& dest,
                    const TThumbnailCodec& codec, std::vector<uint8_t>& out);

/// Area-averaging reduction so the longer side is at most `longSide`.
TImage ScaleDownToFit(const TImage& image, int longSide);
/// Applies the inverse of an EXIF orientation (1-8), turning upright pixels
/// back into the stored orientation.
TImage UndoOrientation(const TImage& image, int orientation);

inline constexpr int kThumbnailSide = 160;
inline constexpr int kThumbnailQuality = 75;

}  // namespace kobalt
