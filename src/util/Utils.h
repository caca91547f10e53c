#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/Bitmap32.h"
#include "util/Stream.h"

namespace tvx {

/// Attribute bit of a directory in the listing functions' filters.
inline constexpr int faDirectory = 16;

// ---- files and text ---------------------------------------------------------

/// Adds the bare names of the entries matching mask (a path whose last part
/// may hold "*" and "?", matched ignoring letter case) to list, in listing
/// order; attr 0 takes every entry, otherwise entries sharing a bit with it.
/// Nothing without a list; the list is cleared first unless appending.
void FindFiles(const std::string& mask, int attr, std::vector<std::string>* list, bool append);
/// Lists folder recursively (see the implementation for the exact rules);
/// adds folder + name, with "/" after directories.
void FindFilesRecursive(const std::string& folder, const std::string& namePart, int includeAttr,
                        int excludeAttr, std::vector<std::string>* list, bool append);
/// Size of the file in bytes (64-bit), or -1.
int64_t GetFileSizeOf(const std::string& fileName);
std::string ExtractFileNameWithoutExt(const std::string& path);

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
/// start; text unchanged when replacement contains search.
std::string ReplaceText(const std::string& search, const std::string& replacement, const std::string& text);

// ---- bitmaps (in place, never raise) --------------------------------------

/// Lanczos resampling of all four channels; nothing for empty bitmaps, sizes
/// above 10000 or negative, or the same size. 0 x 0 empties the bitmap.
void ResampleBitmap(TBitmap32& bitmap, int32_t newWidth, int32_t newHeight);
void AddMargins(TBitmap32& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom);
/// Crops to the exact bounding box of pixels with non-zero alpha; a bitmap
/// without any becomes 1 x 1 transparent.
void CropToOpaque(TBitmap32& bitmap);
std::vector<std::vector<int32_t>> AlphaToMatrix(const TBitmap32& bitmap, int32_t left, int32_t top,
                                                int32_t right, int32_t bottom);
std::vector<int32_t> AlphaToFlatMatrix(const TBitmap32& bitmap, int32_t left, int32_t top, int32_t right,
                                       int32_t bottom);
void SetAlphaFromMatrix(TBitmap32& bitmap, const std::vector<int32_t>& matrix, int32_t rowLength,
                        int32_t columnOffset, int32_t rowOffset);
/// Each visible pixel loses between 1 and min(alpha, amount) of its alpha.
void AddAlphaNoise(TBitmap32& bitmap, int32_t amount);

}  // namespace tvx
