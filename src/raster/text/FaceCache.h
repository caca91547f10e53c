#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

namespace tvx::text {

/// A rendered glyph: 8-bit coverage, placed relative to the glyph origin
/// (Left to the right, Top upwards, as FreeType gives them).
struct TGlyphImage {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<uint8_t> Coverage;
};

/// One font file opened at one pixel size: the FreeType face, the HarfBuzz
/// font shaping with it, and the glyphs rendered so far.
class TFace {
 public:
  TFace(FT_Face face, bool syntheticBold, bool syntheticItalic);
  ~TFace();
  TFace(const TFace&) = delete;
  TFace& operator=(const TFace&) = delete;

  FT_Face Face() const { return face_; }
  hb_font_t* Font() const { return font_; }
  bool SyntheticBold() const { return syntheticBold_; }
  /// What synthetic emboldening adds to every advance, in 1/64 pixel.
  int32_t BoldAdvance() const { return boldAdvance_; }
  /// The glyph's coverage; rendered at first use and kept (the reference
  /// stays valid until Trim).
  const TGlyphImage& Glyph(uint32_t glyphId);
  size_t CachedBytes() const { return cachedBytes_; }
  void Trim();

 private:
  FT_Face face_;
  hb_font_t* font_;
  bool syntheticBold_, syntheticItalic_;
  int32_t boldAdvance_ = 0;
  std::unordered_map<uint32_t, TGlyphImage> glyphs_;
  size_t cachedBytes_ = 0;
};

/// The faces of one thread. FreeType faces are not safe to share between
/// threads, so every thread that renders text keeps its own library and
/// faces; a thread renders the same texts over and over (batch run, preview),
/// so its cache stays warm.
class TFaceCache {
 public:
  static TFaceCache& ForThisThread();

  /// The face of catalogue font id at pixelSize, opened at first use; null
  /// when the file cannot be opened at that size.
  TFace* Get(int32_t fontId, int32_t pixelSize);
  /// A reusable HarfBuzz buffer of this thread.
  hb_buffer_t* Buffer() const { return buffer_; }
  /// Keeps the caches bounded; call between renderings only (it invalidates
  /// faces and glyph references).
  void Trim();

  TFaceCache(const TFaceCache&) = delete;
  TFaceCache& operator=(const TFaceCache&) = delete;
  ~TFaceCache();

 private:
  TFaceCache();
  FT_Library library_ = nullptr;
  hb_buffer_t* buffer_ = nullptr;
  std::map<std::pair<int32_t, int32_t>, std::unique_ptr<TFace>> faces_;
};

}  // namespace tvx::text
