#include "raster/text/FaceCache.h"

#include <cstdlib>

#include FT_SYNTHESIS_H
#include <hb-ft.h>

#include "raster/text/FontCatalog.h"

namespace tvx::text {

namespace {

// Bounds of one thread's caches: a handful of fonts at a few sizes covers
// any watermark; glyph images are dropped wholesale when they grow past this.
constexpr size_t kMaxFaces = 32;
constexpr size_t kMaxGlyphBytes = size_t(24) << 20;

// Hinted outlines: the rasteriser draws with grid fitting, and HarfBuzz
// measures with the same flags so that advances and glyphs agree. Embedded
// bitmap strikes are skipped: they are not anti-aliased and cannot be slanted.
constexpr FT_Int32 kLoadFlags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP;

const uint8_t* RowOf(const FT_Bitmap& bitmap, unsigned y) {
  const int pitch = bitmap.pitch;
  if (pitch >= 0) return bitmap.buffer + static_cast<size_t>(y) * pitch;
  return bitmap.buffer + static_cast<size_t>(bitmap.rows - 1 - y) * static_cast<size_t>(-pitch);
}

void CopyCoverage(const FT_Bitmap& bitmap, TGlyphImage& image) {
  image.Width = static_cast<int32_t>(bitmap.width);
  image.Height = static_cast<int32_t>(bitmap.rows);
  image.Coverage.assign(static_cast<size_t>(image.Width) * image.Height, 0);
  for (unsigned y = 0; y < bitmap.rows; ++y) {
    const uint8_t* src = RowOf(bitmap, y);
    uint8_t* dst = image.Coverage.data() + static_cast<size_t>(y) * image.Width;
    switch (bitmap.pixel_mode) {
      case FT_PIXEL_MODE_GRAY:
        for (unsigned x = 0; x < bitmap.width; ++x) {
          // Gray levels other than 256 are rare but allowed.
          const unsigned levels = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
          dst[x] = static_cast<uint8_t>(levels == 255 ? src[x] : src[x] * 255u / levels);
        }
        break;
      case FT_PIXEL_MODE_MONO:
        for (unsigned x = 0; x < bitmap.width; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        break;
      case FT_PIXEL_MODE_BGRA:
        for (unsigned x = 0; x < bitmap.width; ++x) dst[x] = src[x * 4 + 3];
        break;
      default:
        break;
    }
  }
}

}  // namespace

TFace::TFace(FT_Face face, bool syntheticBold, bool syntheticItalic)
    : face_(face), syntheticBold_(syntheticBold), syntheticItalic_(syntheticItalic) {
  font_ = hb_ft_font_create_referenced(face_);
  hb_ft_font_set_load_flags(font_, kLoadFlags);
  // The strength FT_GlyphSlot_Embolden uses for outlines; it widens every
  // advance by the same amount, which HarfBuzz does not know of.
  if (syntheticBold_ && FT_IS_SCALABLE(face_))
    boldAdvance_ = static_cast<int32_t>(FT_MulFix(face_->units_per_EM, face_->size->metrics.y_scale) / 24);
}

TFace::~TFace() {
  hb_font_destroy(font_);
  FT_Done_Face(face_);
}

const TGlyphImage& TFace::Glyph(uint32_t glyphId) {
  auto found = glyphs_.find(glyphId);
  if (found != glyphs_.end()) return found->second;
  TGlyphImage& image = glyphs_[glyphId];
  if (FT_Load_Glyph(face_, glyphId, kLoadFlags) != 0) return image;
  FT_GlyphSlot slot = face_->glyph;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (syntheticItalic_) FT_GlyphSlot_Oblique(slot);
    if (syntheticBold_) FT_GlyphSlot_Embolden(slot);
  }
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
    return image;
  image.Left = slot->bitmap_left;
  image.Top = slot->bitmap_top;
  CopyCoverage(slot->bitmap, image);
  cachedBytes_ += image.Coverage.size() + sizeof(TGlyphImage);
  return image;
}

void TFace::Trim() {
  if (cachedBytes_ <= kMaxGlyphBytes) return;
  glyphs_.clear();
  cachedBytes_ = 0;
}

TFaceCache& TFaceCache::ForThisThread() {
  thread_local TFaceCache cache;
  return cache;
}

TFaceCache::TFaceCache() {
  if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  buffer_ = hb_buffer_create();
}

TFaceCache::~TFaceCache() {
  faces_.clear();  // faces before their library
  hb_buffer_destroy(buffer_);
  if (library_) FT_Done_FreeType(library_);
}

TFace* TFaceCache::Get(int32_t fontId, int32_t pixelSize) {
  const auto key = std::make_pair(fontId, pixelSize);
  auto found = faces_.find(key);
  if (found != faces_.end()) return found->second.get();
  std::unique_ptr<TFace>& slot = faces_[key];  // a failure is remembered as null
  if (!library_ || fontId < 0) return nullptr;
  const TFontFile file = TFontCatalog::Instance().File(fontId);
  if (file.Path.empty()) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(library_, file.Path.c_str(), file.Index, &face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  slot = std::make_unique<TFace>(face, file.SyntheticBold, file.SyntheticItalic);
  return slot.get();
}

void TFaceCache::Trim() {
  if (faces_.size() > kMaxFaces) faces_.clear();
  for (auto& [key, face] : faces_)
    if (face) face->Trim();
}

}  // namespace tvx::text
