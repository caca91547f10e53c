#include "util/Utils.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <set>
#include <utility>

#include "util/Error.h"

namespace tvx {
namespace {

// ---- UTF-8 ------------------------------------------------------------------

// Decodes one code point at text[i] and advances i. A byte that does not start
// a well-formed sequence comes back as 0x110000 + byte, which never equals a
// real code point, so such names still match only themselves.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b0 = byte(i);
  auto invalid = [&]() {
    ++i;
    return static_cast<char32_t>(0x110000u + b0);
  };
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  size_t length;
  char32_t cp;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return invalid();
  }
  if (i + length > text.size()) return invalid();
  for (size_t k = 1; k < length; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return invalid();
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return invalid();
  i += length;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp >= 0x110000) {  // an undecodable byte goes back out as it came in
    out.push_back(static_cast<char>(cp - 0x110000));
  } else if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Simple case folding for the scripts file names on a western Windows system
// commonly use; other code points compare exactly.
char32_t FoldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xFF;
    bool evenUpper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenUpper && c % 2 == 0) return c + 1;
    if (oddUpper && c % 2 == 1) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::u32string FoldedCodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out.push_back(FoldCase(DecodeUtf8(text, i)));
  return out;
}

// Iterative wildcard match with single-star backtracking: linear in practice,
// never exponential.
bool MatchFolded(const std::u32string& name, const std::u32string& mask) {
  size_t n = 0, m = 0, starMask = std::u32string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
      ++n, ++m;
    } else if (m < mask.size() && mask[m] == U'*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::u32string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == U'*') ++m;
  return m == mask.size();
}

// ---- directory listing -----------------------------------------------------

struct TEntry {
  std::string Name;
  int Attributes = 0;
  dev_t Device = 0;
  ino_t Inode = 0;
};

// Calls visit(entry) for every entry of folder ("" = current folder) but "."
// and "..", sorted by name. Entries that vanish while listing are skipped.
template <typename Visit>
void ListFolder(const std::string& folder, Visit&& visit) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  std::vector<TEntry> entries;
  while (dirent* d = readdir(dir)) {
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    TEntry entry;
    entry.Name = d->d_name;
    struct stat st;
    // stat follows links, so a link to a folder lists as a folder (as a
    // junction does on the original platform).
    if (stat((folder + entry.Name).c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) entry.Attributes |= faDirectory;
      entry.Device = st.st_dev;
      entry.Inode = st.st_ino;
    } else if (d->d_type == DT_DIR) {
      entry.Attributes |= faDirectory;
    }
    if (!(entry.Attributes & faDirectory)) entry.Attributes |= faArchive;
    if (entry.Name[0] == '.') entry.Attributes |= faHidden;
    entries.push_back(std::move(entry));
  }
  closedir(dir);  // closed before visiting, so deep trees do not pile up open descriptors
  // Directory order differs between file systems and even between two copies
  // of a folder: listed by name, letter case ignored, the pictures of "-a" and
  // "-ar" (and so their run order and repeat numbers) are the same everywhere.
  std::vector<std::pair<std::u32string, size_t>> order;
  order.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) order.emplace_back(FoldedCodePoints(entries[i].Name), i);
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : entries[a.second].Name < entries[b.second].Name;
  });
  for (const auto& [folded, index] : order) visit(entries[index]);
}

void SearchRecursive(const std::string& folder, const std::u32string& namePart, int includeAttr,
                     int excludeAttr, std::vector<std::string>& list,
                     std::set<std::pair<dev_t, ino_t>>& visited) {
  ListFolder(folder, [&](const TEntry& entry) {
    bool isDirectory = entry.Attributes & faDirectory;
    if (isDirectory && visited.emplace(entry.Device, entry.Inode).second)
      SearchRecursive(folder + entry.Name + "/", namePart, includeAttr, excludeAttr, list, visited);
    if (includeAttr != 0 && !(entry.Attributes & includeAttr)) return;
    if (excludeAttr != 0 && (entry.Attributes & excludeAttr)) return;
    if (!namePart.empty() && FoldedCodePoints(entry.Name).find(namePart) == std::u32string::npos) return;
    list.push_back(folder + entry.Name + (isDirectory ? "/" : ""));
  });
}

