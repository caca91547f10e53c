#include "ExifBlock.h"

#include <libexif/exif-data.h>
#include <libexif/exif-entry.h>
#include <libexif/exif-log.h>
#include <libexif/exif-mem.h>
#include <libexif/exif-utils.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "JpegFile.h"
#include "TiffEditor.h"

namespace kobalt {
namespace {

constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagExifVersion = 36864;
constexpr uint16_t kTagDateTimeOriginal = 36867;
constexpr uint16_t kTagUserComment = 37510;
constexpr uint16_t kTagFlashPixVersion = 40960;
constexpr uint16_t kTagPixelXDimension = 40962;
constexpr uint16_t kTagPixelYDimension = 40963;

constexpr ExifIfd kLookupOrder[] = {EXIF_IFD_0, EXIF_IFD_1, EXIF_IFD_EXIF, EXIF_IFD_GPS,
                                    EXIF_IFD_INTEROPERABILITY};

void SilentLog(ExifLog*, ExifLogCode, const char*, const char*, va_list, void*) {}

void RemoveAll(ExifContent* content, uint16_t tag) {
  while (ExifEntry* e = exif_content_get_entry(content, static_cast<ExifTag>(tag)))
    exif_content_remove_entry(content, e);
}

// Replaces every entry of the tag in the IFD by one holding the given bytes.
bool PutEntry(ExifContent* content, uint16_t tag, ExifFormat format, unsigned long components,
              const void* bytes, size_t size) {
  RemoveAll(content, tag);
  ExifEntry* entry = exif_entry_new();
  if (!entry) return false;
  bool ok = true;
  if (size > 0) {
    ExifMem* mem = exif_mem_new_default();
    entry->data = mem ? static_cast<unsigned char*>(exif_mem_alloc(mem, size)) : nullptr;
    if (mem) exif_mem_unref(mem);
    ok = entry->data != nullptr;
    if (ok) std::memcpy(entry->data, bytes, size);
  }
  if (ok) {
    entry->tag = static_cast<ExifTag>(tag);
    entry->format = format;
    entry->components = components;
    entry->size = static_cast<unsigned int>(size);
    exif_content_add_entry(content, entry);
  }
  exif_entry_unref(entry);
  return ok;
}

bool PutAscii(ExifContent* content, uint16_t tag, const std::string& text) {
  std::string bytes = text;
  bytes.push_back('\0');
  return PutEntry(content, tag, EXIF_FORMAT_ASCII, bytes.size(), bytes.data(), bytes.size());
}

bool PutUndefined(ExifContent* content, uint16_t tag, const std::string& bytes) {
  return PutEntry(content, tag, EXIF_FORMAT_UNDEFINED, bytes.size(), bytes.data(), bytes.size());
}

std::string LocalExifDateTime(std::time_t now) {
  std::tm local{};
  if (!localtime_r(&now, &local)) return "0000:00:00 00:00:00";
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
  return text;
}

// Entries whose values are offsets to data libexif does not carry (private
// sub-IFDs, strips of an uncompressed thumbnail) would point at garbage after
// the block is laid out anew; they go.
void DropDanglingOffsets(ExifData* data) {
  static const uint16_t kTags[] = {0x0111, 0x0117, 0x014A, 0x0201, 0x0202, 0x8290};
  for (ExifContent* content : data->ifd)
    if (content)
      for (uint16_t tag : kTags) RemoveAll(content, tag);
}

void DropThumbnail(ExifData* data) {
  if (data->data) {
    ExifMem* mem = exif_mem_new_default();
    if (mem) {
      exif_mem_free(mem, data->data);
      exif_mem_unref(mem);
    } else {
      std::free(data->data);
    }
  }
  data->data = nullptr;
  data->size = 0;
  // The thumbnail's own IFD means nothing without it.
  ExifContent* ifd1 = data->ifd[EXIF_IFD_1];
  while (ifd1 && ifd1->count > 0) exif_content_remove_entry(ifd1, ifd1->entries[0]);
}

bool IsXmp(const TJpegSegment& s) {
  return s.Marker == kMarkerApp1 &&
         (s.PayloadStartsWith(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29)) ||
          s.PayloadStartsWith(std::string_view("http://ns.adobe.com/xmp/extension/\0", 35)));
}
bool IsIcc(const TJpegSegment& s) {
  return s.Marker == kMarkerApp2 && s.PayloadStartsWith(std::string_view("ICC_PROFILE\0", 12));
}
bool IsIptc(const TJpegSegment& s) {
  return s.Marker == kMarkerApp13 && s.PayloadStartsWith(std::string_view("Photoshop 3.0\0", 14));
}

// An ICC profile is carried only when its colour space fits the destination's
// components; a CMYK profile on an RGB picture would falsify its colours.
bool IccFits(const TJpegFile& source, int destComponents) {
  for (const TJpegSegment& s : source.Segments()) {
    if (!IsIcc(s) || s.Payload.size() < 14 + 20 || s.Payload[12] != 1) continue;
    std::string_view space(reinterpret_cast<const char*>(s.Payload.data()) + 14 + 16, 4);
    switch (destComponents) {
      case 1: return space == "GRAY";
      case 3: return space == "RGB ";
      case 4: return space == "CMYK";
      default: return false;
    }
  }
  return false;
}

void CarryMetadata(const TJpegFile& source, TJpegFile& dest, size_t after) {
  using TKind = bool (*)(const TJpegSegment&);
  TKind kinds[] = {IsXmp, IsIcc, IsIptc};
  std::vector<const TJpegSegment*> carried;
  for (TKind kind : kinds) {
    bool destHas = std::any_of(dest.Segments().begin(), dest.Segments().end(), kind);
    if (destHas || (kind == IsIcc && !IccFits(source, dest.Components()))) continue;
    for (const TJpegSegment& s : source.Segments())
      if (kind(s)) carried.push_back(&s);
  }
  // Keep the source's own order among what is carried.
  std::sort(carried.begin(), carried.end());
  size_t at = after + 1;
  for (const TJpegSegment* s : carried) dest.Insert(at++, *s);
}

// Minimal TIFF walking over a serialised block ("Exif\0\0" + TIFF), used to
// keep MakerNotes whose offsets count from the TIFF header valid after
// libexif has laid the block out anew. Every read is bounds-checked.
struct TTiffView {
  const uint8_t* Base = nullptr;  // TIFF header
  size_t Size = 0;
  bool Motorola = false;

