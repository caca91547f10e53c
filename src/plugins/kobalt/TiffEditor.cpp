#include "TiffEditor.h"

#include <algorithm>
#include <cstring>

namespace kobalt {
namespace {

constexpr uint16_t kTagExifPointer = 0x8769;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
// More entries than any real directory holds; a count above it is garbage.
constexpr uint32_t kMaxEntries = 1000;

}  // namespace

size_t TTiffEditor::TypeSize(uint16_t type) {
  static const uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < std::size(kSizes) ? kSizes[type] : 0;
}

uint16_t TTiffEditor::U16(size_t at) const {
  if (at > bytes_.size() || bytes_.size() - at < 2) return 0;
  const uint8_t* p = bytes_.data() + at;
  return motorola_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[0] | p[1] << 8);
}

uint32_t TTiffEditor::U32(size_t at) const {
  if (at > bytes_.size() || bytes_.size() - at < 4) return 0;
  const uint8_t* p = bytes_.data() + at;
  return motorola_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                   : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

void TTiffEditor::Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) const {
  out[at] = uint8_t(motorola_ ? v >> 8 : v);
  out[at + 1] = uint8_t(motorola_ ? v : v >> 8);
}

void TTiffEditor::Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) const {
  for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (motorola_ ? 24 - 8 * i : 8 * i));
}

bool TTiffEditor::ReadDirectory(size_t offset, TDirectory& dir) const {
  dir = TDirectory();
  if (offset < 8 || offset > bytes_.size() || bytes_.size() - offset < 2) return false;
  uint32_t count = U16(offset);
  if (count > kMaxEntries || (bytes_.size() - offset - 2) / 12 < count) return false;
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = offset + 2 + 12 * size_t(i);
    TEntry e;
    e.Tag = U16(at);
    e.Type = U16(at + 2);
    e.Count = U32(at + 4);
    std::memcpy(e.Field, bytes_.data() + at + 8, 4);
    dir.Entries.push_back(e);
  }
  size_t next = offset + 2 + 12 * size_t(count);
  // A directory that ends right at the block's end without its next pointer is still read.
  dir.Next = bytes_.size() - next >= 4 ? U32(next) : 0;
  dir.Present = true;
  dir.Offset = offset;
  dir.OriginalCount = count;
  return true;
}

bool TTiffEditor::Load(const uint8_t* tiff, size_t size) {
  bytes_.assign(tiff, tiff + size);
  for (TDirectory& d : dirs_) d = TDirectory();
  thumbnailChanged_ = false;
  if (size < 8) return false;
  if (tiff[0] == 'M' && tiff[1] == 'M') motorola_ = true;
  else if (tiff[0] == 'I' && tiff[1] == 'I') motorola_ = false;
  else return false;
  if (U16(2) != 42) return false;
  if (!ReadDirectory(U32(4), dirs_[kIfd0])) return false;
  uint32_t exif = 0;
  if (GetNumber(kIfd0, kTagExifPointer, exif) && exif != U32(4)) ReadDirectory(exif, dirs_[kExifIfd]);
  uint32_t next = dirs_[kIfd0].Next;
  if (next && next != U32(4) && next != exif) ReadDirectory(next, dirs_[kIfd1]);
  return true;
}

void TTiffEditor::New(bool motorola) {
  motorola_ = motorola;
  bytes_.assign(8, 0);
  bytes_[0] = bytes_[1] = motorola ? 'M' : 'I';
  Put16(bytes_, 2, 42);
  Put32(bytes_, 4, 8);
  for (TDirectory& d : dirs_) d = TDirectory();
  dirs_[kIfd0].Dirty = true;  // written at the end
  dirs_[kIfd0].Created = true;
  thumbnailChanged_ = false;
}

const TTiffEditor::TEntry* TTiffEditor::Find(TIfd ifd, uint16_t tag) const {
  const TDirectory& d = dirs_[ifd];
  if (ifd != kIfd0 && !d.Present) return nullptr;
  for (const TEntry& e : d.Entries)
    if (e.Tag == tag) return &e;
  return nullptr;
}