// Windows-1252 bytes 0x80 to 0x9F; the rest of the upper half equals Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Keeps a bitmap's drawing properties while its pixels are replaced.
void ReplacePixels(TBitmap32& bitmap, TBitmap32&& content) {
  TDrawMode drawMode = bitmap.DrawMode;
  TCombineMode combineMode = bitmap.CombineMode;
  uint8_t masterAlpha = bitmap.MasterAlpha;
  TStretchFilter filter = bitmap.StretchFilter;
  bitmap = std::move(content);
  bitmap.DrawMode = drawMode;
  bitmap.CombineMode = combineMode;
  bitmap.MasterAlpha = masterAlpha;
  bitmap.StretchFilter = filter;
}

bool MarginsFit(const TBitmap32& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  int64_t width = int64_t(bitmap.Width()) + left + right;
  int64_t height = int64_t(bitmap.Height()) + top + bottom;
  return width <= kMax && height <= kMax;
}

// xorshift64*: fast, good enough for visual noise, no shared state.
class TNoiseGenerator {
 public:
  TNoiseGenerator() {
    uint64_t seed = static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    seed ^= reinterpret_cast<uintptr_t>(this);
    state_ = seed ? seed : 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 4; ++i) Next();
  }
  uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  /// 0 to bound - 1.
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>((uint64_t(Next()) * bound) >> 32); }

 private:
  uint64_t state_;
};

}  // namespace

// ---- text -------------------------------------------------------------------

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();)
    if (DecodeUtf8(text, i) >= 0x110000) return false;
  return true;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b >= 0x80 && b <= 0x9F ? char32_t(kCp1252High[b - 0x80]) : char32_t(b));
  }
  return out;
}

std::string LowerCaseUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) AppendUtf8(out, FoldCase(DecodeUtf8(text, i)));
  return out;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*") mask = "*";
  return MatchFolded(FoldedCodePoints(name), FoldedCodePoints(mask));
}

// ---- files ------------------------------------------------------------------

void FindFiles(const std::string& mask, int attr, std::vector<std::string>* list, bool append) {
  if (!list) return;
  if (!append) list->clear();
  const std::string folder = ExtractFilePath(mask);
  std::string pattern = ExtractFileName(mask);
  if (pattern.empty()) return;
  if (pattern == "*.*") pattern = "*";
  std::u32string foldedPattern = FoldedCodePoints(pattern);
  ListFolder(folder, [&](const TEntry& entry) {
    if (attr != 0 && !(entry.Attributes & attr)) return;
    if (MatchFolded(FoldedCodePoints(entry.Name), foldedPattern)) list->push_back(entry.Name);
  });
}

void FindFilesRecursive(const std::string& folder, const std::string& namePart, int includeAttr,
                        int excludeAttr, std::vector<std::string>* list, bool append) {
  if (!list) return;
  if (!append) list->clear();
  // An empty folder would otherwise become "/" and search the whole file system.
  if (folder.empty()) return;
  std::string start = IncludeTrailingPathDelimiter(folder);
  std::set<std::pair<dev_t, ino_t>> visited;
  struct stat st;
  if (stat(start.c_str(), &st) == 0) visited.emplace(st.st_dev, st.st_ino);
  SearchRecursive(start, FoldedCodePoints(namePart), includeAttr, excludeAttr, *list, visited);
}

int64_t GetFileSizeOf(const std::string& fileName) {
  std::string path = fileName;
  if (fileName.find_first_of("*?") != std::string::npos) {
    std::vector<std::string> matches;
    FindFiles(fileName, 0, &matches, false);
    if (matches.empty()) return -1;
    path = ExtractFilePath(fileName) + matches.front();
  }
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return -1;
  return S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
}