  bool Open(const std::vector<uint8_t>& payload) {
    if (payload.size() < 6 + 8) return false;
    Base = payload.data() + 6;
    Size = payload.size() - 6;
    if (Base[0] == 'M' && Base[1] == 'M') Motorola = true;
    else if (Base[0] != 'I' || Base[1] != 'I') return false;
    return true;
  }
  bool U16(size_t at, uint32_t& v) const {
    if (at > Size || Size - at < 2) return false;
    v = Motorola ? (Base[at] << 8) | Base[at + 1] : Base[at] | (Base[at + 1] << 8);
    return true;
  }
  bool U32(size_t at, uint32_t& v) const {
    if (at > Size || Size - at < 4) return false;
    v = Motorola ? (uint32_t(Base[at]) << 24) | (Base[at + 1] << 16) | (Base[at + 2] << 8) | Base[at + 3]
                 : Base[at] | (Base[at + 1] << 8) | (Base[at + 2] << 16) | (uint32_t(Base[at + 3]) << 24);
    return true;
  }
  // Finds an entry of a tag in the IFD at `ifd`; gives its entry position.
  bool FindEntry(uint32_t ifd, uint16_t tag, size_t& entry) const {
    uint32_t count = 0;
    if (!U16(ifd, count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t t = 0;
      size_t at = size_t(ifd) + 2 + 12 * size_t(i);
      if (!U16(at, t)) return false;
      if (t == tag) {
        entry = at;
        return true;
      }
    }
    return false;
  }
  // Offset and byte count of the MakerNote's data.
  bool MakerNote(uint32_t& offset, uint32_t& size) const {
    uint32_t ifd0 = 0, exifIfd = 0;
    size_t entry = 0;
    if (!U32(4, ifd0) || !FindEntry(ifd0, 0x8769, entry) || !U32(entry + 8, exifIfd) ||
        !FindEntry(exifIfd, 0x927C, entry) || !U32(entry + 4, size) || size <= 4 ||
        !U32(entry + 8, offset))
      return false;
    return offset <= Size && Size - offset >= size;
  }
};

size_t TiffTypeSize(uint32_t type) {
  static const uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < std::size(kSizes) ? kSizes[type] : 0;
}

// Where the IFD starts inside MakerNotes whose offsets count from the TIFF
// header (Canon and old Nikon have no header at all).
size_t MakerNoteIfdStart(const uint8_t* note, size_t size) {
  struct THeader { std::string_view Prefix; size_t Ifd; };
  static const THeader kHeaders[] = {
      {std::string_view("SONY DSC \0\0\0", 12), 12}, {std::string_view("SONY CAM \0\0\0", 12), 12},
      {std::string_view("Panasonic\0\0\0", 12), 12}, {std::string_view("Nikon\0\1\0", 8), 8},
      {std::string_view("OLYMP\0", 6), 8},
  };
  for (const THeader& h : kHeaders)
    if (size >= h.Prefix.size() && std::memcmp(note, h.Prefix.data(), h.Prefix.size()) == 0) return h.Ifd;
  return 0;
}

// libexif keeps the MakerNote's bytes but moves them; when every value
// offset of its IFD points inside the MakerNote as counted from the TIFF
// header, shift those offsets by the distance it moved.
void RelocateMakerNote(const std::vector<uint8_t>& before, std::vector<uint8_t>& after) {
  TTiffView from, to;
  uint32_t oldAt = 0, oldSize = 0, newAt = 0, newSize = 0;
  if (!from.Open(before) || !to.Open(after) || from.Motorola != to.Motorola ||
      !from.MakerNote(oldAt, oldSize) || !to.MakerNote(newAt, newSize) || oldSize != newSize ||
      oldAt == newAt || std::memcmp(from.Base + oldAt, to.Base + newAt, oldSize) != 0)
    return;
  size_t ifd = MakerNoteIfdStart(from.Base + oldAt, oldSize);
  uint32_t count = 0;
  if (!from.U16(oldAt + ifd, count) || count == 0 || count > 1000 ||
      ifd + 2 + 12 * size_t(count) > oldSize)
    return;
  std::vector<size_t> patches;
  bool insideAsRelative = true;
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = oldAt + ifd + 2 + 12 * size_t(i);
    uint32_t type = 0, n = 0, offset = 0;
    from.U16(entry + 2, type);
    from.U32(entry + 4, n);
    size_t bytes = TiffTypeSize(type) * size_t(n);
    if (TiffTypeSize(type) == 0) return;
    if (bytes <= 4) continue;
    from.U32(entry + 8, offset);
    if (offset < oldAt || size_t(offset) + bytes > size_t(oldAt) + oldSize) return;
    if (size_t(offset) + bytes > oldSize) insideAsRelative = false;
    patches.push_back(entry - oldAt);
  }
  // Offsets that also fit a MakerNote-relative reading are left alone.
  if (patches.empty() || insideAsRelative) return;
  uint8_t* base = after.data() + 6;
  auto put = [&to](uint8_t* p, uint32_t v) {
    if (to.Motorola) {
      p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
    } else {
      p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
    }
  };
  // Some MakerNotes end in a TIFF-like footer that records their position.
  uint32_t footer = 0;
  if (oldSize >= 8 && to.U32(newAt + oldSize - 4, footer) && footer == oldAt &&
      (std::memcmp(to.Base + newAt + oldSize - 8, "II*\0", 4) == 0 ||
       std::memcmp(to.Base + newAt + oldSize - 8, "MM\0*", 4) == 0))
    put(base + newAt + oldSize - 4, newAt);
  for (size_t at : patches) {
    uint32_t offset = 0;
    to.U32(newAt + at + 8, offset);
    offset = offset - oldAt + newAt;
    put(base + newAt + at + 8, offset);
  }
}

}  // namespace

