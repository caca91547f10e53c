// EXIF work on mutated files in memory: reading the tag texts, setting a tag
// and copying a block (with a stand-in codec for the thumbnail) must never
// crash, and what they write must read back with the value set.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ExifBlock.h"
#include "JpegFile.h"

namespace {

kobalt::TThumbnailCodec StandInCodec(bool decodes) {
  kobalt::TThumbnailCodec codec;
  codec.DecodeDestination = [decodes](kobalt::TImage& image) {
    image.Width = 300;
    image.Height = 200;
    image.Pixels.assign(300 * 200, 0xFF808080u);
    return decodes;
  };
  codec.EncodeJpeg = [](const uint32_t*, int32_t w, int32_t h, int, std::vector<uint8_t>& out) {
    out.assign(size_t(w) + size_t(h), 0x55);
    return true;
  };
  return codec;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> jpeg(data, data + size);
  kobalt::ReadExifValues(data, size);

  // The bytes as a bare block, straight into libexif.
  std::vector<uint8_t> bare = {'E', 'x', 'i', 'f', 0, 0};
  bare.insert(bare.end(), data, data + std::min<size_t>(size, 60000));
  if (kobalt::TExifDataPtr block = kobalt::LoadExifData(bare.data(), bare.size())) {
    for (uint16_t tag : kobalt::ExifValueTags()) kobalt::ReadTagText(block.get(), tag);
    std::vector<uint8_t> saved;
    kobalt::SaveExifData(block.get(), saved);
  }

  std::vector<uint8_t> out;
  const std::string text = "fuzz";
  uint16_t tag = size % 2 ? 37510 : 270;
  if (kobalt::WriteExifInJpeg(jpeg, tag, text, 0, out)) {
    auto values = kobalt::ReadExifValues(out.data(), out.size());
    auto it = values.find(tag);
    if (it == values.end() || it->second.find(text) == std::string::npos) std::abort();
  }

  // Copy into a plain file and into itself.
  static const std::vector<uint8_t> plain = [] {
    std::vector<uint8_t> j = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0,
                              0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0, 0x12, 0x34, 0xFF, 0xD9};
    return j;
  }();
  if (kobalt::CopyExifInJpeg(jpeg, plain, StandInCodec(size % 3 == 0), out)) {
    kobalt::TJpegFile file;
    if (!file.Read(out.data(), out.size()) || !file.ExifPayload()) std::abort();
  }
  kobalt::CopyExifInJpeg(jpeg, jpeg, StandInCodec(true), out);
  return 0;
}
