#pragma once

// Replacing a file's contents safely: the bytes go to a temporary file in the
// target's folder, are flushed to disk and renamed over the target, so a
// failure never leaves a truncated or half-written file. Internal to kobalt.fp.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kobalt {

/// Writes the bytes to path through a temporary file renamed over it. An
/// existing target keeps its permission bits (and owner when allowed); a
/// symbolic link is followed, so the file it names is replaced. False on any
/// failure, in which case the target is untouched and no temporary file stays.
bool ReplaceFileContents(const std::string& path, const uint8_t* data, size_t size);

/// Gets up to the limit's bytes from the start of a file and its whole size;
/// gives the new head and how many of the old bytes it replaces.
using THeadEdit = std::function<bool(const std::vector<uint8_t>& prefix, size_t fileSize,
                                     std::vector<uint8_t>& head, size_t& replaced)>;
/// Replaces the start of a file: the new file is the edit's head followed by
/// the old file from `replaced` on, copied by the kernel where it can (the
/// picture data of a metadata rewrite is never read into memory). Written
/// and renamed as ReplaceFileContents; false when the edit declines.
bool ReplaceFileHead(const std::string& path, size_t limit, const THeadEdit& edit);

/// Reads a whole regular file; false when it cannot be read or exceeds the cap.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                   size_t maxSize = size_t(1) << 30);

/// Reads at most `limit` bytes from the start of a regular file.
bool ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

}  // namespace kobalt
