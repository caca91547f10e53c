#include "raster/text/FontCatalog.h"

#include <fontconfig/fontconfig.h>
#include <hb.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace tvx::text {

namespace {

const char* const kGenericFamily = "sans-serif";

struct TPatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct TObjectSetDeleter {
  void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
struct TFontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct TCharSetDeleter {
  void operator()(FcCharSet* c) const { FcCharSetDestroy(c); }
};
using TPatternPtr = std::unique_ptr<FcPattern, TPatternDeleter>;
using TObjectSetPtr = std::unique_ptr<FcObjectSet, TObjectSetDeleter>;
using TFontSetPtr = std::unique_ptr<FcFontSet, TFontSetDeleter>;
using TCharSetPtr = std::unique_ptr<FcCharSet, TCharSetDeleter>;

// Characters that belong to the cluster of the character before them: they
// must not be split off into another font's run when that font has them.
bool AttachesToPrevious(char32_t cp) {
  if (cp == 0x200C || cp == 0x200D) return true;                                        // ZWNJ, ZWJ
  if ((cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF)) return true;  // variation selectors
  switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), cp)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
      return true;
    default:
      return false;
  }
}

// A font needs synthetic styles when the face fontconfig picked is lighter or
// more upright than asked for.
TFontFile FileOfPattern(FcPattern* font, bool bold, bool italic) {
  TFontFile file;
  FcChar8* path = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &path) == FcResultMatch && path)
    file.Path = reinterpret_cast<char*>(path);
  int index = 0;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) file.Index = index;
  int weight = FC_WEIGHT_REGULAR;
  FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(font, FC_SLANT, 0, &slant);
  // A matched pattern may already carry fontconfig's own verdict (its
  // synthetic rules set embolden, and an oblique matrix with a faked slant).
  FcBool embolden = FcFalse;
  FcPatternGetBool(font, FC_EMBOLDEN, 0, &embolden);
  FcMatrix* matrix = nullptr;
  const bool sheared =
      FcPatternGetMatrix(font, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix && matrix->xy != 0;
  file.SyntheticBold = bold && (embolden || weight < FC_WEIGHT_DEMIBOLD);
  file.SyntheticItalic = italic && (sheared || slant == FC_SLANT_ROMAN);
  return file;
}

// Generic names are fontconfig's own aliases: whatever it picks for them is
// the answer, not a sign that the family is missing.
bool IsGenericFamily(const std::string& family) {
  for (const char* generic :
       {"sans-serif", "sans", "serif", "monospace", "mono", "cursive", "fantasy", "system-ui"})
    if (FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(family.c_str()),
                           reinterpret_cast<const FcChar8*>(generic)) == 0)
      return true;
  return false;
}

bool HasFamily(FcPattern* font, const std::string& family) {
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0) return true;
  }
  return false;
}

TPatternPtr MakeRequest(const std::string& family, bool bold, bool italic) {
  TPatternPtr pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

}  // namespace

struct TFontCatalog::TImpl {
  struct TFont {
    TFontFile File;
    TCharSetPtr CharSet;  // null: coverage unknown, taken as "has everything"
  };
  // What a primary font needs for finding fallbacks: the request it was
  // matched for and, once needed, fontconfig's sorted list for that request.
  struct TFallback {
    TPatternPtr Request;
    bool Bold = false, Italic = false;
    bool Sorted = false;
    TFontSetPtr Candidates;
    std::unordered_map<char32_t, int32_t> ByChar;
  };

  std::mutex Mutex;
  std::vector<TFont> Fonts;
  std::map<std::tuple<std::string, int32_t, bool, bool>, int32_t> IdOfFile;
  std::map<std::tuple<std::string, bool, bool>, int32_t> IdOfRequest;
  std::map<int32_t, TFallback> Fallbacks;

  int32_t Register(FcPattern* font, bool bold, bool italic) {
    TFontFile file = FileOfPattern(font, bold, italic);
    if (file.Path.empty()) return -1;
    auto key = std::make_tuple(file.Path, file.Index, file.SyntheticBold, file.SyntheticItalic);
    auto found = IdOfFile.find(key);
    if (found != IdOfFile.end()) return found->second;
    TFont entry;
    entry.File = std::move(file);
    FcCharSet* charSet = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charSet) == FcResultMatch && charSet)
      entry.CharSet.reset(FcCharSetCopy(charSet));
    const auto id = static_cast<int32_t>(Fonts.size());
    Fonts.push_back(std::move(entry));
    IdOfFile.emplace(std::move(key), id);
    return id;
  }

  bool Covers(int32_t id, char32_t cp) const {
    const TFont& font = Fonts[static_cast<size_t>(id)];
    return !font.CharSet || FcCharSetHasChar(font.CharSet.get(), cp);
  }

  int32_t Fallback(int32_t primary, char32_t cp) {
    auto it = Fallbacks.find(primary);
    if (it == Fallbacks.end()) return primary;
    TFallback& fb = it->second;
    auto known = fb.ByChar.find(cp);
    if (known != fb.ByChar.end()) return known->second;
    if (!fb.Sorted) {
      fb.Sorted = true;
      FcResult result = FcResultNoMatch;
      fb.Candidates.reset(FcFontSort(nullptr, fb.Request.get(), FcTrue, nullptr, &result));
    }
    int32_t chosen = primary;
    if (fb.Candidates) {
      for (int i = 0; i < fb.Candidates->nfont; ++i) {
        FcPattern* font = fb.Candidates->fonts[i];
        FcBool outline = FcTrue;
        // Bitmap-only faces (colour emoji strikes) cannot be scaled to any size.
        if (FcPatternGetBool(font, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) continue;
        FcCharSet* charSet = nullptr;
        if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charSet) != FcResultMatch || !charSet) continue;
        if (!FcCharSetHasChar(charSet, cp)) continue;
        const int32_t id = Register(font, fb.Bold, fb.Italic);
        if (id >= 0) {
          chosen = id;
          break;
        }
      }
    }
    fb.ByChar.emplace(cp, chosen);
    return chosen;
  }
};

