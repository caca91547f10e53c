#pragma once

// Replacing a file's contents safely: the bytes go to a temporary file in the
// target's folder, are flushed to disk and renamed over the target, so a
// failure never leaves a truncated or half-written file. Internal to kobalt.fp.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kobalt {

/// Writes the bytes to path through a temporary file renamed over it. An
/// existing target keeps its permission bits (and owner when allowed); a
/// symbolic link is followed, so the file it names is replaced. False on any
/// failure, in which case the target is untouched and no temporary file stays.
bool ReplaceFileContents(const std::string& path, const uint8_t* data, size_t size);

/// Reads a whole regular file; false when it cannot be read or exceeds the cap.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                   size_t maxSize = size_t(1) << 30);

}  // namespace kobalt