TTiffEditor::TEntry* TTiffEditor::Find(TIfd ifd, uint16_t tag) {
  return const_cast<TEntry*>(static_cast<const TTiffEditor*>(this)->Find(ifd, tag));
}

bool TTiffEditor::Has(TIfd ifd, uint16_t tag) const { return Find(ifd, tag) != nullptr; }

uint16_t TTiffEditor::TypeOf(TIfd ifd, uint16_t tag) const {
  const TEntry* e = Find(ifd, tag);
  return e ? e->Type : 0;
}

bool TTiffEditor::GetNumber(TIfd ifd, uint16_t tag, uint32_t& value) const {
  const TEntry* e = Find(ifd, tag);
  if (!e || e->Count < 1 || (e->Type != kShort && e->Type != kLong)) return false;
  if (e->Changed) {
    const std::vector<uint8_t>& v = e->NewValue;
    if (v.size() < TypeSize(e->Type)) return false;
    if (e->Type == kShort) value = motorola_ ? uint32_t(v[0] << 8 | v[1]) : uint32_t(v[0] | v[1] << 8);
    else value = motorola_ ? uint32_t(v[0]) << 24 | uint32_t(v[1]) << 16 | uint32_t(v[2]) << 8 | v[3]
                           : uint32_t(v[3]) << 24 | uint32_t(v[2]) << 16 | uint32_t(v[1]) << 8 | v[0];
    return true;
  }
  const uint8_t* f = e->Field;
  if (e->Type == kShort) value = motorola_ ? uint32_t(f[0] << 8 | f[1]) : uint32_t(f[0] | f[1] << 8);
  else value = motorola_ ? uint32_t(f[0]) << 24 | uint32_t(f[1]) << 16 | uint32_t(f[2]) << 8 | f[3]
                         : uint32_t(f[3]) << 24 | uint32_t(f[2]) << 16 | uint32_t(f[1]) << 8 | f[0];
  return true;
}

TTiffEditor::TDirectory& TTiffEditor::Require(TIfd ifd) {
  TDirectory& d = dirs_[ifd];
  if (!d.Present && ifd != kIfd0) {
    d = TDirectory();
    d.Present = true;
    d.Dirty = true;
    d.Created = true;
    d.OriginalCount = 0;  // new: always written at the end
    if (ifd == kExifIfd && !Has(kIfd0, kTagExifPointer)) SetLong(kIfd0, kTagExifPointer, 0);
  }
  return d;
}

void TTiffEditor::Remove(TIfd ifd, uint16_t tag) {
  TDirectory& d = dirs_[ifd];
  if (ifd != kIfd0 && !d.Present) return;
  size_t before = d.Entries.size();
  std::erase_if(d.Entries, [tag](const TEntry& e) { return e.Tag == tag; });
  if (d.Entries.size() != before) d.Dirty = true;
}