TFontCatalog& TFontCatalog::Instance() {
  static TFontCatalog catalog;
  return catalog;
}

TFontCatalog::TFontCatalog() : impl_(std::make_unique<TImpl>()) { FcInit(); }

TFontCatalog::~TFontCatalog() = default;

int32_t TFontCatalog::Resolve(const std::string& family, bool bold, bool italic) {
  std::lock_guard lock(impl_->Mutex);
  auto key = std::make_tuple(family, bold, italic);
  auto found = impl_->IdOfRequest.find(key);
  if (found != impl_->IdOfRequest.end()) return found->second;

  // fontconfig always answers with some font; only a face of the family asked
  // for counts, anything else means the family is not installed.
  int32_t id = -1;
  TPatternPtr request;
  for (const std::string& name : {family, std::string(kGenericFamily)}) {
    if (name.empty()) continue;
    request = MakeRequest(name, bold, italic);
    FcResult result = FcResultNoMatch;
    TPatternPtr match(FcFontMatch(nullptr, request.get(), &result));
    if (!match) continue;
    if (!IsGenericFamily(name) && !HasFamily(match.get(), name)) continue;
    id = impl_->Register(match.get(), bold, italic);
    if (id >= 0) break;
  }
  if (id >= 0 && !impl_->Fallbacks.count(id)) {
    TImpl::TFallback fb;
    fb.Request = std::move(request);
    fb.Bold = bold;
    fb.Italic = italic;
    impl_->Fallbacks.emplace(id, std::move(fb));
  }
  impl_->IdOfRequest.emplace(std::move(key), id);
  return id;
}

std::vector<int32_t> TFontCatalog::FontsFor(int32_t primary, const std::u32string& text) {
  std::vector<int32_t> ids(text.size(), primary);
  if (primary < 0) return ids;
  std::lock_guard lock(impl_->Mutex);
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t cp = text[i];
    if (impl_->Covers(primary, cp)) continue;
    if (i > 0 && ids[i - 1] != primary && AttachesToPrevious(cp) && impl_->Covers(ids[i - 1], cp)) {
      ids[i] = ids[i - 1];
      continue;
    }
    ids[i] = impl_->Fallback(primary, cp);
  }
  return ids;
}

TFontFile TFontCatalog::File(int32_t id) {
  std::lock_guard lock(impl_->Mutex);
  if (id < 0 || static_cast<size_t>(id) >= impl_->Fonts.size()) return {};
  return impl_->Fonts[static_cast<size_t>(id)].File;
}

}  // namespace tvx::text

namespace tvx::text {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const int order = FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(a.c_str()),
                                       reinterpret_cast<const FcChar8*>(b.c_str()));
  return order != 0 ? order < 0 : a < b;
}

// Whether fontconfig answers a request for the family with a face of it.
bool MatchesItself(const std::string& family) {
  TPatternPtr request = MakeRequest(family, false, false);
  FcResult result = FcResultNoMatch;
  TPatternPtr match(FcFontMatch(nullptr, request.get(), &result));
  return match && HasFamily(match.get(), family);
}

}  // namespace

std::vector<std::string> TFontCatalog::Families() {
  std::lock_guard lock(impl_->Mutex);
  if (families_) return *families_;
  std::vector<std::string> names;
  TPatternPtr all(FcPatternCreate());
  FcPatternAddBool(all.get(), FC_OUTLINE, FcTrue);
  TObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, nullptr));
  TFontSetPtr fonts(FcFontList(nullptr, all.get(), objects.get()));
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* name = nullptr;
    // The first name is the family's own; later ones are translations.
    if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch && name && *name)
      names.emplace_back(reinterpret_cast<char*>(name));
  }
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  names.erase(std::unique(names.begin(), names.end()), names.end());
  // A name that fontconfig maps to another family would draw in that one.
  names.erase(
      std::remove_if(names.begin(), names.end(), [](const std::string& n) { return !MatchesItself(n); }),
      names.end());
  families_ = names;
  return names;
}

bool TFontCatalog::IsInstalled(const std::string& family) {
  if (family.empty()) return false;
  if (IsGenericFamily(family)) return true;
  std::lock_guard lock(impl_->Mutex);
  return MatchesItself(family);
}

}  // namespace tvx::text
