#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvx::text {

/// A font file as the rasteriser opens it, with the styles FreeType has to
/// synthesise because the face lacks them.
struct TFontFile {
  std::string Path;
  int32_t Index = 0;
  bool SyntheticBold = false;
  bool SyntheticItalic = false;
};

/// Process-wide fontconfig front end: family lookup with the sans-serif
/// fallback, and per-character fallback fonts. Fonts are named by small
/// integer ids that stay valid for the life of the process. Thread-safe
/// (one mutex; the results are cached, so the lock is held only briefly).
class TFontCatalog {
 public:
  static TFontCatalog& Instance();

  /// The id of the font for the family and style, or -1 when fontconfig knows
  /// no font at all. A family that is not installed gives the sans-serif font.
  int32_t Resolve(const std::string& family, bool bold, bool italic);

  /// For each code point, the id of the font to draw it with: the primary
  /// font when it has the character, otherwise the first font in fontconfig's
  /// order of preference for the primary's request that has it (the primary
  /// again when none has it). Combining marks and joiners stay with the font
  /// of the character before them when that font has them.
  std::vector<int32_t> FontsFor(int32_t primary, const std::u32string& text);

  /// The file of the font id (a copy: safe to keep).
  TFontFile File(int32_t id);

  /// The installed families that draw with their own faces: every scalable
  /// font's family name, each once, sorted ignoring letter case. A name of
  /// the list given to Resolve never falls back. Read once per process.
  std::vector<std::string> Families();
  /// Whether Resolve finds a face of this family itself (generic names such
  /// as "sans-serif" count as installed).
  bool IsInstalled(const std::string& family);

  TFontCatalog(const TFontCatalog&) = delete;
  TFontCatalog& operator=(const TFontCatalog&) = delete;
  ~TFontCatalog();

 private:
  TFontCatalog();
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
  std::optional<std::vector<std::string>> families_;  // guarded by the catalogue's mutex
};

}  // namespace tvx::text
