#pragma once

// A small picture of what a plug-in saved last, so that the EXIF thumbnail
// of that file (CopyExif comes right after the save in a batch run) needs no
// decode of the whole file. Each entry is tied to the file's identity as the
// save left it (device, inode, size, modification time): a file changed or
// replaced since is not recognised, and the caller decodes it instead.
// Thread-safe; it holds the last two saves of each thread. Internal to the
// plug-ins.

#include <string>

#include "Codecs.h"

namespace kobalt {

/// Longer side of the remembered picture: twice the thumbnail's, so the
/// area-averaged thumbnail made from it is smooth.
inline constexpr int kRememberedSide = 320;

/// Samples the saved pixels (a 2 x 2 average every few pixels) and keeps
/// them with the identity the file at `path` has now.
void RememberSaved(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height);
/// The remembered picture of the file at `path`, if it is still the file saved.
bool RecallSaved(const std::string& path, TImage& picture);

}  // namespace kobalt
