#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "raster/Bitmap32.h"
#include "util/Paths.h"  // the path functions, ExtractFileNameWithoutExt among them
#include "util/Stream.h"

namespace tvx {

/// Attribute bits of the listing functions' filters. An entry whose name
/// starts with "." carries faHidden; a directory (a link to one included)
/// carries faDirectory; every other entry carries faArchive.
inline constexpr int faHidden = 2;
inline constexpr int faDirectory = 16;
inline constexpr int faArchive = 32;

// ---- files and text ---------------------------------------------------------

/// Adds the bare names of the entries matching mask (a path whose last part
/// may hold "*" and "?", matched ignoring letter case) to list, in name
/// order (letter case ignored); attr 0 takes every entry, otherwise entries sharing a bit with it.
/// Nothing without a list; the list is cleared first unless appending.
void FindFiles(const std::string& mask, int attr, std::vector<std::string>* list, bool append);
/// Lists folder and all its subfolders in name order: every entry (a
/// directory's content comes before the directory itself) that passes includeAttr (0 = any),
/// excludeAttr (0 = none) and whose lower-cased name contains the lower-cased
/// namePart is added as folder + name, with "/" after directories. Each
/// directory is entered once, so links cannot make it loop.
void FindFilesRecursive(const std::string& folder, const std::string& namePart, int includeAttr,
                        int excludeAttr, std::vector<std::string>* list, bool append);
/// Size of the file in bytes (64-bit), or -1 when nothing matches; the name
/// may hold wildcards (the first match counts). Directories have size 0.
int64_t GetFileSizeOf(const std::string& fileName);

/// Whether name matches mask: "*" any run of characters, "?" one character,
/// letter case ignored; "*.*" matches every name.
bool MatchesMask(std::string_view name, std::string_view mask);
/// Lower-cases a UTF-8 text (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
std::string LowerCaseUtf8(std::string_view text);
/// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);
/// Converts Windows-1252 bytes to UTF-8 (the five unassigned bytes map to the
/// control characters of the same number, as Windows does).
std::string Cp1252ToUtf8(std::string_view text);

/// Line breaks as stored texts hold them: every "\r\n", lone "\r" and lone
/// "\n" becomes "\r\n" (the line breaks of watermark files written on Windows).
std::string ToCrLfLineBreaks(std::string_view text);
/// Line breaks as an edit field holds them: every "\r\n" and lone "\r" becomes "\n".
std::string ToLfLineBreaks(std::string_view text);
/// The text up to its first line break ("\r" or "\n"); the whole text without one.
std::string FirstLine(std::string_view text);

/// "STR1", a 32-bit little-endian byte count, the UTF-8 bytes.
void WriteString(TStream& stream, const std::string& text);
/// Reads a stream string. Raises "ReadString::232 - Invalid string (Stream pointer: P)!"
/// on a missing tag; a length running past the end of the stream raises a
/// "ReadString" error of its own before anything is allocated. Bytes that are
/// not valid UTF-8 are read as Windows-1252 (files written on Windows).
std::string ReadString(TStream& stream);

/// The digits of text, in order, as an integer; 0 when none or out of range.
int32_t ExtractNumber(const std::string& text);
/// Replaces every occurrence of search by replacement, rescanning from the
/// start, so occurrences formed by a replacement and its neighbours are
/// replaced too; text unchanged when replacement contains search (or search
/// is empty). Stops replacing once the result would exceed 16 MiB.
std::string ReplaceText(const std::string& search, const std::string& replacement, const std::string& text);

// ---- bitmaps (in place, never raise) --------------------------------------

/// Lanczos resampling of all four channels; nothing for empty bitmaps, sizes
/// above 10000 or negative, or the same size. 0 x 0 empties the bitmap.
void ResampleBitmap(TBitmap32& bitmap, int32_t newWidth, int32_t newHeight);
/// Surrounds the picture with transparent margins; nothing when a margin is
/// negative, all are 0 or the size would not fit 32 bits.
void AddMargins(TBitmap32& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom);
/// Crops to the exact bounding box of pixels with non-zero alpha; a bitmap
/// without any becomes 1 x 1 transparent.
void CropToOpaque(TBitmap32& bitmap);
/// The alpha values in a matrix of zeros with the given margins, as rows;
/// empty when a margin is negative.
std::vector<std::vector<int32_t>> AlphaToMatrix(const TBitmap32& bitmap, int32_t left, int32_t top,
                                                int32_t right, int32_t bottom);
/// The same matrix row-major in one array.
std::vector<int32_t> AlphaToFlatMatrix(const TBitmap32& bitmap, int32_t left, int32_t top, int32_t right,
                                       int32_t bottom);
/// Alpha of (x, y) = low byte of matrix[(rowOffset + y) * rowLength +
/// columnOffset + x]; colours stay. Nothing when rowLength or an offset is
/// negative; pixels whose entry lies outside the array keep their alpha.
void SetAlphaFromMatrix(TBitmap32& bitmap, const std::vector<int32_t>& matrix, int32_t rowLength,
                        int32_t columnOffset, int32_t rowOffset);
/// Each visible pixel loses between 1 and min(alpha, amount) of its alpha.
void AddAlphaNoise(TBitmap32& bitmap, int32_t amount);

}  // namespace tvx
