// The in-place EXIF editor on blocks built byte by byte: what it must leave
// alone stays at its offset, directories that grow move with every pointer
// at them, ones that shrink are cleared behind, and a new block is valid.

#include "TiffEditor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kobalt {
namespace {

// A little-endian block: IFD 0 at 8 with Make and an EXIF pointer, the EXIF
// IFD with a MakerNote whose own offset points past its counted bytes at a
// "preview", the preview itself, and IFD 1 with a thumbnail.
struct TBlock {
  std::vector<uint8_t> Bytes;
  size_t Ifd0 = 8, Exif = 0, Ifd1 = 0, Note = 0, Preview = 0, Thumb = 0;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Entry(std::vector<uint8_t>& b, size_t at, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  Put16(b, at, tag), Put16(b, at + 2, type), Put32(b, at + 4, count), Put32(b, at + 8, value);
}

TBlock Sample(bool loopInterop = false) {
  TBlock k;
  k.Bytes.assign(400, 0);
  auto& b = k.Bytes;
  b[0] = b[1] = 'I', Put16(b, 2, 42), Put32(b, 4, 8);
  k.Exif = 60, k.Ifd1 = 120, k.Note = 200, k.Preview = 260, k.Thumb = 300;
  // IFD 0: Make (inline "Cam"), ExifPointer; next = IFD 1.
  Put16(b, 8, 2);
  Entry(b, 10, 0x010F, 2, 4, 0x006D6143);
  Entry(b, 22, 0x8769, 4, 1, uint32_t(k.Exif));
  Put32(b, 34, uint32_t(k.Ifd1));
  // EXIF IFD: MakerNote (20 bytes at 200), and Interop, perhaps looping to IFD 0.
  Put16(b, 60, loopInterop ? 2 : 1);
  Entry(b, 62, 0x927C, 7, 20, uint32_t(k.Note));
  if (loopInterop) Entry(b, 74, 0xA005, 4, 1, uint32_t(k.Ifd0));
  // IFD 1: thumbnail at 300, 40 bytes.
  Put16(b, 120, 2);
  Entry(b, 122, 0x0201, 4, 1, uint32_t(k.Thumb));
  Entry(b, 134, 0x0202, 4, 1, 40);
  // The MakerNote points (absolute) at a preview outside its own 20 bytes.
  std::memcpy(b.data() + k.Note, "NoteNote", 8);
  Put32(b, k.Note + 8, uint32_t(k.Preview));
  for (size_t i = 0; i < 30; ++i) b[k.Preview + i] = uint8_t(0xA0 + i);
  b[k.Thumb] = 0xFF, b[k.Thumb + 1] = 0xD8;
  for (size_t i = 2; i < 40; ++i) b[k.Thumb + i] = uint8_t(i);
  return k;
}

TEST(TiffEditor, AddingEntriesMovesOnlyTheDirectoriesThatGrow) {
  TBlock k = Sample();
  TTiffEditor e;
  ASSERT_TRUE(e.Load(k.Bytes.data(), k.Bytes.size()));
  e.SetAscii(TTiffEditor::kIfd0, 33432, "(c) Someone");
  e.SetUndefined(TTiffEditor::kExifIfd, 37510, std::string("ASCII\0\0\0hi\0", 11));
  std::vector<uint8_t> out = e.Save();
  ASSERT_GT(out.size(), k.Bytes.size());
  // Everything up to the old end is as it was, except the old directories' places.
  for (size_t at : {k.Note, k.Preview, k.Thumb})
    EXPECT_EQ(0, std::memcmp(out.data() + at, k.Bytes.data() + at, 20)) << at;
  // The header and IFD 0's pointer follow the moved directories.
  TTiffEditor back;
  ASSERT_TRUE(back.Load(out.data(), out.size()));
  uint32_t exif = 0;
  ASSERT_TRUE(back.GetNumber(TTiffEditor::kIfd0, 0x8769, exif));
  EXPECT_GE(exif, k.Bytes.size());
  EXPECT_GE(Get32(out, 4), k.Bytes.size());
  EXPECT_TRUE(back.Has(TTiffEditor::kIfd0, 0x010F));
  EXPECT_TRUE(back.Has(TTiffEditor::kIfd0, 33432));
  EXPECT_TRUE(back.Has(TTiffEditor::kExifIfd, 0x927C));
  EXPECT_TRUE(back.Has(TTiffEditor::kExifIfd, 37510));
  size_t thumbAt = 0, thumbLength = 0;
  ASSERT_TRUE(back.Thumbnail(thumbAt, thumbLength));
  EXPECT_EQ(thumbAt, k.Thumb);
  EXPECT_EQ(thumbLength, 40u);
}

TEST(TiffEditor, ReplacingAndRemovingStayInPlaceAndClearBehind) {
  TBlock k = Sample();
  TTiffEditor e;
  ASSERT_TRUE(e.Load(k.Bytes.data(), k.Bytes.size()));
  e.SetAscii(TTiffEditor::kIfd0, 0x010F, "Other");  // same count: the directory stays
  e.Remove(TTiffEditor::kExifIfd, 0x927C);         // shrinks: stays, freed entry zeroed
  std::vector<uint8_t> out = e.Save();
  EXPECT_EQ(Get32(out, 4), 8u);
  EXPECT_EQ(out[60], 0);  // no entries left
  for (size_t i = 62; i < 74; ++i) EXPECT_EQ(out[i], 0) << i;
  TTiffEditor back;
  ASSERT_TRUE(back.Load(out.data(), out.size()));
  EXPECT_FALSE(back.Has(TTiffEditor::kExifIfd, 0x927C));
  EXPECT_EQ(back.TypeOf(TTiffEditor::kIfd0, 0x010F), TTiffEditor::kAscii);
}

TEST(TiffEditor, APointerThatLoopsBackStaysALoop) {
  // A broken file whose Interop pointer names IFD 0: when IFD 0 moves, the
  // loop follows it instead of pointing at a stale copy.
  TBlock k = Sample(true);
  TTiffEditor e;
  ASSERT_TRUE(e.Load(k.Bytes.data(), k.Bytes.size()));
  e.SetAscii(TTiffEditor::kIfd0, 270, "Title");
  std::vector<uint8_t> out = e.Save();
  uint32_t ifd0 = Get32(out, 4);
  ASSERT_NE(ifd0, 8u);
  EXPECT_EQ(Get32(out, k.Exif + 2 + 12 + 8), ifd0);
}

TEST(TiffEditor, ThumbnailsAreReplacedInPlaceWhenTheyFitAndDroppedOnRequest) {
  TBlock k = Sample();
  TTiffEditor e;
  ASSERT_TRUE(e.Load(k.Bytes.data(), k.Bytes.size()));
  std::vector<uint8_t> small(30, 0x11), large(90, 0x22);
  e.SetThumbnail(small);
  std::vector<uint8_t> out = e.Save();
  EXPECT_EQ(out.size(), k.Bytes.size());
  EXPECT_EQ(out[k.Thumb], 0x11);
  EXPECT_EQ(out[k.Thumb + 35], 0);  // the rest of the old one cleared
  TTiffEditor grown;
  ASSERT_TRUE(grown.Load(k.Bytes.data(), k.Bytes.size()));
  grown.SetThumbnail(large);
  out = grown.Save();
  TTiffEditor back;
  ASSERT_TRUE(back.Load(out.data(), out.size()));
  size_t at = 0, length = 0;
  ASSERT_TRUE(back.Thumbnail(at, length));
  EXPECT_EQ(length, 90u);
  EXPECT_EQ(out[at + 89], 0x22);
  TTiffEditor dropped;
  ASSERT_TRUE(dropped.Load(k.Bytes.data(), k.Bytes.size()));
  dropped.DropThumbnail();
  out = dropped.Save();
  EXPECT_EQ(Get32(out, 8 + 2 + 2 * 12), 0u);  // IFD 0's next pointer
}

TEST(TiffEditor, ANewBlockHoldsWhatWasSet) {
  for (bool motorola : {false, true}) {
    TTiffEditor e;
    e.New(motorola);
    e.SetAscii(TTiffEditor::kIfd0, 315, "Artist");
    e.SetUndefined(TTiffEditor::kExifIfd, 36864, "0210");
    std::vector<uint8_t> out = e.Save();
    TTiffEditor back;
    ASSERT_TRUE(back.Load(out.data(), out.size())) << motorola;
    EXPECT_EQ(back.Motorola(), motorola);
    EXPECT_TRUE(back.Has(TTiffEditor::kIfd0, 315));
    EXPECT_TRUE(back.Has(TTiffEditor::kExifIfd, 36864));
  }
}

TEST(TiffEditor, RefusesWhatIsNotATiffStructure) {
  TTiffEditor e;
  const uint8_t junk[] = {'I', 'I', 43, 0, 8, 0, 0, 0};
  EXPECT_FALSE(e.Load(junk, sizeof junk));
  std::vector<uint8_t> bytes = Sample().Bytes;
  Put16(bytes, 8, 900);  // more entries than the block holds
  EXPECT_FALSE(e.Load(bytes.data(), bytes.size()));
  EXPECT_FALSE(e.Load(bytes.data(), 7));
}

}  // namespace
}  // namespace kobalt