void TExifDataDeleter::operator()(ExifData* data) const {
  if (data) exif_data_unref(data);
}

TExifDataPtr NewExifData() {
  TExifDataPtr data(exif_data_new());
  if (!data) return nullptr;
  if (ExifLog* log = exif_log_new()) {
    exif_log_set_func(log, SilentLog, nullptr);
    exif_data_log(data.get(), log);
    exif_log_unref(log);
  }
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_set_option(data.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
  return data;
}

TExifDataPtr LoadExifData(const uint8_t* payload, size_t size) {
  if (!payload || size < 6 || size > kMaxSegmentPayload) return nullptr;
  TExifDataPtr data = NewExifData();
  if (!data) return nullptr;
  exif_data_load_data(data.get(), payload, static_cast<unsigned int>(size));
  return data;
}

bool SaveExifData(ExifData* data, std::vector<uint8_t>& payload) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &bytes, &size);
    if (!bytes) return false;
    payload.assign(bytes, bytes + size);
    std::free(bytes);
    if (payload.size() <= kMaxSegmentPayload) return true;
    if (!data->data) return false;
    DropThumbnail(data);
  }
  return false;
}

std::string ReadTagText(ExifData* data, uint16_t tag) {
  if (!data) return {};
  for (ExifIfd ifd : kLookupOrder) {
    ExifEntry* e = exif_content_get_entry(data->ifd[ifd], static_cast<ExifTag>(tag));
    if (!e) continue;
    char text[1024] = {};
    exif_entry_get_value(e, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return text;
  }
  return {};
}

TExifDataPtr LoadExifFromFileBytes(const uint8_t* data, size_t size) {
  if (!data) return nullptr;
  if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0)
    return LoadExifData(data, std::min(size, kMaxSegmentPayload));
  TJpegFile file;
  file.Read(data, size);
  const std::vector<uint8_t>* payload = file.ExifPayload();
  return payload ? LoadExifData(payload->data(), payload->size()) : nullptr;
}

