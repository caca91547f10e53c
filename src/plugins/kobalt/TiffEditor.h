#pragma once

// Editing an EXIF block (its TIFF structure) in place. Everything the block
// holds stays at its offset, byte for byte: MakerNotes and the data their
// offsets point at (inside their counted bytes or not), private sub-IFDs,
// thumbnails, unknown tags. A changed directory is written back where it was
// when it did not grow, otherwise at the end of the block with its pointer
// moved; a changed value longer than four bytes goes to the end as well.
// Internal to the plug-ins; nothing here throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kobalt {

class TTiffEditor {
 public:
  enum TIfd { kIfd0 = 0, kIfd1, kExifIfd, kIfdCount };
  // TIFF field types used here.
  static constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kUndefined = 7;

  /// Takes a TIFF structure (byte-order mark first). False when the header or
  /// IFD 0 is unreadable; sub-directories that cannot be read are treated as
  /// absent (a new one is made if something must go there).
  bool Load(const uint8_t* tiff, size_t size);
  /// An empty structure: header and an IFD 0 without entries.
  void New(bool motorola);

  bool Motorola() const { return motorola_; }
  bool Has(TIfd ifd, uint16_t tag) const;
  /// The value of a SHORT or LONG entry; false when absent or of another type.
  bool GetNumber(TIfd ifd, uint16_t tag, uint32_t& value) const;
  /// The field type of an entry, 0 when absent.
  uint16_t TypeOf(TIfd ifd, uint16_t tag) const;
  /// Removes every entry of the tag from the directory.
  void Remove(TIfd ifd, uint16_t tag);
  /// Sets an entry; `value` holds count values of the type in the block's byte order.
  void Set(TIfd ifd, uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> value);
  void SetShort(TIfd ifd, uint16_t tag, uint16_t value);
  void SetLong(TIfd ifd, uint16_t tag, uint32_t value);
  /// ASCII with its terminating zero added.
  void SetAscii(TIfd ifd, uint16_t tag, const std::string& text);
  void SetUndefined(TIfd ifd, uint16_t tag, const std::string& bytes);

  /// The JPEG thumbnail IFD 1 points at, when it lies inside the block.
  bool Thumbnail(size_t& offset, size_t& length) const;
  /// Replaces the thumbnail's bytes (in place when the new one is not longer).
  void SetThumbnail(const std::vector<uint8_t>& jpeg);
  /// Unlinks IFD 1 (and with it the thumbnail).
  void DropThumbnail();

  /// The edited structure.
  std::vector<uint8_t> Save() const;

 private:
  struct TEntry {
    uint16_t Tag = 0, Type = 0;
    uint32_t Count = 0;
    uint8_t Field[4] = {};            // the value or offset field as stored
    std::vector<uint8_t> NewValue;    // set when the value changes
    bool Changed = false;
  };
  struct TDirectory {
    bool Present = false;
    bool Dirty = false;
    bool Created = false;  // made by the edit: nothing points at it yet
    size_t Offset = 0;
    size_t OriginalCount = 0;
    uint32_t Next = 0;
    std::vector<TEntry> Entries;
  };

  uint16_t U16(size_t at) const;
  uint32_t U32(size_t at) const;
  void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) const;
  void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) const;
  bool ReadDirectory(size_t offset, TDirectory& dir) const;
  TEntry* Find(TIfd ifd, uint16_t tag);
  const TEntry* Find(TIfd ifd, uint16_t tag) const;
  static size_t TypeSize(uint16_t type);
  TDirectory& Require(TIfd ifd);

  std::vector<uint8_t> bytes_;
  bool motorola_ = false;
  TDirectory dirs_[kIfdCount];
  bool thumbnailChanged_ = false;
  std::vector<uint8_t> thumbnail_;
};

}  // namespace kobalt