// ---- stream strings ---------------------------------------------------------

std::string ToCrLfLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      result += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      result += c;
    }
  }
  return result;
}

std::string ToLfLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      result += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      result += c;
    }
  }
  return result;
}

std::string FirstLine(std::string_view text) {
  return std::string(text.substr(0, text.find_first_of("\r\n")));
}

void WriteString(TStream& stream, const std::string& text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    RaiseError("WriteString", 231, "String too long!");
  stream.WriteSignature("STR1");
  stream.WriteValue<int32_t>(static_cast<int32_t>(text.size()));
  stream.Write(text.data(), text.size());
}

std::string ReadString(TStream& stream) {
  char tag[4];
  size_t n = stream.Read(tag, 4);
  if (n != 4 || std::string_view(tag, 4) != "STR1")
    RaiseError("ReadString", 232, "Invalid string (Stream pointer: " + std::to_string(stream.Position()) + ")!");
  // A cut-off length field or a length beyond the stream's end is a damaged
  // file: say so before allocating anything.
  uint32_t length = 0;
  if (stream.Remaining() < 4 || (length = stream.ReadValue<uint32_t>()) > stream.Remaining())
    RaiseError("ReadString", 233,
               "Invalid string length (Stream pointer: " + std::to_string(stream.Position()) + ")!");
  std::string text(length, '\0');
  stream.ReadBuffer(text.data(), text.size());
  return IsValidUtf8(text) ? text : Cp1252ToUtf8(text);
}

int32_t ExtractNumber(const std::string& text) {
  int64_t value = 0;
  bool any = false;
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    any = true;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int32_t>::max()) return 0;
  }
  return any ? static_cast<int32_t>(value) : 0;
}

std::string ReplaceText(const std::string& search, const std::string& replacement, const std::string& text) {
  // An empty search text is contained in every replacement.
  if (replacement.find(search) != std::string::npos) return text;
  // Replacing the leftmost occurrence and rescanning from the start is the
  // same as moving characters one by one from the input to the output (which
  // never holds an occurrence) and, whenever the output ends with the search
  // text, taking it off and putting the replacement in front of the input:
  // the leftmost occurrence is the one that ends first. This costs time in
  // proportion to the characters moved instead of the text length per
  // replacement. The input is a stack, its front at the back.
  std::string output;
  std::string input(text.rbegin(), text.rend());
  const std::string reversedReplacement(replacement.rbegin(), replacement.rend());
  const size_t n = search.size();
  // Some pairs grow without end (a replacement that makes the search text
  // again with what follows it); stop replacing at a size no text needs.
  constexpr size_t kMaxLength = size_t(16) << 20;
  output.reserve(text.size());
  while (!input.empty()) {
    output.push_back(input.back());
    input.pop_back();
    if (output.size() < n || output.back() != search.back() ||
        output.compare(output.size() - n, n, search) != 0)
      continue;
    if (replacement.size() > n && output.size() + input.size() - n + replacement.size() > kMaxLength) break;
    output.resize(output.size() - n);
    input += reversedReplacement;
  }
  output.append(input.rbegin(), input.rend());
  return output;
}

// ---- bitmaps ----------------------------------------------------------------

void AddMargins(TBitmap32& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0) return;
  if (left == 0 && top == 0 && right == 0 && bottom == 0) return;
  if (!MarginsFit(bitmap, left, top, right, bottom)) return;
  int32_t width = bitmap.Width(), height = bitmap.Height();
  TBitmap32 result(width + left + right, height + top + bottom);
  result.Clear(0);
  for (int32_t y = 0; y < height && width > 0; ++y)
    std::memcpy(result.ScanLine(y + top) + left, bitmap.ScanLine(y), sizeof(TColor32) * width);
  ReplacePixels(bitmap, std::move(result));
}