const std::vector<uint16_t>& ExifValueTags() {
  static const std::vector<uint16_t> kTags = {
      256,   257,   258,   259,   270,   271,   272,   274,   277,   282,   283,   296,   305,   306,
      315,   33432, 33434, 34850, 34855, 36867, 36868, 37122, 37377, 37378, 37379, 37380, 37382, 37385,
      37386, 37500, 37510, 40961, 40962, 40963, 41729, 41986, 41987, 41988, 41989, 41995, 42016,
      33437,  // FNumber: the f-number of pictures without an ApertureValue
      42036,  // LensModel
  };
  return kTags;
}

std::map<uint16_t, std::string> ReadExifValues(const uint8_t* data, size_t size) {
  std::map<uint16_t, std::string> values;
  TExifDataPtr exif = LoadExifFromFileBytes(data, size);
  if (!exif) return values;
  for (uint16_t tag : ExifValueTags()) {
    std::string text = ReadTagText(exif.get(), tag);
    if (!text.empty()) values.emplace(tag, std::move(text));
  }
  return values;
}

// The block laid out anew by libexif: only for a block that the in-place
// edit would grow past what one APP1 segment holds (libexif drops the
// thumbnail to make it fit).
// The block laid out anew by libexif, as a payload with its "Exif\0\0"
// header: only for what the in-place edit cannot do (a block that would
// outgrow its segment, or one so damaged that libexif reads it differently).
// SaveExifData drops the thumbnail when the block would not fit a segment.
static bool RelayoutExifTag(const std::vector<uint8_t>* payload, uint16_t tag, const std::string& text,
                            std::time_t now, std::vector<uint8_t>& block) {
  TExifDataPtr data = payload ? LoadExifData(payload->data(), payload->size()) : NewExifData();
  if (!data) return false;
  DropDanglingOffsets(data.get());

  ExifContent* exif = data->ifd[EXIF_IFD_EXIF];
  bool ok = true;
  if (!exif_content_get_entry(exif, EXIF_TAG_EXIF_VERSION))
    ok = ok && PutUndefined(exif, kTagExifVersion, "0210");
  if (!exif_content_get_entry(exif, EXIF_TAG_FLASH_PIX_VERSION))
    ok = ok && PutUndefined(exif, kTagFlashPixVersion, "0100");
  if (!exif_content_get_entry(exif, EXIF_TAG_DATE_TIME_ORIGINAL))
    ok = ok && PutAscii(exif, kTagDateTimeOriginal, LocalExifDateTime(now));

  // A misplaced copy in IFD 0 or 1 is looked up first and would hide the
  // value written to its proper place.
  if (tag == kTagUserComment) {
    RemoveAll(data->ifd[EXIF_IFD_0], tag);
    RemoveAll(data->ifd[EXIF_IFD_1], tag);
    std::string comment("ASCII\0\0\0", 8);
    comment += text;
    comment.push_back('\0');
    ok = ok && PutUndefined(exif, tag, comment);
  } else {
    ok = ok && PutAscii(data->ifd[EXIF_IFD_0], tag, text);
  }
  if (!ok || !SaveExifData(data.get(), block)) return false;
  if (payload) RelocateMakerNote(*payload, block);
  return true;
}

