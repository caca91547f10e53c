// EXIF operations on files: read the file, work in memory, and replace the
// file through a temporary file so a failure leaves it as it was.
#include "Exif.h"

#include <cctype>
#include <ctime>
#include <functional>

#include "Codecs.h"
#include "ExifBlock.h"
#include "FileNames.h"
#include "FileWrite.h"
#include "JpegFile.h"
#include "RecentPictures.h"

namespace kobalt {
namespace {

bool HasJpegExtension(const std::string& name) {
  const std::string ext = LowerExtension(name);
  return ext == ".jpeg" || ext == ".jpe" || ext == ".jpg" || ext == ".jfif";
}

// No JPEG has more header bytes than this before its picture: 255 ICC
// chunks and every other segment at full length stay well below it.
constexpr size_t kMaxHeaderBytes = size_t(64) << 20;

}  // namespace

std::string ReadExifTag(const std::string& fileName, int32_t tag) {
  if (tag < 0 || tag > 0xFFFF) return {};
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes)) return {};
  TExifDataPtr data = LoadExifFromFileBytes(bytes.data(), bytes.size());
  return data ? ReadTagText(data.get(), static_cast<uint16_t>(tag)) : std::string();
}

// Rewrites the header segments of a JPEG file through `edit`; the picture
// data after them is carried over by the kernel, never read. `whole` is set
// when the headers did not fit the part read, so the caller may read it all.
static bool EditJpegHeaders(const std::string& fileName, const std::function<bool(TJpegFile&)>& edit, bool& whole,
                            size_t limit = kSourceHeaderBytes) {
  whole = false;
  return ReplaceFileHead(fileName, limit,
                         [&](const std::vector<uint8_t>& prefix, size_t fileSize, std::vector<uint8_t>& head,
                             size_t& replaced) {
                           TJpegFile file;
                           if (!file.ReadHeaders(prefix.data(), prefix.size())) {
                             whole = prefix.size() < fileSize;
                             return false;
                           }
                           // A file that ends with its headers holds no picture.
                           if (file.HeaderBytes() >= fileSize || !edit(file)) return false;
                           head = file.WriteHeaders();
                           replaced = file.HeaderBytes();
                           return !head.empty();
                         });
}

bool WriteExifTag(const std::string& fileName, tvx::ExifTag tag, const std::string& text) {
  if (!HasJpegExtension(fileName)) return false;
  const std::time_t now = std::time(nullptr);
  auto edit = [&](TJpegFile& file) { return WriteExifInSegments(file, tag, text, now) == TEditResult::Done; };
  bool whole = false;
  if (EditJpegHeaders(fileName, edit, whole)) return true;
  // Headers longer than the part read: once more with all of them.
  return whole && EditJpegHeaders(fileName, edit, whole, kMaxHeaderBytes);
}

static TThumbnailCodec ThumbnailCodecOf(const std::string& destFileName) {
  TThumbnailCodec codec;
  // The thumbnail needs only a small picture: the one kept from the save
  // that wrote the file, or else a reduced decode.
  codec.DecodeDestination = [destFileName](TImage& image) {
    return RecallSaved(destFileName, image) || DecodeFileReduced(destFileName, kThumbnailSide, image);
  };
  codec.EncodeJpeg = EncodeJpegToMemory;
  return codec;
}

// Copies the EXIF block of `from` into the destination's headers.
static bool CopyIntoFile(const TJpegFile& from, const std::string& destFileName) {
  const TThumbnailCodec codec = ThumbnailCodecOf(destFileName);
  bool whole = false;
  auto copy = [&](TJpegFile& to) { return CopyExifIntoSegments(from, to, codec); };
  if (EditJpegHeaders(destFileName, copy, whole)) return true;
  return whole && EditJpegHeaders(destFileName, copy, whole, kMaxHeaderBytes);
}

// The header segments of a copy's source; its picture stays unread.
static bool ReadSourceHeaders(const std::string& sourceFileName, TJpegFile& from) {
  std::vector<uint8_t> source;
  if (!ReadFilePrefix(sourceFileName, kSourceHeaderBytes, source)) return false;
  return from.ReadHeaders(source.data(), source.size()) ||
         (source.size() >= kSourceHeaderBytes && ReadFilePrefix(sourceFileName, kMaxHeaderBytes, source) &&
          from.ReadHeaders(source.data(), source.size()));
}

bool CopyExifBlock(const std::string& sourceFileName, const std::string& destFileName) {
  if (!HasJpegExtension(sourceFileName) || !HasJpegExtension(destFileName)) return false;
  TJpegFile from;
  return ReadSourceHeaders(sourceFileName, from) && CopyIntoFile(from, destFileName);
}

bool ApplyExifFields(const std::string& sourceFileName, const std::string& destFileName,
                     const tvx::TExifFieldText* fields, size_t count, std::time_t now) {
  if (!HasJpegExtension(destFileName) || (count > 0 && !fields)) return false;
  // A source CopyExifBlock would refuse (not a JPEG, unreadable, no
  // headers) gives no copy; the fields are written all the same.
  TJpegFile from;
  const bool copy = HasJpegExtension(sourceFileName) && ReadSourceHeaders(sourceFileName, from);
  const TThumbnailCodec codec = ThumbnailCodecOf(destFileName);
  bool edited = false, changed = false;
  auto edit = [&](TJpegFile& to) {
    edited = true;
    return changed = ApplyExifInSegments(copy ? &from : nullptr, to, codec, fields, count, now);
  };
  bool whole = false;
  if (EditJpegHeaders(destFileName, edit, whole) ||
      (whole && EditJpegHeaders(destFileName, edit, whole, kMaxHeaderBytes)))
    return true;
  // No step succeeded: the separate calls would have left the file as it
  // is too. Anything else (unreadable headers, a failed write) is left to
  // the separate calls, which meet it as they always did.
  return edited && !changed;
}

bool ReadJpegMetadataFile(const std::string& fileName, tvx::TPictureMetadata& metadata) {
  std::vector<uint8_t> bytes;
  TJpegMetadata blocks;
  if (!HasJpegExtension(fileName) || !ReadFilePrefix(fileName, kSourceHeaderBytes, bytes)) return false;
  if (!ReadJpegMetadata(bytes, blocks) &&
      (bytes.size() < kSourceHeaderBytes || !ReadFilePrefix(fileName, kMaxHeaderBytes, bytes) ||
       !ReadJpegMetadata(bytes, blocks)))
    return false;
  metadata.Exif.assign(blocks.Exif.begin(), blocks.Exif.end());
  metadata.Icc.assign(blocks.Icc.begin(), blocks.Icc.end());
  metadata.Xmp.assign(blocks.Xmp.begin(), blocks.Xmp.end());
  return true;
}

bool WriteJpegMetadataFile(const std::string& fileName, const tvx::TPictureMetadata& metadata) {
  if (!HasJpegExtension(fileName) || metadata.Exif.empty()) return false;
  TJpegMetadata blocks;
  blocks.Exif.assign(metadata.Exif.begin(), metadata.Exif.end());
  blocks.Icc.assign(metadata.Icc.begin(), metadata.Icc.end());
  blocks.Xmp.assign(metadata.Xmp.begin(), metadata.Xmp.end());
  return CopyIntoFile(SegmentsOf(blocks), fileName);
}

tvx::TExifParameters GetExifValues(const std::string& fileName) {
  tvx::TExifParameters result;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes)) return result;
  for (auto& [tag, text] : ReadExifValues(bytes.data(), bytes.size()))
    result.Values.emplace(tag, std::move(text));
  return result;
}

}  // namespace kobalt
