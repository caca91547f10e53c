// EXIF operations on files: read the file, work in memory, and replace the
// file through a temporary file so a failure leaves it as it was.
#include "Exif.h"

#include <cctype>
#include <ctime>

#include "Codecs.h"
#include "ExifBlock.h"
#include "FileWrite.h"

namespace kobalt {
namespace {

bool HasJpegExtension(const std::string& name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".jpeg" || ext == ".jpe" || ext == ".jpg" || ext == ".jfif";
}

}  // namespace

std::string ReadExifTag(const std::string& fileName, int32_t tag) {
  if (tag < 0 || tag > 0xFFFF) return {};
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes)) return {};
  TExifDataPtr data = LoadExifFromFileBytes(bytes.data(), bytes.size());
  return data ? ReadTagText(data.get(), static_cast<uint16_t>(tag)) : std::string();
}

bool WriteExifTag(const std::string& fileName, tvx::ExifTag tag, const std::string& text) {
  if (!HasJpegExtension(fileName)) return false;
  std::vector<uint8_t> bytes, out;
  if (!ReadWholeFile(fileName, bytes)) return false;
  if (!WriteExifInJpeg(bytes, tag, text, std::time(nullptr), out)) return false;
  return ReplaceFileContents(fileName, out.data(), out.size());
}

TThumbnailCodec ThumbnailCodecOf(const std::string& destFileName) {
  TThumbnailCodec codec;
  // The thumbnail needs only a small picture: a JPEG is decoded reduced.
  codec.DecodeDestination = [destFileName](TImage& image) {
    return DecodeFileReduced(destFileName, kThumbnailSide, image);
  };
  codec.EncodeJpeg = EncodeJpegToMemory;
  return codec;
}

bool CopyExifBlock(const std::string& sourceFileName, const std::string& destFileName) {
  if (!HasJpegExtension(sourceFileName) || !HasJpegExtension(destFileName)) return false;
  std::vector<uint8_t> source, dest, out;
  if (!ReadWholeFile(sourceFileName, source) || !ReadWholeFile(destFileName, dest)) return false;
  if (!CopyExifInJpeg(source, dest, ThumbnailCodecOf(destFileName), out)) return false;
  return ReplaceFileContents(destFileName, out.data(), out.size());
}

bool ReadJpegMetadataFile(const std::string& fileName, tvx::TPictureMetadata& metadata) {
  std::vector<uint8_t> bytes;
  TJpegMetadata blocks;
  if (!HasJpegExtension(fileName) || !ReadWholeFile(fileName, bytes) || !ReadJpegMetadata(bytes, blocks))
    return false;
  metadata.Exif.assign(blocks.Exif.begin(), blocks.Exif.end());
  metadata.Icc.assign(blocks.Icc.begin(), blocks.Icc.end());
  metadata.Xmp.assign(blocks.Xmp.begin(), blocks.Xmp.end());
  return true;
}

bool WriteJpegMetadataFile(const std::string& fileName, const tvx::TPictureMetadata& metadata) {
  if (!HasJpegExtension(fileName)) return false;
  std::vector<uint8_t> dest, out;
  if (!ReadWholeFile(fileName, dest)) return false;
  TJpegMetadata blocks;
  blocks.Exif.assign(metadata.Exif.begin(), metadata.Exif.end());
  blocks.Icc.assign(metadata.Icc.begin(), metadata.Icc.end());
  blocks.Xmp.assign(metadata.Xmp.begin(), metadata.Xmp.end());
  if (!CopyMetadataIntoJpeg(blocks, dest, ThumbnailCodecOf(fileName), out)) return false;
  return ReplaceFileContents(fileName, out.data(), out.size());
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
