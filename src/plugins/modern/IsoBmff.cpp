#include "IsoBmff.h"

#include "Codecs.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace modern {
namespace {

// No real picture has more items or extents than this; a count above it is
// a hostile file.
constexpr uint32_t kMaxItems = 65536;
constexpr uint32_t kMaxExtents = 4096;

const uint32_t kMeta = FourCC("meta"), kIinf = FourCC("iinf"), kInfe = FourCC("infe"), kIloc = FourCC("iloc"),
               kIref = FourCC("iref"), kIprp = FourCC("iprp"), kIpco = FourCC("ipco"), kIpma = FourCC("ipma"),
               kPitm = FourCC("pitm"), kIdat = FourCC("idat"), kColr = FourCC("colr"), kExif = FourCC("Exif"),
               kMime = FourCC("mime"), kCdsc = FourCC("cdsc"), kMdat = FourCC("mdat"), kProf = FourCC("prof"),
               kRicc = FourCC("rICC"), kGrid = FourCC("grid"), kIovl = FourCC("iovl");

// Bounds-checked big-endian reading of one span.
class TReader {
 public:
  TReader(const uint8_t* data, size_t begin, size_t end) : data_(data), pos_(begin), end_(end) {}
  bool Ok() const { return ok_; }
  size_t Pos() const { return pos_; }
  size_t Left() const { return ok_ ? end_ - pos_ : 0; }
  uint64_t Read(size_t bytes) {
    if (!ok_ || bytes > 8 || end_ - pos_ < bytes) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v = v << 8 | data_[pos_ + i];
    pos_ += bytes;
    return v;
  }
  uint32_t U8() { return uint32_t(Read(1)); }
  uint32_t U16() { return uint32_t(Read(2)); }
  uint32_t U32() { return uint32_t(Read(4)); }
  std::string CString() {
    std::string s;
    while (ok_ && pos_ < end_ && data_[pos_] != 0) s.push_back(char(data_[pos_++]));
    if (pos_ >= end_) ok_ = false;
    else ++pos_;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t pos_, end_;
  bool ok_ = true;
};

void Put(TBytes& out, uint64_t v, size_t bytes) {
  for (size_t i = bytes; i-- > 0;) out.push_back(uint8_t(v >> (8 * i)));
}

void PutBoxHeader(TBytes& out, uint32_t type, size_t payload, int fullBoxVersion = -1, uint32_t flags = 0) {
  size_t size = 8 + payload + (fullBoxVersion >= 0 ? 4 : 0);
  Put(out, size, 4);
  Put(out, type, 4);
  if (fullBoxVersion >= 0) Put(out, uint32_t(fullBoxVersion) << 24 | (flags & 0xFFFFFF), 4);
}

// A box's bytes as they stand, except that a size of 0 ("to the end of the
// parent") becomes the real size: copied into a rebuilt parent, the box may
// no longer be the last one.
TBytes RawBox(const uint8_t* d, const TBox& box) {
  TBytes raw(d + box.Offset, d + box.End());
  if (box.HeaderSize == 8 && raw[0] == 0 && raw[1] == 0 && raw[2] == 0 && raw[3] == 0) {
    if (box.Size > 0xFFFFFFFFu) return {};
    for (int i = 0; i < 4; ++i) raw[size_t(i)] = uint8_t(box.Size >> (24 - 8 * i));
  }
  return raw;
}

struct TItem {
  uint32_t Id = 0;
  uint32_t Type = 0;
  std::string ContentType;
  TBytes Raw;  // the whole infe box, written back as it was
};

struct TExtent {
  uint64_t Index = 0;
  uint64_t Offset = 0;  // absolute for construction method 0 (base offset folded in)
  uint64_t Length = 0;
};

struct TLocation {
  uint32_t Id = 0;
  uint32_t Method = 0;
  uint32_t DataReference = 0;
  uint64_t BaseOffset = 0;
  std::vector<TExtent> Extents;
};

struct TReference {
  uint32_t Type = 0;
  uint32_t From = 0;
  std::vector<uint32_t> To;
};

struct TAssociation {
  uint32_t Id = 0;
  std::vector<uint16_t> Properties;  // essential bit 0x8000 | 1-based index
};

// The parts of a "meta" box this rewrites; everything else stays raw.
struct TMeta {
  TBox Box;
  uint32_t Version = 0, Flags = 0;
  std::vector<TBox> Children;
  uint32_t Primary = 0;
  std::vector<TItem> Items;
  int ItemInfoVersion = 0;
  std::vector<TLocation> Locations;
  int LocationVersion = 0;
  size_t OffsetSize = 0, LengthSize = 0, BaseOffsetSize = 0, IndexSize = 0;
  std::vector<TReference> References;
  int ReferenceVersion = 0;
  bool HasReferences = false;
  std::vector<TBox> Properties;  // children of ipco
  std::vector<TAssociation> Associations;
  int AssociationVersion = 0;
  uint32_t AssociationFlags = 0;
  bool HasProperties = false;
  const TBox* Idat = nullptr;
};

bool ParseItemInfo(const uint8_t* d, const TBox& box, TMeta& meta) {
  TReader r(d, box.PayloadOffset(), box.End());
  uint32_t vf = r.U32();
  meta.ItemInfoVersion = int(vf >> 24);
  uint32_t count = meta.ItemInfoVersion == 0 ? r.U16() : r.U32();
  if (!r.Ok() || count > kMaxItems) return false;
  std::vector<TBox> entries;
  if (!ReadBoxes(d, r.Pos(), box.End(), entries) || entries.size() < count) return false;
  for (const TBox& e : entries) {
    if (e.Type != kInfe) continue;
    TReader in(d, e.PayloadOffset(), e.End());
    uint32_t version = in.U32() >> 24;
    TItem item;
    if (version < 2) {
      // Old entries carry no type; they are kept but never taken for metadata.
      item.Id = in.U16();
    } else {
      item.Id = version == 2 ? in.U16() : in.U32();
      in.U16();  // protection index
      item.Type = in.U32();
      in.CString();  // name
      if (item.Type == kMime) item.ContentType = in.CString();
    }
    if (!in.Ok() && item.Type != kMime) return false;
    item.Raw = RawBox(d, e);
    meta.Items.push_back(std::move(item));
  }
  return true;
}

bool ParseLocations(const uint8_t* d, const TBox& box, TMeta& meta) {
  TReader r(d, box.PayloadOffset(), box.End());
  uint32_t version = r.U32() >> 24;
  if (version > 2) return false;
  meta.LocationVersion = int(version);
  uint32_t sizes = r.U8();
  meta.OffsetSize = sizes >> 4;
  meta.LengthSize = sizes & 15;
  sizes = r.U8();
  meta.BaseOffsetSize = sizes >> 4;
  meta.IndexSize = version >= 1 ? sizes & 15 : 0;
  auto valid = [](size_t s) { return s == 0 || s == 4 || s == 8; };
  if (!valid(meta.OffsetSize) || !valid(meta.LengthSize) || !valid(meta.BaseOffsetSize) || !valid(meta.IndexSize))
    return false;
  uint32_t count = version < 2 ? r.U16() : r.U32();
  if (!r.Ok() || count > kMaxItems) return false;
  for (uint32_t i = 0; i < count; ++i) {
    TLocation loc;
    loc.Id = version < 2 ? r.U16() : r.U32();
    if (version >= 1) loc.Method = r.U16() & 15;
    loc.DataReference = r.U16();
    loc.BaseOffset = r.Read(meta.BaseOffsetSize);
    uint32_t extents = r.U16();
    if (!r.Ok() || extents > kMaxExtents) return false;
    for (uint32_t e = 0; e < extents; ++e) {
      TExtent x;
      x.Index = r.Read(meta.IndexSize);
      uint64_t offset = r.Read(meta.OffsetSize);
      x.Length = r.Read(meta.LengthSize);
      if (offset > UINT64_MAX - loc.BaseOffset) return false;
      x.Offset = loc.BaseOffset + offset;
      loc.Extents.push_back(x);
    }
    if (!r.Ok()) return false;
    meta.Locations.push_back(std::move(loc));
  }
  return true;
}

bool ParseReferences(const uint8_t* d, const TBox& box, TMeta& meta) {
  TReader r(d, box.PayloadOffset(), box.End());
  meta.ReferenceVersion = int(r.U32() >> 24);
  if (!r.Ok()) return false;
  std::vector<TBox> refs;
  if (!ReadBoxes(d, r.Pos(), box.End(), refs)) return false;
  size_t idBytes = meta.ReferenceVersion == 0 ? 2 : 4;
  for (const TBox& b : refs) {
    TReader in(d, b.PayloadOffset(), b.End());
    TReference ref;
    ref.Type = b.Type;
    ref.From = uint32_t(in.Read(idBytes));
    uint32_t n = in.U16();
    if (!in.Ok() || n > in.Left() / idBytes) return false;
    for (uint32_t i = 0; i < n; ++i) ref.To.push_back(uint32_t(in.Read(idBytes)));
    meta.References.push_back(std::move(ref));
  }
  meta.HasReferences = true;
  return true;
}

bool ParseProperties(const uint8_t* d, const TBox& box, TMeta& meta) {
  std::vector<TBox> children;
  if (!ReadBoxes(d, box.PayloadOffset(), box.End(), children)) return false;
  bool haveIpco = false;
  for (const TBox& c : children) {
    if (c.Type == kIpco) {
      if (haveIpco || !ReadBoxes(d, c.PayloadOffset(), c.End(), meta.Properties)) return false;
      haveIpco = true;
    } else if (c.Type == kIpma) {
      TReader r(d, c.PayloadOffset(), c.End());
      uint32_t vf = r.U32();
      meta.AssociationVersion = int(vf >> 24);
      meta.AssociationFlags = vf & 0xFFFFFF;
      uint32_t count = r.U32();
      if (!r.Ok() || count > kMaxItems || count > r.Left() / 3) return false;
      for (uint32_t i = 0; i < count; ++i) {
        TAssociation a;
        a.Id = meta.AssociationVersion < 1 ? r.U16() : r.U32();
        uint32_t n = r.U8();
        for (uint32_t k = 0; k < n; ++k) {
          uint32_t v = (meta.AssociationFlags & 1) ? r.U16() : r.U8();
          // Widen the 7-bit form to the 15-bit one: essential bit on top.
          if (!(meta.AssociationFlags & 1)) v = (v & 0x80) << 8 | (v & 0x7F);
          a.Properties.push_back(uint16_t(v));
        }
        if (!r.Ok()) return false;
        meta.Associations.push_back(std::move(a));
      }
    }
  }
  meta.HasProperties = haveIpco;
  return true;
}

bool ParseMeta(const uint8_t* d, size_t size, TMeta& meta, std::vector<TBox>& top) {
  if (!ReadBoxes(d, 0, size, top)) return false;
  const TBox* box = nullptr;
  for (const TBox& b : top)
    if (b.Type == kMeta) {
      if (box) return false;  // two item tables: not a file to rewrite or trust
      box = &b;
    }
  if (!box || box->Size < box->HeaderSize + 4) return false;
  meta.Box = *box;
  TReader r(d, box->PayloadOffset(), box->End());
  uint32_t vf = r.U32();
  meta.Version = vf >> 24;
  meta.Flags = vf & 0xFFFFFF;
  if (!ReadBoxes(d, r.Pos(), box->End(), meta.Children)) return false;
  bool ok = true;
  for (const TBox& c : meta.Children) {
    if (c.Type == kPitm) {
      TReader p(d, c.PayloadOffset(), c.End());
      uint32_t version = p.U32() >> 24;
      meta.Primary = version == 0 ? p.U16() : p.U32();
      ok = ok && p.Ok();
    } else if (c.Type == kIinf) {
      ok = ok && ParseItemInfo(d, c, meta);
    } else if (c.Type == kIloc) {
      ok = ok && ParseLocations(d, c, meta);
    } else if (c.Type == kIref) {
      ok = ok && ParseReferences(d, c, meta);
    } else if (c.Type == kIprp) {
      ok = ok && ParseProperties(d, c, meta);
    }
  }
  for (const TBox& c : meta.Children)
    if (c.Type == kIdat) meta.Idat = &c;
  return ok;
}

// The bytes of an item, its extents joined; false when they lie outside the file.
bool ItemData(const uint8_t* d, size_t size, const TMeta& meta, uint32_t id, TBytes& out) {
  out.clear();
  for (const TLocation& loc : meta.Locations) {
    if (loc.Id != id) continue;
    if (loc.DataReference != 0 || (loc.Method != 0 && loc.Method != 1)) return false;
    size_t base = 0, limit = size;
    if (loc.Method == 1) {
      if (!meta.Idat) return false;
      base = meta.Idat->PayloadOffset();
      limit = meta.Idat->End();
    }
    for (const TExtent& x : loc.Extents) {
      uint64_t length = x.Length;
      if (x.Offset > limit - base) return false;
      if (length == 0) length = limit - base - x.Offset;  // "the rest of the data"
      if (length > limit - base - x.Offset || out.size() + length > size) return false;
      out.insert(out.end(), d + base + x.Offset, d + base + x.Offset + length);
    }
    return true;
  }
  return false;
}

bool DescribesPrimary(const TMeta& meta, uint32_t id) {
  for (const TReference& ref : meta.References)
    if (ref.Type == kCdsc && ref.From == id &&
        std::find(ref.To.begin(), ref.To.end(), meta.Primary) != ref.To.end())
      return true;
  return false;
}

bool IsXmpItem(const TItem& item) { return item.Type == kMime && item.ContentType == "application/rdf+xml"; }

// The metadata item of a kind: the one describing the primary image, else the first.
const TItem* FindMetadataItem(const TMeta& meta, bool (*kind)(const TItem&)) {
  const TItem* first = nullptr;
  for (const TItem& item : meta.Items) {
    if (!kind(item)) continue;
    if (DescribesPrimary(meta, item.Id)) return &item;
    if (!first) first = &item;
  }
  return first;
}

bool IsExifItem(const TItem& item) { return item.Type == kExif; }

// Index (0-based, into Properties) of the ICC colour property of the primary image, or -1.
int PrimaryIccProperty(const uint8_t* d, const TMeta& meta) {
  for (const TAssociation& a : meta.Associations) {
    if (a.Id != meta.Primary) continue;
    for (uint16_t p : a.Properties) {
      size_t index = p & 0x7FFF;
      if (index == 0 || index > meta.Properties.size()) continue;
      const TBox& box = meta.Properties[index - 1];
      if (box.Type != kColr || box.Size < box.HeaderSize + 4) continue;
      uint32_t kind = uint32_t(d[box.PayloadOffset()]) << 24 | uint32_t(d[box.PayloadOffset() + 1]) << 16 |
                      uint32_t(d[box.PayloadOffset() + 2]) << 8 | d[box.PayloadOffset() + 3];
      if (kind == kProf || kind == kRicc) return int(index - 1);
    }
  }
  return -1;
}

// The TIFF structure inside an Exif item: a 4-byte offset to the TIFF
// header, usually the "Exif\0\0" header and then the TIFF header.
bool ExifItemToTiff(const TBytes& item, TBytes& tiff) {
  if (item.size() < 4) return false;
  uint32_t skip = uint32_t(item[0]) << 24 | uint32_t(item[1]) << 16 | uint32_t(item[2]) << 8 | item[3];
  size_t at = 4 + size_t(skip);
  if (skip > item.size() - 4) return false;
  auto tiffAt = [&](size_t p) {
    return item.size() - p >= 8 && ((item[p] == 'I' && item[p + 1] == 'I') || (item[p] == 'M' && item[p + 1] == 'M'));
  };
  if (!tiffAt(at) && item.size() - at >= 6 && std::memcmp(item.data() + at, "Exif\0\0", 6) == 0) at += 6;
  if (!tiffAt(at)) return false;
  tiff.assign(item.begin() + static_cast<std::ptrdiff_t>(at), item.end());
  return true;
}

TBytes MakeInfe(uint32_t id, uint32_t type, const std::string& contentType) {
  TBytes body;
  bool wide = id > 0xFFFF;
  Put(body, id, wide ? 4 : 2);
  Put(body, 0, 2);
  Put(body, type, 4);
  body.push_back(0);  // empty name
  if (type == kMime) {
    body.insert(body.end(), contentType.begin(), contentType.end());
    body.push_back(0);
  }
  TBytes box;
  PutBoxHeader(box, kInfe, body.size(), wide ? 3 : 2);
  box.insert(box.end(), body.begin(), body.end());
  return box;
}

}  // namespace

bool ReadBoxes(const uint8_t* data, size_t begin, size_t end, std::vector<TBox>& boxes, size_t maxBoxes) {
  boxes.clear();
  if (!data || begin > end) return false;
  size_t p = begin;
  while (p < end) {
    if (boxes.size() >= maxBoxes || end - p < 8) return false;
    TReader r(data, p, end);
    uint64_t size = r.U32();
    TBox box;
    box.Type = r.U32();
    box.Offset = p;
    box.HeaderSize = 8;
    if (size == 1) {
      size = r.Read(8);
      box.HeaderSize = 16;
      if (!r.Ok()) return false;
    } else if (size == 0) {
      size = end - p;
    }
    if (size < box.HeaderSize || size > end - p) return false;
    box.Size = size_t(size);
    boxes.push_back(box);
    p += box.Size;
  }
  return true;
}

bool HeifStructureSane(const uint8_t* data, size_t size) {
  TMeta meta;
  std::vector<TBox> top;
  if (!ParseMeta(data, size, meta, top) || meta.Items.empty() || meta.Primary == 0) return false;
  // One of each of these boxes at most: with two, libheif and we could read
  // different ones (the first idat theirs, the last ours).
  for (uint32_t type : {kIdat, kIloc, kIinf, kPitm, kIprp, kIref}) {
    if (std::count_if(meta.Children.begin(), meta.Children.end(), [&](const TBox& c) { return c.Type == type; }) >
        1)
      return false;
  }
  // Every extent of every item must lie inside the file (or its idat).
  for (const TLocation& loc : meta.Locations) {
    if (loc.DataReference != 0) return false;
    for (const TExtent& x : loc.Extents) {
      size_t limit = loc.Method == 1 && meta.Idat ? meta.Idat->Size - meta.Idat->HeaderSize : size;
      if (x.Offset > limit || x.Length > limit - x.Offset) return false;
    }
  }
  // A grid or an overlay states the size of the picture it makes, and
  // libheif allocates that picture without comparing it with the item's
  // "ispe": it must be a picture we would decode at all.
  for (const TItem& item : meta.Items) {
    if (item.Type != kGrid && item.Type != kIovl) continue;
    TBytes d;
    if (!ItemData(data, size, meta, item.Id, d)) return false;
    // version, flags, then rows and columns (grid) or four fill values of 16 bits (overlay)
    if (d.size() < 2 || d[0] != 0) return false;
    const bool wide = d[1] & 1;
    const size_t at = item.Type == kGrid ? 4 : 10, field = wide ? 4 : 2;
    if (d.size() < at + 2 * field) return false;
    auto read = [&](size_t from) {
      uint64_t v = 0;
      for (size_t i = 0; i < field; ++i) v = v << 8 | d[from + i];
      return v;
    };
    const uint64_t width = read(at), height = read(at + field);
    if (width == 0 || height == 0 || width > uint64_t(kobalt::kMaxPixels) ||
        height > uint64_t(kobalt::kMaxPixels) || width * height > uint64_t(kobalt::kMaxPixels))
      return false;
  }
  return true;
}

bool ReadHeifMetadata(const uint8_t* data, size_t size, THeifMetadata& metadata) {
  metadata = {};
  TMeta meta;
  std::vector<TBox> top;
  if (!data || !ParseMeta(data, size, meta, top)) return false;
  TBytes bytes;
  if (const TItem* exif = FindMetadataItem(meta, IsExifItem))
    if (ItemData(data, size, meta, exif->Id, bytes)) ExifItemToTiff(bytes, metadata.Exif);
  if (const TItem* xmp = FindMetadataItem(meta, IsXmpItem))
    if (ItemData(data, size, meta, xmp->Id, bytes)) metadata.Xmp = bytes;
  int icc = PrimaryIccProperty(data, meta);
  if (icc >= 0) {
    const TBox& box = meta.Properties[size_t(icc)];
    metadata.Icc.assign(data + box.PayloadOffset() + 4, data + box.End());
  }
  return true;
}

bool WriteHeifMetadata(const TBytes& file, const THeifMetadataChange& change, TBytes& out) {
  const uint8_t* d = file.data();
  TMeta meta;
  std::vector<TBox> top;
  if (!ParseMeta(d, file.size(), meta, top) || meta.Primary == 0 || meta.Items.empty()) return false;
  bool haveIinf = false, haveIloc = false;
  for (const TBox& c : meta.Children) {
    haveIinf = haveIinf || c.Type == kIinf;
    haveIloc = haveIloc || c.Type == kIloc;
  }
  if (!haveIinf || !haveIloc) return false;

  // Items that go: every Exif item when EXIF changes, every XMP item when XMP does.
  std::vector<uint32_t> removed;
  for (const TItem& item : meta.Items)
    if ((change.Exif && IsExifItem(item)) || (change.Xmp && IsXmpItem(item))) removed.push_back(item.Id);
  auto gone = [&](uint32_t id) { return std::find(removed.begin(), removed.end(), id) != removed.end(); };
  std::erase_if(meta.Items, [&](const TItem& i) { return gone(i.Id); });
  std::erase_if(meta.Locations, [&](const TLocation& l) { return gone(l.Id); });
  for (TReference& ref : meta.References) std::erase_if(ref.To, gone);
  std::erase_if(meta.References, [&](const TReference& r) { return gone(r.From) || r.To.empty(); });

  // New items, their data in one "mdat" box at the end of the file.
  uint32_t nextId = 0;
  for (const TItem& item : meta.Items) nextId = std::max(nextId, item.Id);
  for (const TLocation& loc : meta.Locations) nextId = std::max(nextId, loc.Id);
  // New items take the numbers after the largest; none are left after 2^32 - 3.
  if (nextId > 0xFFFFFFFCu) return false;
  struct TNew { uint32_t Id; size_t At; size_t Length; };
  std::vector<TNew> added;
  TBytes newData;
  auto add = [&](uint32_t type, const std::string& contentType, const TBytes& payload) {
    uint32_t id = ++nextId;
    meta.Items.push_back({id, type, contentType, MakeInfe(id, type, contentType)});
    added.push_back({id, newData.size(), payload.size()});
    newData.insert(newData.end(), payload.begin(), payload.end());
    meta.References.push_back({kCdsc, id, {meta.Primary}});
  };
  if (change.Exif && !change.Exif->empty()) {
    TBytes payload = {0, 0, 0, 0};  // the TIFF header follows at once
    payload.insert(payload.end(), change.Exif->begin(), change.Exif->end());
    add(kExif, "", payload);
  }
  if (change.Xmp && !change.Xmp->empty()) add(kMime, "application/rdf+xml", *change.Xmp);
  if (nextId > 0xFFFF && meta.LocationVersion < 2) meta.LocationVersion = 2;

  // The ICC profile: replace the primary image's own, or add one and associate it.
  TBytes newIcc;
  int iccIndex = -1;
  bool iccAssociate = false;
  if (change.Icc) {
    if (!meta.HasProperties) return false;
    iccIndex = PrimaryIccProperty(d, meta);
    if (!change.Icc->empty()) {
      Put(newIcc, 8 + 4 + change.Icc->size(), 4);
      Put(newIcc, kColr, 4);
      Put(newIcc, kProf, 4);
      newIcc.insert(newIcc.end(), change.Icc->begin(), change.Icc->end());
      if (iccIndex < 0) {
        iccIndex = int(meta.Properties.size());
        iccAssociate = true;
      }
    } else if (iccIndex >= 0) {
      // Removing: the association goes, the property stays for other items.
      for (TAssociation& a : meta.Associations)
        if (a.Id == meta.Primary)
          std::erase_if(a.Properties, [&](uint16_t p) { return size_t(p & 0x7FFF) == size_t(iccIndex) + 1; });
      iccIndex = -1;
    }
  }
  if (iccAssociate) {
    auto it = std::find_if(meta.Associations.begin(), meta.Associations.end(),
                           [&](const TAssociation& a) { return a.Id == meta.Primary; });
    if (it == meta.Associations.end()) {
      meta.Associations.push_back({meta.Primary, {}});
      it = meta.Associations.end() - 1;
    }
    if (it->Properties.size() >= 255) return false;
    it->Properties.push_back(uint16_t(iccIndex + 1));
    if (iccIndex + 1 > 127) meta.AssociationFlags |= 1;
  }

  // Offsets of data behind the item table move by as much as it grows.
  const size_t metaEnd = meta.Box.End();
  for (const TLocation& loc : meta.Locations)
    if (loc.Method == 0)
      for (const TExtent& x : loc.Extents)
        if (x.Offset >= meta.Box.Offset && x.Offset < metaEnd) return false;  // data inside the table itself

  size_t offsetSize = std::max<size_t>(meta.OffsetSize, 4), lengthSize = std::max<size_t>(meta.LengthSize, 4);
  auto buildIloc = [&](int64_t delta, size_t newDataAt) {
    uint64_t largest = file.size() + newData.size() + (delta > 0 ? uint64_t(delta) : 0) + 4096;
    size_t os = largest > 0xFFFFFFFFu ? 8 : offsetSize;
    TBytes body;
    Put(body, uint8_t(os << 4 | lengthSize), 1);
    Put(body, uint8_t(0 << 4 | (meta.LocationVersion >= 1 ? meta.IndexSize : 0)), 1);
    size_t count = meta.Locations.size() + added.size();
    Put(body, count, meta.LocationVersion < 2 ? 2 : 4);
    auto entry = [&](uint32_t id, uint32_t method, uint32_t reference, const std::vector<TExtent>& extents,
                     bool shift) {
      Put(body, id, meta.LocationVersion < 2 ? 2 : 4);
      if (meta.LocationVersion >= 1) Put(body, method, 2);
      Put(body, reference, 2);
      Put(body, extents.size(), 2);
      for (const TExtent& x : extents) {
        if (meta.LocationVersion >= 1 && meta.IndexSize) Put(body, x.Index, meta.IndexSize);
        uint64_t offset = x.Offset;
        if (shift && offset >= metaEnd) offset = uint64_t(int64_t(offset) + delta);
        Put(body, offset, os);
        Put(body, x.Length, lengthSize);
      }
    };
    for (const TLocation& loc : meta.Locations) {
      // The base offset is folded into each extent (base offset size 0).
      entry(loc.Id, loc.Method, loc.DataReference, loc.Extents, loc.Method == 0);
    }
    for (const TNew& n : added) entry(n.Id, 0, 0, {{0, newDataAt + n.At, n.Length}}, false);
    TBytes box;
    PutBoxHeader(box, kIloc, body.size(), meta.LocationVersion);
    box.insert(box.end(), body.begin(), body.end());
    return box;
  };
  auto buildIinf = [&]() {
    TBytes body;
    size_t n = meta.Items.size();
    int version = n > 0xFFFF ? 1 : meta.ItemInfoVersion;
    Put(body, n, version == 0 ? 2 : 4);
    for (const TItem& item : meta.Items) body.insert(body.end(), item.Raw.begin(), item.Raw.end());
    TBytes box;
    PutBoxHeader(box, kIinf, body.size(), version);
    box.insert(box.end(), body.begin(), body.end());
    return box;
  };
  auto buildIref = [&]() {
    bool wide = meta.ReferenceVersion != 0 || nextId > 0xFFFF;
    TBytes body;
    for (const TReference& ref : meta.References) {
      TBytes inner;
      Put(inner, ref.From, wide ? 4 : 2);
      Put(inner, ref.To.size(), 2);
      for (uint32_t to : ref.To) Put(inner, to, wide ? 4 : 2);
      PutBoxHeader(body, ref.Type, inner.size());
      body.insert(body.end(), inner.begin(), inner.end());
    }
    TBytes box;
    PutBoxHeader(box, kIref, body.size(), wide ? 1 : 0);
    box.insert(box.end(), body.begin(), body.end());
    return box;
  };
  auto buildIprp = [&](const TBox& original) {
    std::vector<TBox> children;
    ReadBoxes(d, original.PayloadOffset(), original.End(), children);
    TBytes body;
    for (const TBox& c : children) {
      if (c.Type == kIpco) {
        TBytes props;
        for (size_t i = 0; i < meta.Properties.size(); ++i) {
          const TBox& p = meta.Properties[i];
          if (int(i) == iccIndex && !iccAssociate && !newIcc.empty()) {
            props.insert(props.end(), newIcc.begin(), newIcc.end());
          } else {
            TBytes raw = RawBox(d, p);
            props.insert(props.end(), raw.begin(), raw.end());
          }
        }
        if (iccAssociate) props.insert(props.end(), newIcc.begin(), newIcc.end());
        PutBoxHeader(body, kIpco, props.size());
        body.insert(body.end(), props.begin(), props.end());
      } else if (c.Type == kIpma) {
        bool wide = meta.AssociationFlags & 1;
        TBytes assoc;
        Put(assoc, meta.Associations.size(), 4);
        for (const TAssociation& a : meta.Associations) {
          Put(assoc, a.Id, meta.AssociationVersion < 1 ? 2 : 4);
          Put(assoc, a.Properties.size(), 1);
          for (uint16_t p : a.Properties)
            Put(assoc, wide ? p : uint16_t((p & 0x8000) >> 8 | (p & 0x7F)), wide ? 2 : 1);
        }
        PutBoxHeader(body, kIpma, assoc.size(), meta.AssociationVersion, meta.AssociationFlags);
        body.insert(body.end(), assoc.begin(), assoc.end());
      } else {
        TBytes raw = RawBox(d, c);
        body.insert(body.end(), raw.begin(), raw.end());
      }
    }
    TBytes box;
    PutBoxHeader(box, kIprp, body.size());
    box.insert(box.end(), body.begin(), body.end());
    return box;
  };

  auto buildMeta = [&](int64_t delta, size_t newDataAt) {
    TBytes body;
    bool wroteIref = false;
    for (const TBox& c : meta.Children) {
      TBytes part;
      if (c.Type == kIinf) part = buildIinf();
      else if (c.Type == kIloc) part = buildIloc(delta, newDataAt);
      else if (c.Type == kIref) part = buildIref(), wroteIref = true;
      else if (c.Type == kIprp) part = buildIprp(c);
      else part = RawBox(d, c);
      body.insert(body.end(), part.begin(), part.end());
    }
    if (!wroteIref && !meta.References.empty()) {
      TBytes part = buildIref();
      body.insert(body.end(), part.begin(), part.end());
    }
    TBytes box;
    PutBoxHeader(box, kMeta, body.size(), int(meta.Version), meta.Flags);
    box.insert(box.end(), body.begin(), body.end());
    return box;
  };

  // Two passes: the table's size does not depend on the offsets it holds.
  TBytes first = buildMeta(0, 0);
  int64_t delta = int64_t(first.size()) - int64_t(meta.Box.Size);
  size_t newDataAt = size_t(int64_t(file.size()) + delta) + 8;
  TBytes metaBox = buildMeta(delta, newDataAt);
  if (metaBox.size() != first.size()) return false;

  TBytes result;
  result.reserve(file.size() + metaBox.size() + newData.size() + 8);
  result.insert(result.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(meta.Box.Offset));
  result.insert(result.end(), metaBox.begin(), metaBox.end());
  // A last box whose size said "to the end of the file" must get its real size now.
  for (const TBox& b : top) {
    if (b.Offset < metaEnd) continue;
    bool toEnd = b.HeaderSize == 8 && d[b.Offset] == 0 && d[b.Offset + 1] == 0 && d[b.Offset + 2] == 0 &&
                 d[b.Offset + 3] == 0;
    size_t at = result.size();
    result.insert(result.end(), d + b.Offset, d + b.End());
    if (toEnd) {
      if (b.Size > 0xFFFFFFFFu) return false;
      for (int i = 0; i < 4; ++i) result[at + size_t(i)] = uint8_t(b.Size >> (24 - 8 * i));
    }
  }
  if (!newData.empty()) {
    PutBoxHeader(result, kMdat, newData.size());
    result.insert(result.end(), newData.begin(), newData.end());
  }
  if (result.size() != size_t(int64_t(file.size()) + delta) + (newData.empty() ? 0 : 8 + newData.size()))
    return false;
  out = std::move(result);
  return true;
}

}  // namespace modern