// True when libexif, which reads the tags back (GetExif, the macros), finds
// the text just written as the tag's value.
static bool ReadsBack(const std::vector<uint8_t>& payload, uint16_t tag, const std::string& text) {
  TExifDataPtr data = LoadExifData(payload.data(), payload.size());
  std::string value = data ? ReadTagText(data.get(), tag) : std::string();
  // The rendering holds at most 1023 characters.
  return value.rfind(text.substr(0, std::min<size_t>(text.size(), 1000)), 0) == 0;
}

static void EditTagInPlace(const std::vector<uint8_t>* tiff, uint16_t tag, const std::string& text, std::time_t now,
                           std::vector<uint8_t>& out);

bool SetExifTagInTiff(const std::vector<uint8_t>* tiff, uint16_t tag, const std::string& text, std::time_t now,
                      std::vector<uint8_t>& out, size_t maxSize) {
  std::vector<uint8_t> edited;
  EditTagInPlace(tiff, tag, text, now, edited);
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), edited.begin(), edited.end());
  // The in-place edit keeps everything; when the result would be too large,
  // or libexif reads a damaged block differently (and would not find the
  // value written), the block is laid out anew instead.
  if (edited.size() > maxSize || !ReadsBack(block, tag, text)) {
    std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    if (tiff) payload.insert(payload.end(), tiff->begin(), tiff->end());
    block.clear();
    if (!RelayoutExifTag(tiff ? &payload : nullptr, tag, text, now, block) || block.size() < 6 ||
        block.size() - 6 > maxSize)
      return false;
  }
  out.assign(block.begin() + 6, block.end());
  return true;
}

// The in-place part of SetExifTagInTiff.
static void EditTagInPlace(const std::vector<uint8_t>* tiff, uint16_t tag, const std::string& text, std::time_t now,
                           std::vector<uint8_t>& out) {
  TTiffEditor editor;
  // An unreadable block is replaced by a new one, as libexif would.
  if (!tiff || !editor.Load(tiff->data(), tiff->size())) editor.New(true);
  using E = TTiffEditor;
  if (!editor.Has(E::kExifIfd, kTagExifVersion)) editor.SetUndefined(E::kExifIfd, kTagExifVersion, "0210");
  if (!editor.Has(E::kExifIfd, kTagFlashPixVersion)) editor.SetUndefined(E::kExifIfd, kTagFlashPixVersion, "0100");
  if (!editor.Has(E::kExifIfd, kTagDateTimeOriginal))
    editor.SetAscii(E::kExifIfd, kTagDateTimeOriginal, LocalExifDateTime(now));
  if (tag == kTagUserComment) {
    // A misplaced copy in IFD 0 or 1 is looked up first and would hide the
    // value written to its proper place.
    editor.Remove(E::kIfd0, tag);
    editor.Remove(E::kIfd1, tag);
    std::string comment("ASCII\0\0\0", 8);
    comment += text;
    comment.push_back('\0');
    editor.SetUndefined(E::kExifIfd, tag, comment);
  } else {
    editor.SetAscii(E::kIfd0, tag, text);
  }
  out = editor.Save();
}

TEditResult WriteExifInSegments(TJpegFile& file, uint16_t tag, const std::string& text, std::time_t now) {
  const std::vector<uint8_t>* payload = file.ExifPayload();
  std::vector<uint8_t> tiff, edited;
  if (payload) tiff.assign(payload->begin() + 6, payload->end());
  if (!SetExifTagInTiff(payload ? &tiff : nullptr, tag, text, now, edited, kMaxSegmentPayload - 6))
    return TEditResult::Failed;
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), edited.begin(), edited.end());
  return file.SetExif(std::move(block)) < 0 ? TEditResult::Failed : TEditResult::Done;
}

bool WriteExifInJpeg(const std::vector<uint8_t>& jpeg, uint16_t tag, const std::string& text,
                     std::time_t now, std::vector<uint8_t>& out) {
  TJpegFile file;
  if (!file.Read(jpeg.data(), jpeg.size())) return false;
  if (WriteExifInSegments(file, tag, text, now) != TEditResult::Done) return false;
  std::vector<uint8_t> result = file.Write();
  if (result.empty()) return false;
  out = std::move(result);
  return true;
}