void TTiffEditor::Set(TIfd ifd, uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> value) {
  TDirectory& d = Require(ifd);
  d.Dirty = true;
  // One entry per tag: duplicates go.
  TEntry* e = nullptr;
  for (size_t i = 0; i < d.Entries.size();) {
    if (d.Entries[i].Tag != tag) {
      ++i;
    } else if (!e) {
      e = &d.Entries[i++];
    } else {
      d.Entries.erase(d.Entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  if (!e) {
    TEntry fresh;
    fresh.Tag = tag;
    auto at = std::lower_bound(d.Entries.begin(), d.Entries.end(), tag,
                               [](const TEntry& x, uint16_t t) { return x.Tag < t; });
    e = &*d.Entries.insert(at, fresh);
  }
  e->Type = type;
  e->Count = count;
  e->NewValue = std::move(value);
  e->Changed = true;
}

void TTiffEditor::SetShort(TIfd ifd, uint16_t tag, uint16_t value) {
  std::vector<uint8_t> v(2);
  Put16(v, 0, value);
  Set(ifd, tag, kShort, 1, std::move(v));
}

void TTiffEditor::SetLong(TIfd ifd, uint16_t tag, uint32_t value) {
  std::vector<uint8_t> v(4);
  Put32(v, 0, value);
  Set(ifd, tag, kLong, 1, std::move(v));
}

void TTiffEditor::SetAscii(TIfd ifd, uint16_t tag, const std::string& text) {
  std::vector<uint8_t> v(text.begin(), text.end());
  v.push_back(0);
  uint32_t count = uint32_t(v.size());
  Set(ifd, tag, kAscii, count, std::move(v));
}

void TTiffEditor::SetUndefined(TIfd ifd, uint16_t tag, const std::string& bytes) {
  Set(ifd, tag, kUndefined, uint32_t(bytes.size()), std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

bool TTiffEditor::Thumbnail(size_t& offset, size_t& length) const {
  uint32_t at = 0, n = 0;
  if (!dirs_[kIfd1].Present || !GetNumber(kIfd1, kTagThumbnailOffset, at) ||
      !GetNumber(kIfd1, kTagThumbnailLength, n) || n == 0 || at > bytes_.size() || bytes_.size() - at < n)
    return false;
  offset = at;
  length = n;
  return true;
}

void TTiffEditor::SetThumbnail(const std::vector<uint8_t>& jpeg) {
  if (!dirs_[kIfd1].Present) return;
  thumbnail_ = jpeg;
  thumbnailChanged_ = true;
  dirs_[kIfd1].Dirty = true;
}

void TTiffEditor::DropThumbnail() {
  if (!dirs_[kIfd1].Present) return;
  dirs_[kIfd1] = TDirectory();
  dirs_[kIfd0].Next = 0;
  dirs_[kIfd0].Dirty = true;
  thumbnailChanged_ = false;
}

std::vector<uint8_t> TTiffEditor::Save() const {
  std::vector<uint8_t> out = bytes_;
  TDirectory dirs[kIfdCount] = {dirs_[0], dirs_[1], dirs_[2]};
  auto append = [&out](const uint8_t* data, size_t n) {
    if (out.size() & 1) out.push_back(0);  // offsets stay on word boundaries
    size_t at = out.size();
    if (data) out.insert(out.end(), data, data + n);
    else out.resize(out.size() + n, 0);
    return at;
  };
  auto setField = [this](TEntry& e, uint32_t v) {
    std::vector<uint8_t> f(4);
    Put32(f, 0, v);
    std::memcpy(e.Field, f.data(), 4);
  };
  auto entry = [](TDirectory& d, uint16_t tag) -> TEntry* {
    for (TEntry& e : d.Entries)
      if (e.Tag == tag) return &e;
    return nullptr;
  };

  if (thumbnailChanged_) {
    size_t oldAt = 0, oldLength = 0;
    bool old = Thumbnail(oldAt, oldLength);
    size_t at;
    if (old && thumbnail_.size() <= oldLength) {
      at = oldAt;
      std::copy(thumbnail_.begin(), thumbnail_.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
      std::fill(out.begin() + static_cast<std::ptrdiff_t>(at + thumbnail_.size()),
                out.begin() + static_cast<std::ptrdiff_t>(at + oldLength), 0);
    } else {
      at = append(thumbnail_.data(), thumbnail_.size());
    }
    TDirectory& d = dirs[kIfd1];
    for (uint16_t tag : {kTagThumbnailOffset, kTagThumbnailLength}) {
      TEntry* e = entry(d, tag);
      if (!e) continue;
      e->Type = kLong;
      e->Count = 1;
      e->Changed = false;
      setField(*e, tag == kTagThumbnailOffset ? uint32_t(at) : uint32_t(thumbnail_.size()));
    }
  }

  // Values first. A changed value longer than four bytes goes to the end:
  // its old place may be shared with something a MakerNote points at.
  auto placeValues = [&](TDirectory& d) {
    for (TEntry& e : d.Entries) {
      if (!e.Changed) continue;
      std::vector<uint8_t> v = e.NewValue;
      if (v.size() <= 4) {
        v.resize(4, 0);
        std::memcpy(e.Field, v.data(), 4);
      } else {
        setField(e, uint32_t(append(v.data(), v.size())));
      }
      e.Changed = false;
    }
  };
  auto directoryBytes = [](const TDirectory& d) { return 2 + 12 * d.Entries.size() + 4; };
  auto position = [&](TDirectory& d) {
    if (d.Present && d.OriginalCount > 0 && d.Entries.size() <= d.OriginalCount) return;  // stays in place
    d.Offset = append(nullptr, directoryBytes(d));
    d.OriginalCount = d.Entries.size();
  };
  auto write = [&](const TDirectory& d, size_t originalCount) {
    size_t at = d.Offset;
    Put16(out, at, uint16_t(d.Entries.size()));
    at += 2;
    for (const TEntry& e : d.Entries) {
      Put16(out, at, e.Tag);
      Put16(out, at + 2, e.Type);
      Put32(out, at + 4, e.Count);
      std::memcpy(out.data() + at + 8, e.Field, 4);
      at += 12;
    }
    // A directory that shrank leaves zeros where its last entries were.
    size_t freed = originalCount > d.Entries.size() ? 12 * (originalCount - d.Entries.size()) : 0;
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(at), out.begin() + static_cast<std::ptrdiff_t>(at + freed), 0);
    Put32(out, at + freed, d.Next);
  };

  // Place every changed directory, then point everything that pointed at a
  // moved one at its new place: the header, IFD 0's links, and any other
  // directory pointer of the three (a broken file may loop back to IFD 0;
  // it stays the same shape).
  size_t oldOffset[kIfdCount], oldCount[kIfdCount];
  for (int i = 0; i < kIfdCount; ++i) {
    TDirectory& d = dirs[i];
    oldOffset[i] = d.Present ? d.Offset : 0;
    oldCount[i] = d.Present ? d.OriginalCount : 0;
    if (!d.Dirty || (i != kIfd0 && !d.Present)) continue;
    placeValues(d);
    position(d);
  }
  const bool newIfd0 = dirs_[kIfd0].Created;
  for (int i = 0; i < kIfdCount; ++i) {
    if (!dirs[i].Dirty || (i != kIfd0 && !dirs[i].Present)) continue;
    if (dirs[i].Offset == oldOffset[i] && !dirs[i].Created) continue;
    if (dirs[i].Created) oldOffset[i] = 0;  // nothing pointed at it
    const uint32_t from = uint32_t(oldOffset[i]), to = uint32_t(dirs[i].Offset);
    for (TDirectory& d : dirs) {
      if (!d.Present && &d != &dirs[kIfd0]) continue;
      for (TEntry& e : d.Entries) {
        bool pointer = e.Tag == kTagExifPointer || e.Tag == 0x8825 || e.Tag == 0xA005 || e.Tag == 0x014A;
        uint32_t value = 0;
        bool matches = false;
        if (pointer && e.Count == 1 && (e.Type == kLong || e.Type == 13)) {
          std::vector<uint8_t> f(e.Field, e.Field + 4);
          value = motorola_ ? uint32_t(f[0]) << 24 | uint32_t(f[1]) << 16 | uint32_t(f[2]) << 8 | f[3]
                            : uint32_t(f[3]) << 24 | uint32_t(f[2]) << 16 | uint32_t(f[1]) << 8 | f[0];
          matches = value == from && oldOffset[i] != 0;
        }
        // A new EXIF IFD's pointer was made without a value.
        if (i == kExifIfd && e.Tag == kTagExifPointer && &d == &dirs[kIfd0] && dirs[kExifIfd].Created) matches = true;
        if (matches) {
          setField(e, to);
          d.Dirty = true;
        }
      }
      if (oldOffset[i] != 0 && d.Next == from) {
        d.Next = to;
        d.Dirty = true;
      }
    }
    if (i == kIfd1 && dirs[kIfd1].Created) {
      dirs[kIfd0].Next = to;
      dirs[kIfd0].Dirty = true;
    }
  }
  for (int i = 0; i < kIfdCount; ++i) {
    TDirectory& d = dirs[i];
    if (!d.Dirty || (i != kIfd0 && !d.Present)) continue;
    // A directory rewritten where it was clears what it no longer uses.
    write(d, d.Offset == oldOffset[i] ? oldCount[i] : 0);
  }
  if (newIfd0 || dirs[kIfd0].Offset != oldOffset[kIfd0]) Put32(out, 4, uint32_t(dirs[kIfd0].Offset));
  return out;
}

}  // namespace kobalt
