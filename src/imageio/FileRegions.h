#pragma once

// An optional extension of the plug-in contract: writing a picture with only
// part of it redrawn. A watermark usually covers a small part of a picture;
// a plug-in that also exports GetFileRegionAccess can write the output with
// only that part decoded, painted and encoded again, and everything else
// carried over as the source stores it (for JPEG: the untouched blocks'
// coefficients, so they lose nothing a second time, and no time is spent on
// them either).
//
// Old hosts never look the export up, and the host treats a plug-in without
// it exactly as before (it decodes, draws and encodes the whole picture), so
// either side may be older than the other. Like the slot table, the
// operations below are fixed in this order; new ones may only be added after
// them, and then under a new export name.

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"

namespace tvx {

/// A rectangle of picture pixels: Left and Top inside, Right and Bottom just
/// outside.
struct TPictureRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
};

/// What the host draws, handed to the plug-in for one picture. Coordinates
/// are those of the upright picture (its EXIF orientation applied), as the
/// host sees pictures from LoadBitmap. Implemented by the host; its
/// operations never throw and are called on the thread that called
/// EditRegions, only during that call.
class TRegionPainter {
 public:
  /// Slot 0: rectangles outside which painting changes no pixel of an
  /// upright picture of width x height. They may overlap and reach past the
  /// picture; none means nothing is painted.
  virtual void ChangedRegions(int32_t width, int32_t height, std::vector<TPictureRect>& regions) = 0;
  /// Slot 1: paints onto a window of that picture. `pixels` holds
  /// windowWidth x windowHeight pixels (layout as in TPictureData) showing
  /// the upright picture from (left, top) on; they are painted exactly as
  /// the same pixels of the whole picture would be. False when painting
  /// failed; the pixels are then undefined.
  virtual bool PaintWindow(TColor32* pixels, int32_t left, int32_t top, int32_t windowWidth,
                           int32_t windowHeight, int32_t width, int32_t height) = 0;

 protected:
  TRegionPainter() = default;
  ~TRegionPainter() = default;
};

/// How EditRegions went.
struct TRegionEditReport {
  enum TResult : int32_t {
    NotHandled = 0,  ///< nothing written: the host does the picture its usual way
    Written = 1,     ///< the destination holds the painted picture
    Failed = 2,      ///< tried, but painting or writing failed; nothing written
  };
  enum TMethod : int32_t {
    None = 0,
    Spans = 1,         ///< untouched units copied as coded bits, in the source's own coding
    Coefficients = 2,  ///< untouched units' coefficients kept, their coding redone
  };
  TResult Result = NotHandled;
  TMethod Method = None;
  int64_t Units = 0;         ///< coding units of the picture (JPEG: MCUs)
  int64_t UnitsRedrawn = 0;  ///< of them, decoded, painted and encoded again
  std::string Note;          ///< a few words: why not handled, or how it was written
};

/// The bridge a plug-in hands out. It belongs to the plug-in object that
/// gave it and lives exactly as long (the host never frees it). Calls follow
/// the plug-in's own rules: no exception escapes, failure is a result, and
/// calls for different files may come from several threads.
class TFileRegionAccess {
 public:
  /// Slot 0: writes destFileName (replacing it safely, never half-written)
  /// as the picture of sourceFileName with the painter's regions painted,
  /// keeping the rest of the picture, its stored orientation and every
  /// metadata segment as the source has them. The destination's extension
  /// names its format; a plug-in handles only what it can keep so (for
  /// kobalt: a JPEG written as a JPEG). NotHandled when it cannot; then
  /// nothing is written and the host draws the whole picture as usual.
  virtual void EditRegions(const std::string& sourceFileName, const std::string& destFileName,
                           TRegionPainter& painter, TRegionEditReport& report) = 0;

 protected:
  TFileRegionAccess() = default;
  ~TFileRegionAccess() = default;  // owned by the plug-in object
};

}  // namespace tvx

extern "C" {
/// The optional export "GetFileRegionAccess": the region bridge of a plug-in
/// object made by the same module's InitFilePlugin, or null.
typedef tvx::TFileRegionAccess* (*TGetFileRegionAccessFunc)(tvx::TFilePlugin* plugin);
}