void CropToOpaque(TBitmap32& bitmap) {
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  int32_t top = -1, bottom = -1, left = width, right = -1;
  for (int32_t y = 0; y < height; ++y) {
    const TColor32* row = bitmap.ScanLine(y);
    int32_t first = 0;
    while (first < width && AlphaOf(row[first]) == 0) ++first;
    if (first == width) continue;
    int32_t last = width - 1;
    while (AlphaOf(row[last]) == 0) --last;
    if (top < 0) top = y;
    bottom = y;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  TBitmap32 result;
  if (top < 0) {
    result.SetSize(1, 1);
    result.Clear(0);
  } else {
    if (left == 0 && top == 0 && right == width - 1 && bottom == height - 1) return;
    const int32_t newWidth = right - left + 1;
    result.SetSize(newWidth, bottom - top + 1);
    for (int32_t y = top; y <= bottom; ++y)
      std::memcpy(result.ScanLine(y - top), bitmap.ScanLine(y) + left, sizeof(TColor32) * newWidth);
  }
  ReplacePixels(bitmap, std::move(result));
}

std::vector<int32_t> AlphaToFlatMatrix(const TBitmap32& bitmap, int32_t left, int32_t top, int32_t right,
                                       int32_t bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0 || !MarginsFit(bitmap, left, top, right, bottom))
    return {};
  const size_t rowLength = size_t(bitmap.Width()) + left + right;
  const size_t rows = size_t(bitmap.Height()) + top + bottom;
  std::vector<int32_t> matrix(rowLength * rows, 0);
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const TColor32* src = bitmap.ScanLine(y);
    int32_t* dst = matrix.data() + (size_t(y) + top) * rowLength + left;
    for (int32_t x = 0; x < bitmap.Width(); ++x) dst[x] = AlphaOf(src[x]);
  }
  return matrix;
}

std::vector<std::vector<int32_t>> AlphaToMatrix(const TBitmap32& bitmap, int32_t left, int32_t top,
                                                int32_t right, int32_t bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0 || !MarginsFit(bitmap, left, top, right, bottom))
    return {};
  const size_t rowLength = size_t(bitmap.Width()) + left + right;
  const size_t rows = size_t(bitmap.Height()) + top + bottom;
  std::vector<std::vector<int32_t>> matrix(rows, std::vector<int32_t>(rowLength, 0));
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const TColor32* src = bitmap.ScanLine(y);
    std::vector<int32_t>& dst = matrix[size_t(y) + top];
    for (int32_t x = 0; x < bitmap.Width(); ++x) dst[size_t(x) + left] = AlphaOf(src[x]);
  }
  return matrix;
}

void SetAlphaFromMatrix(TBitmap32& bitmap, const std::vector<int32_t>& matrix, int32_t rowLength,
                        int32_t columnOffset, int32_t rowOffset) {
  if (rowLength < 0 || columnOffset < 0 || rowOffset < 0) return;
  const uint64_t size = matrix.size();
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    TColor32* row = bitmap.ScanLine(y);
    const uint64_t rowStart = (uint64_t(rowOffset) + y) * uint64_t(rowLength) + uint64_t(columnOffset);
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      uint64_t index = rowStart + x;
      if (index >= size) break;  // later pixels of the row lie further on
      row[x] = SetAlpha(row[x], static_cast<uint8_t>(matrix[index]));
    }
  }
}

void AddAlphaNoise(TBitmap32& bitmap, int32_t amount) {
  if (bitmap.Empty() || amount < 1 || amount > 255) return;
  TNoiseGenerator random;
  TColor32* pixel = bitmap.Bits();
  const size_t count = size_t(bitmap.Width()) * bitmap.Height();
  for (size_t i = 0; i < count; ++i) {
    uint32_t a = AlphaOf(pixel[i]);
    if (a == 0) continue;
    uint32_t m = std::min<uint32_t>(a, uint32_t(amount));
    pixel[i] = SetAlpha(pixel[i], static_cast<uint8_t>(a - m + random.Below(m)));
  }
}

}  // namespace tvx
