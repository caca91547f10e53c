#pragma once

// The contract between the program and its file plug-ins ("*.fp" modules in
// the program folder). Plug-ins include this header (and the optional
// FileMetadata.h) and nothing else of the host. Host and plug-ins are built
// with the same toolchain and share libstdc++ and one allocator, so
// std::string and std::map cross the module boundary as they are.
// FileMetadata.h adds an optional second export, the metadata bridge, that
// neither side has to know.

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace tvx {

/// An EXIF (TIFF) tag number, e.g. 270 ImageDescription, 315 Artist,
/// 33432 Copyright, 37510 UserComment.
using ExifTag = uint16_t;

/// 0xAARRGGBB with straight alpha; in memory the bytes are B, G, R, A.
using TColor32 = uint32_t;

/// One format a plug-in serves. An empty Extension ends the format list.
struct TFileFormat {
  std::string Extension;  ///< with the leading dot, lower case, e.g. ".jpg"
  bool CanLoad = false;   ///< LoadBitmapInfo and LoadBitmap read this extension
  bool CanSave = false;   ///< SaveBitmap, SetQuality and the EXIF operations serve it
};

/// Result of LoadBitmapInfo; 0 in either field means unreadable.
struct TPictureSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

/// Result of LoadBitmap: Width x Height pixels, top-down rows, no padding.
/// The block belongs to the plug-in's allocator and goes back through
/// FreeMemory of the same plug-in. Zero width or height carries no block.
struct TPictureData {
  int32_t Width = 0;
  int32_t Height = 0;
  TColor32* Pixels = nullptr;
};

using TExifValues = std::map<ExifTag, std::string>;
using TExifValuesType = TExifValues::value_type;

/// The picture parameters: EXIF values by tag, plus what the host knows of
/// the picture. A plug-in fills only Values.
struct TExifParameters {
  int32_t Index = 0;  ///< 1-based row of the picture in the image list
  int32_t Count = 0;  ///< number of rows
  int32_t Width = 0;
  int32_t Height = 0;
  std::string FileName;  ///< full path
  TExifValues Values;
};

/// The interface a plug-in hands out. The 14 slots below are fixed in this
/// order and never reordered: a plug-in built separately from the host works
/// only if its table matches slot for slot. Never add an operation before or
/// between them, and never add a virtual destructor (it would take a slot).
///
/// A plug-in never lets an exception escape an operation; it reports failure
/// through results (0 x 0, false, empty). Calls for different files may come
/// from two threads at once (the batch run and the preview loader), so an
/// object keeps no per-call state; SetQuality is called from one thread only.
/// File names and texts are UTF-8; file names are full paths.
class TFilePlugin {
 public:
  /// Slot 0: release everything; called once, right before FreeMemory(this).
  virtual void Finalize() = 0;
  /// Slots 1 and 2: reserved, do nothing.
  virtual void Reserved1() = 0;
  virtual void Reserved2() = 0;
  /// Slot 3: one line describing the plug-in.
  virtual std::string GetDescription() = 0;
  /// Slot 4: the index-th format; past the last one, an empty Extension.
  virtual TFileFormat GetFormat(uint32_t index) = 0;
  /// Slot 5: picture size from the file's headers; 0 x 0 when unreadable.
  virtual TPictureSize LoadBitmapInfo(const std::string& fileName) = 0;
  /// Slot 6: the decoded picture; 0 x 0 and no block when unreadable.
  virtual TPictureData LoadBitmap(const std::string& fileName) = 0;
  /// Slot 7: encodes in the format of the name's extension, replacing an
  /// existing file; the pixels are only read during the call.
  virtual bool SaveBitmap(const std::string& fileName, int32_t width, int32_t height,
                          const TColor32* pixels) = 0;
  /// Slot 8: quality for later saves of that extension (with the dot).
  virtual void SetQuality(const std::string& extension, uint32_t quality) = 0;
  /// Slot 9: text of one EXIF tag; empty when absent.
  virtual std::string ReadExif(const std::string& fileName, int32_t tag) = 0;
  /// Slot 10: sets one text tag in the file's EXIF block, rewriting the file.
  virtual bool WriteExif(const std::string& fileName, ExifTag tag, const std::string& text) = 0;
  /// Slot 11: puts the source's EXIF block into the destination file.
  virtual bool CopyExif(const std::string& sourceFileName, const std::string& destFileName) = 0;
  /// Slot 12: the texts of the file's EXIF tags in Values; empty when none.
  virtual TExifParameters GetExif(const std::string& fileName) = 0;
  /// Slot 13: frees a pixel block of LoadBitmap, or the plug-in object itself.
  virtual void FreeMemory(void* block) = 0;

 protected:
  TFilePlugin() = default;
  ~TFilePlugin() = default;  // the host never deletes a plug-in; FreeMemory(this) does
};

}  // namespace tvx

extern "C" {
/// The one entry point a module exports: a new plug-in object per call.
typedef tvx::TFilePlugin* (*TInitFilePluginFunc)();
}
