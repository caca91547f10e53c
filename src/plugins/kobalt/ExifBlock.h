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
#include "JpegFile.h"
#include "imageio/FileMetadata.h"

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

// ---- the EXIF block as a TIFF structure (no "Exif\0\0" header) ----------
// These edit the block in place (TTiffEditor): everything not named stays
// byte for byte where it was, so MakerNotes, the data their offsets reach
// and the thumbnail survive. Other containers (WebP, HEIF, JPEG XL) keep
// their EXIF in this form.

/// Sets one text tag as WriteExifInJpeg does; a new block when `tiff` is
/// null or unreadable. Where the in-place result would exceed maxSize, or
/// libexif would not read the value back from it (a damaged block it reads
/// differently), libexif lays the block out anew (dropping the thumbnail if
/// it must); false when even that exceeds maxSize.
bool SetExifTagInTiff(const std::vector<uint8_t>* tiff, uint16_t tag, const std::string& text, std::time_t now,
                      std::vector<uint8_t>& out, size_t maxSize = kMaxSegmentPayload - 6);

/// Fits a source's block to a destination picture: its orientation (how the
/// destination's stored pixels are to be turned), its stored pixel size when
/// the block records one, and a thumbnail rebuilt from the destination (or
/// dropped). A block longer than maxSize loses its thumbnail; false when it
/// still does not fit or the block is unreadable.
bool AdaptExifForCopy(const std::vector<uint8_t>& tiff, int destOrientation, int storedWidth, int storedHeight,
                      const TThumbnailCodec& codec, size_t maxSize, std::vector<uint8_t>& out);

/// The metadata of a JPEG in a container-neutral form (what the plug-ins'
/// metadata bridge carries): the EXIF TIFF structure, the ICC profile joined
/// from its chunks, the XMP packet.
struct TJpegMetadata {
  std::vector<uint8_t> Exif, Icc, Xmp;
};
bool ReadJpegMetadata(const std::vector<uint8_t>& jpeg, TJpegMetadata& metadata);
/// CopyExifInJpeg with the source given as blocks instead of a file.
bool CopyMetadataIntoJpeg(const TJpegMetadata& source, const std::vector<uint8_t>& dest,
                          const TThumbnailCodec& codec, std::vector<uint8_t>& out);

/// Puts the source's EXIF block into the destination JPEG, and the source's
/// XMP, ICC profile and IPTC where the destination has none of that kind.
/// The thumbnail is rebuilt from the destination (or dropped), the pixel
/// dimensions follow the destination and the orientation stays true to its
/// pixels. False when either file is not a JPEG or the source has no EXIF.
/// `source` may be only the start of the file, as long as it reaches the
/// first scan (see SourceHeaderBytes).
bool CopyExifInJpeg(const std::vector<uint8_t>& source, const std::vector<uint8_t>& dest,
                    const TThumbnailCodec& codec, std::vector<uint8_t>& out);
/// How much of a file the EXIF operations read first: the header segments of
/// nearly every file fit (a file whose do not is read again, whole).
inline constexpr size_t kSourceHeaderBytes = size_t(256) << 10;

// ---- the same on segment lists, for rewriting only a file's headers -------

class TJpegFile;
enum class TEditResult { Done, Failed };
/// WriteExifInJpeg on a segment list (headers alone will do).
TEditResult WriteExifInSegments(TJpegFile& file, uint16_t tag, const std::string& text, std::time_t now);
/// CopyExifInJpeg from one segment list into another (headers alone will do).
bool CopyExifIntoSegments(const TJpegFile& from, TJpegFile& to, const TThumbnailCodec& codec);
/// A run's metadata step on a segment list: CopyExifIntoSegments from `from`
/// (when given), then WriteExifInSegments for each field, as the separate
/// file operations leave them one after the other. A step that fails leaves
/// the list exactly as it was before that step. True when any step succeeded.
bool ApplyExifInSegments(const TJpegFile* from, TJpegFile& to, const TThumbnailCodec& codec,
                         const tvx::TExifFieldText* fields, size_t count, std::time_t now);
/// The segments a JPEG would carry these blocks in (source side of a copy).
TJpegFile SegmentsOf(const TJpegMetadata& source);

/// Area-averaging reduction so the longer side is at most `longSide`.
TImage ScaleDownToFit(const TImage& image, int longSide);
/// Applies the inverse of an EXIF orientation (1-8), turning upright pixels
/// back into the stored orientation.
TImage UndoOrientation(const TImage& image, int orientation);

inline constexpr int kThumbnailSide = 160;
inline constexpr int kThumbnailQuality = 75;

}  // namespace kobalt
