// EXIF operations on files: read the file, work in memory, and replace the
// file through a temporary file so a failure leaves it as it was.
#include "Exif.h"

#include <ctime>

#include "Codecs.h"
#include "ExifBlock.h"
#include "FileNames.h"
#include "FileWrite.h"

namespace kobalt {
namespace {

bool HasJpegExtension(const std::string& name) {
  const std::string ext = LowerExtension(name);
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

bool CopyExifBlock(const std::string& sourceFileName, const std::string& destFileName) {
  if (!HasJpegExtension(sourceFileName) || !HasJpegExtension(destFileName)) return false;
  std::vector<uint8_t> source, dest, out;
  if (!ReadWholeFile(sourceFileName, source) || !ReadWholeFile(destFileName, dest)) return false;
  TThumbnailCodec codec;
  codec.DecodeDestination = [&destFileName](TImage& image) {
    return DecodeFile(destFileName, image);
  };
  codec.EncodeJpeg = EncodeJpegToMemory;
  if (!CopyExifInJpeg(source, dest, codec, out)) return false;
  return ReplaceFileContents(destFileName, out.data(), out.size());
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
