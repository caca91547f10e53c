// The JPEG segment list: whatever it accepts it must write back byte for
// byte, and an EXIF block put into it must read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "JpegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kobalt::TJpegFile file;
  if (!file.Read(data, size)) {
    file.FindExif();
    file.ExifPayload();
    return 0;
  }
  std::vector<uint8_t> written = file.Write();
  if (written.size() != size || !std::equal(written.begin(), written.end(), data)) std::abort();

  int w = 0, h = 0;
  file.FrameSize(w, h);
  file.Components();
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
  if (file.SetExif(block) < 0) std::abort();
  written = file.Write();
  kobalt::TJpegFile again;
  if (!again.Read(written.data(), written.size()) || !again.ExifPayload() ||
      *again.ExifPayload() != block)
    std::abort();
  return 0;
}
