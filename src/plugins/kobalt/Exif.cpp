// Placeholder until the EXIF operations land: every operation fails cleanly.
#include "Exif.h"

namespace kobalt {

std::string ReadExifTag(const std::string&, int32_t) { return {}; }
bool WriteExifTag(const std::string&, tvx::ExifTag, const std::string&) { return false; }
bool CopyExifBlock(const std::string&, const std::string&) { return false; }
tvx::TExifParameters GetExifValues(const std::string&) { return {}; }

}  // namespace kobalt
