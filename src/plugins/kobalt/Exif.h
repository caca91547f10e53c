#pragma once

// EXIF operations of the standard plug-in (libexif plus a JPEG segment
// splicer). Internal to kobalt.fp. Nothing here throws; failure is a result.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "imageio/FileMetadata.h"
#include "imageio/FilePlugin.h"

namespace kobalt {

std::string ReadExifTag(const std::string& fileName, int32_t tag);
bool WriteExifTag(const std::string& fileName, tvx::ExifTag tag, const std::string& text);
bool CopyExifBlock(const std::string& sourceFileName, const std::string& destFileName);
tvx::TExifParameters GetExifValues(const std::string& fileName);
/// The one-rewrite metadata step for a JPEG output (see
/// TFileMetadataEdit::ApplyExif); `now` dates an EXIF block the fields create.
bool ApplyExifFields(const std::string& sourceFileName, const std::string& destFileName,
                     const tvx::TExifFieldText* fields, size_t count, std::time_t now);

// The metadata bridge for JPEG files (see imageio/FileMetadata.h).
bool ReadJpegMetadataFile(const std::string& fileName, tvx::TPictureMetadata& metadata);
bool WriteJpegMetadataFile(const std::string& fileName, const tvx::TPictureMetadata& metadata);

}  // namespace kobalt
