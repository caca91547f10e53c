#pragma once

// An optional extension of the plug-in contract: the metadata bridge. The 14
// slots of TFilePlugin can copy EXIF only between files one plug-in
// understands (CopyExif is routed by the source's extension). A plug-in that
// also exports GetFileMetadataAccess lets the host carry a picture's
// metadata from a file of one plug-in into a file of another (a HEIC source,
// a JPEG output; a JPEG source, a WebP output).
//
// A plug-in that exports GetFileMetadataEdit as well does a run's whole
// metadata step on an output file (the source's EXIF block, then the chosen
// text fields) in one rewrite of that file instead of one per call.
//
// Old hosts never look the exports up, and the host treats a plug-in without
// them exactly as before, so either side may be older than the other. Like
// the slot table, the operations of each object are fixed in this order; new
// ones may only be added after them, and then under a new export name.

#include <cstddef>
#include <string>

#include "imageio/FilePlugin.h"

namespace tvx {

/// A picture's metadata in a form every container can hold.
struct TPictureMetadata {
  /// The EXIF block as a TIFF structure (byte-order mark first), without
  /// the "Exif\0\0" header of JPEG; empty when the picture has none.
  std::string Exif;
  /// The ICC colour profile; empty when none.
  std::string Icc;
  /// The XMP packet; empty when none.
  std::string Xmp;
};

/// The bridge a plug-in hands out. It belongs to the plug-in object that
/// gave it and lives exactly as long (the host never frees it). Calls follow
/// the plug-in's own rules: no exception escapes, failure is a result, and
/// calls for different files may come from two threads.
class TFileMetadataAccess {
 public:
  /// Slot 0: the metadata of a file of the plug-in's formats, byte for byte.
  /// True with empty blocks for a readable file without metadata; false when
  /// the file cannot be read.
  virtual bool ReadMetadata(const std::string& fileName, TPictureMetadata& metadata) = 0;
  /// Slot 1: what CopyExif does for a source of the plug-in's own formats,
  /// with the source given as blocks: the EXIF block replaces the file's own
  /// (fitted to its pixels: orientation, pixel size, thumbnail), and the ICC
  /// profile and XMP packet go in where the file has none of that kind. The
  /// file is rewritten in place, never left half-written. False when the
  /// file is not a format the plug-in writes metadata into, or on failure.
  virtual bool WriteMetadata(const std::string& fileName, const TPictureMetadata& metadata) = 0;

 protected:
  TFileMetadataAccess() = default;
  ~TFileMetadataAccess() = default;  // owned by the plug-in object
};

/// One text field of a run's metadata step: the tag and text WriteExif
/// would be given.
struct TExifFieldText {
  ExifTag Tag = 0;
  std::string Text;
};

/// The one-rewrite metadata step a plug-in hands out. Owned and called like
/// TFileMetadataAccess.
class TFileMetadataEdit {
 public:
  /// Slot 0: what CopyExif(source, dest) followed by WriteExif(dest, Tag,
  /// Text) for each field in order leaves in dest, each call's failure
  /// ignored (a source without EXIF still gets the fields; a field that
  /// cannot be written does not stop the next), with dest rewritten once
  /// at most and never left half-written. The bytes must be those of the
  /// separate calls; only a date stamped into a block the fields create may
  /// carry the time of this call instead of a later one.
  /// True when done so, also when no call would have changed dest (it is
  /// then left alone). False, with dest untouched, when the plug-in does not
  /// do this for these two files or the rewrite failed: the host then makes
  /// the separate calls.
  virtual bool ApplyExif(const std::string& source, const std::string& dest, const TExifFieldText* fields,
                         size_t count) = 0;

 protected:
  TFileMetadataEdit() = default;
  ~TFileMetadataEdit() = default;  // owned by the plug-in object
};

}  // namespace tvx

extern "C" {
/// The optional second export, "GetFileMetadataAccess": the bridge of a plug-in
/// object made by the same module's InitFilePlugin, or null.
typedef tvx::TFileMetadataAccess* (*TGetFileMetadataAccessFunc)(tvx::TFilePlugin* plugin);
/// Another optional export, "GetFileMetadataEdit": the one-rewrite metadata
/// step of a plug-in object made by the same module's InitFilePlugin, or null.
typedef tvx::TFileMetadataEdit* (*TGetFileMetadataEditFunc)(tvx::TFilePlugin* plugin);
}