bool AdaptExifForCopy(const std::vector<uint8_t>& tiff, int destOrientation, int storedWidth, int storedHeight,
                      const TThumbnailCodec& codec, size_t maxSize, std::vector<uint8_t>& out) {
  TTiffEditor editor;
  if (!editor.Load(tiff.data(), tiff.size())) return false;
  using E = TTiffEditor;
  if (editor.Has(E::kIfd0, kTagOrientation) || destOrientation != 1)
    editor.SetShort(E::kIfd0, kTagOrientation, static_cast<uint16_t>(destOrientation));
  if (storedWidth > 0 && storedHeight > 0) {
    for (auto [tag, value] : {std::pair{kTagPixelXDimension, storedWidth}, std::pair{kTagPixelYDimension, storedHeight}}) {
      uint32_t old = 0;
      if (!editor.GetNumber(E::kExifIfd, tag, old) || old == uint32_t(value)) continue;
      // The width the entry already has (SHORT or LONG) when the value fits it.
      if (editor.TypeOf(E::kExifIfd, tag) == E::kShort && value <= 0xFFFF)
        editor.SetShort(E::kExifIfd, tag, uint16_t(value));
      else
        editor.SetLong(E::kExifIfd, tag, uint32_t(value));
    }
  }
  size_t offset = 0, length = 0;
  if (editor.Thumbnail(offset, length)) {
    TImage picture;
    std::vector<uint8_t> jpeg;
    bool ok = codec.DecodeDestination && codec.EncodeJpeg && codec.DecodeDestination(picture) &&
              picture.Width > 0 && picture.Height > 0 &&
              picture.Pixels.size() == size_t(picture.Width) * size_t(picture.Height);
    if (ok) {
      // Thumbnails are stored like the main picture, before orientation.
      TImage thumb = UndoOrientation(ScaleDownToFit(picture, kThumbnailSide), destOrientation);
      ok = codec.EncodeJpeg(thumb.Pixels.data(), thumb.Width, thumb.Height, kThumbnailQuality, jpeg) &&
           !jpeg.empty() && jpeg.size() < kMaxSegmentPayload;
    }
    if (ok) editor.SetThumbnail(jpeg);
    else editor.DropThumbnail();
  }
  out = editor.Save();
  if (out.size() > maxSize) {
    editor.DropThumbnail();
    out = editor.Save();
  }
  return out.size() <= maxSize;
}

namespace {

// Copies the EXIF block of `from` (a segment list read from a file, or made
// from blocks) into the destination JPEG, with the XMP, ICC and IPTC
// segments the destination lacks.
bool CopyFromSegments(const TJpegFile& from, const std::vector<uint8_t>& dest, const TThumbnailCodec& codec,
                      std::vector<uint8_t>& out) {
  TJpegFile to;
  if (!to.Read(dest.data(), dest.size()) || !CopyExifIntoSegments(from, to, codec)) return false;
  std::vector<uint8_t> result = to.Write();
  if (result.empty()) return false;
  out = std::move(result);
  return true;
}

}  // namespace

bool CopyExifIntoSegments(const TJpegFile& from, TJpegFile& to, const TThumbnailCodec& codec) {
  const std::vector<uint8_t>* payload = from.ExifPayload();
  if (!payload || payload->size() < 6 + 8) return false;
  std::vector<uint8_t> tiff(payload->begin() + 6, payload->end());

  // The destination's pixels are shown with its own orientation (1 when it
  // has no EXIF, as for a picture encoded from upright pixels).
  int destOrientation = 1;
  if (const std::vector<uint8_t>* own = to.ExifPayload())
    if (own->size() > 6) destOrientation = TiffStructureOrientation(own->data() + 6, own->size() - 6);
  int width = 0, height = 0;
  if (!to.FrameSize(width, height)) width = height = 0;
  std::vector<uint8_t> adapted;
  if (!AdaptExifForCopy(tiff, destOrientation, width, height, codec, kMaxSegmentPayload - 6, adapted)) return false;
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), adapted.begin(), adapted.end());
  int index = to.SetExif(std::move(block));
  if (index < 0) return false;
  CarryMetadata(from, to, static_cast<size_t>(index));
  return true;
}

