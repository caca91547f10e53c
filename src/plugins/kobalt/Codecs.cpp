// Placeholder until the codecs land: every operation fails cleanly.
#include "Codecs.h"

namespace kobalt {

bool DecodeFile(const std::string&, TImage&) { return false; }
bool ReadPictureSize(const std::string&, int32_t&, int32_t&) { return false; }
bool EncodeFile(const std::string&, const uint32_t*, int32_t, int32_t, int) { return false; }
int JpegOrientation(const uint8_t*, size_t) { return 1; }
bool EncodeJpegToMemory(const uint32_t*, int32_t, int32_t, int, std::vector<uint8_t>&) { return false; }

}  // namespace kobalt