bool ApplyExifInSegments(const TJpegFile* from, TJpegFile& to, const TThumbnailCodec& codec,
                         const tvx::TExifFieldText* fields, size_t count, std::time_t now) {
  bool changed = false;
  // Each step works on a copy, so one that gives up partway cannot hand a
  // half-made change to the next: each separate call starts from the file
  // as the last successful one left it.
  auto step = [&](const auto& edit) {
    TJpegFile trial = to;
    if (!edit(trial)) return;
    to = std::move(trial);
    changed = true;
  };
  if (from) step([&](TJpegFile& file) { return CopyExifIntoSegments(*from, file, codec); });
  for (size_t i = 0; i < count; ++i)
    step([&](TJpegFile& file) {
      return WriteExifInSegments(file, fields[i].Tag, fields[i].Text, now) == TEditResult::Done;
    });
  return changed;
}

namespace {

constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";  // and a zero byte
constexpr size_t kIccChunk = kMaxSegmentPayload - 14;

}  // namespace

bool CopyExifInJpeg(const std::vector<uint8_t>& source, const std::vector<uint8_t>& dest,
                    const TThumbnailCodec& codec, std::vector<uint8_t>& out) {
  TJpegFile from;
  if (!from.ReadHeaders(source.data(), source.size())) return false;
  return CopyFromSegments(from, dest, codec, out);
}

bool ReadJpegMetadata(const std::vector<uint8_t>& jpeg, TJpegMetadata& metadata) {
  metadata = {};
  TJpegFile file;
  if (!file.ReadHeaders(jpeg.data(), jpeg.size())) return false;
  if (const std::vector<uint8_t>* payload = file.ExifPayload())
    if (payload->size() > 6) metadata.Exif.assign(payload->begin() + 6, payload->end());
  // The ICC profile's chunks in their sequence order; a broken sequence gives none.
  std::map<int, const TJpegSegment*> chunks;
  int total = 0;
  for (const TJpegSegment& s : file.Segments()) {
    if (IsIcc(s) && s.Payload.size() >= 14) {
      chunks[s.Payload[12]] = &s;
      total = s.Payload[13];
    } else if (IsXmp(s) && metadata.Xmp.empty() && s.PayloadStartsWith(std::string_view(kXmpSignature, 29))) {
      metadata.Xmp.assign(s.Payload.begin() + 29, s.Payload.end());
    }
  }
  if (total > 0 && int(chunks.size()) == total && chunks.begin()->first == 1 && chunks.rbegin()->first == total)
    for (auto& [index, s] : chunks) metadata.Icc.insert(metadata.Icc.end(), s->Payload.begin() + 14, s->Payload.end());
  return true;
}

TJpegFile SegmentsOf(const TJpegMetadata& source) {
  TJpegFile from;
  auto& segments = from.Segments();
  TJpegSegment exif{kMarkerApp1, 0, {'E', 'x', 'i', 'f', 0, 0}};
  exif.Payload.insert(exif.Payload.end(), source.Exif.begin(), source.Exif.end());
  segments.push_back(std::move(exif));
  if (!source.Xmp.empty() && source.Xmp.size() + 29 <= kMaxSegmentPayload) {
    TJpegSegment xmp{kMarkerApp1, 0, {}};
    xmp.Payload.assign(kXmpSignature, kXmpSignature + 29);
    xmp.Payload.insert(xmp.Payload.end(), source.Xmp.begin(), source.Xmp.end());
    segments.push_back(std::move(xmp));
  }
  size_t chunks = (source.Icc.size() + kIccChunk - 1) / kIccChunk;
  if (chunks > 0 && chunks <= 255) {
    for (size_t i = 0; i < chunks; ++i) {
      TJpegSegment icc{kMarkerApp2, 0, {}};
      const char header[] = "ICC_PROFILE";
      icc.Payload.assign(header, header + 12);
      icc.Payload.push_back(uint8_t(i + 1));
      icc.Payload.push_back(uint8_t(chunks));
      auto begin = source.Icc.begin() + static_cast<std::ptrdiff_t>(i * kIccChunk);
      auto end = source.Icc.begin() + static_cast<std::ptrdiff_t>(std::min(source.Icc.size(), (i + 1) * kIccChunk));
      icc.Payload.insert(icc.Payload.end(), begin, end);
      segments.push_back(std::move(icc));
    }
  }
  return from;
}

bool CopyMetadataIntoJpeg(const TJpegMetadata& source, const std::vector<uint8_t>& dest,
                          const TThumbnailCodec& codec, std::vector<uint8_t>& out) {
  if (source.Exif.empty()) return false;
  return CopyFromSegments(SegmentsOf(source), dest, codec, out);
}

TImage ScaleDownToFit(const TImage& image, int longSide) {
  int w = image.Width, h = image.Height;
  if (w <= 0 || h <= 0 || longSide <= 0) return {};
  if (w <= longSide && h <= longSide) return image;
  int dw, dh;
  if (w >= h) {
    dw = longSide;
    dh = std::max(1, static_cast<int>((int64_t(h) * longSide + w / 2) / w));
  } else {
    dh = longSide;
    dw = std::max(1, static_cast<int>((int64_t(w) * longSide + h / 2) / h));
  }

  // Each output sample averages the source samples its footprint covers,
  // partial ones weighted by coverage; one pass per axis.
  struct TTap { int Index; float Weight; };
  auto taps = [](int from, int to) {
    std::vector<std::vector<TTap>> result(static_cast<size_t>(to));
    double scale = double(from) / to;
    for (int i = 0; i < to; ++i) {
      double lo = i * scale, hi = (i + 1) * scale;
      for (int s = static_cast<int>(lo); s < from && s < hi; ++s) {
        double cover = std::min<double>(s + 1, hi) - std::max<double>(s, lo);
        if (cover > 0) result[size_t(i)].push_back({s, static_cast<float>(cover / scale)});
      }
    }
    return result;
  };
  auto xTaps = taps(w, dw), yTaps = taps(h, dh);

  std::vector<float> rows(size_t(dw) * h * 4);
  for (int y = 0; y < h; ++y) {
    const uint32_t* src = image.Pixels.data() + size_t(y) * w;
    float* dst = rows.data() + size_t(y) * dw * 4;
    for (int x = 0; x < dw; ++x) {
      float acc[4] = {};
      for (const TTap& t : xTaps[size_t(x)]) {
        uint32_t p = src[t.Index];
        for (int c = 0; c < 4; ++c) acc[c] += t.Weight * float((p >> (8 * c)) & 0xFF);
      }
      std::copy(acc, acc + 4, dst + size_t(x) * 4);
    }
  }
  TImage out;
  out.Width = dw;
  out.Height = dh;
  out.Pixels.resize(size_t(dw) * dh);
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      float acc[4] = {};
      for (const TTap& t : yTaps[size_t(y)]) {
        const float* p = rows.data() + (size_t(t.Index) * dw + x) * 4;
        for (int c = 0; c < 4; ++c) acc[c] += t.Weight * p[c];
      }
      uint32_t pixel = 0;
      for (int c = 0; c < 4; ++c)
        pixel |= uint32_t(std::clamp(static_cast<int>(acc[c] + 0.5f), 0, 255)) << (8 * c);
      out.Pixels[size_t(y) * dw + x] = pixel;
    }
  return out;
}

TImage UndoOrientation(const TImage& image, int orientation) {
  // Orientations 6 and 8 undo each other; every other one undoes itself.
  int undo = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
  if (undo < 2 || undo > 8 || image.Width <= 0 || image.Height <= 0) return image;
  int w = image.Width, h = image.Height;
  bool swap = undo >= 5;
  TImage out;
  out.Width = swap ? h : w;
  out.Height = swap ? w : h;
  out.Pixels.resize(image.Pixels.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int dx = x, dy = y;
      switch (undo) {
        case 2: dx = w - 1 - x; break;
        case 3: dx = w - 1 - x; dy = h - 1 - y; break;
        case 4: dy = h - 1 - y; break;
        case 5: dx = y; dy = x; break;
        case 6: dx = h - 1 - y; dy = x; break;
        case 7: dx = h - 1 - y; dy = w - 1 - x; break;
        case 8: dx = y; dy = w - 1 - x; break;
      }
      out.Pixels[size_t(dy) * out.Width + dx] = image.Pixels[size_t(y) * w + x];
    }
  return out;
}

}  // namespace kobalt
