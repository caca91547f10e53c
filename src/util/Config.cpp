#include "util/Config.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>

#include "util/AtomicFile.h"
#include "util/Stream.h"
#include "util/Utils.h"

namespace tvx {
namespace {

std::string_view Trim(std::string_view s) {
  const char* space = " \t\r\n\v\f";
  size_t first = s.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(space) - first + 1);
}

// Files written on Windows may carry Windows-1252 text.
std::string AsUtf8(std::string_view s) { return IsValidUtf8(s) ? std::string(s) : Cp1252ToUtf8(s); }

// A line break inside a stored value would split it and could forge other keys.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

bool ParseInteger(std::string_view text, int32_t& value) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  // Hexadecimal as the original reader accepted it.
  if (text.size() > 1 && text[0] == '$') {
    base = 16, text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16, text.remove_prefix(2);
  }
  if (text.empty() || text[0] == '+' || text[0] == '-') return false;
  int64_t magnitude = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  int64_t result = negative ? -magnitude : magnitude;
  if (result < std::numeric_limits<int32_t>::min() || result > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(result);
  return true;
}

bool ParseFloat(std::string_view text, double& value) {
  std::string s(Trim(text));
  if (s.find('.') == std::string::npos)
    if (auto comma = s.find(','); comma != std::string::npos) s[comma] = '.';
  const char* begin = s.data();
  if (!s.empty() && s[0] == '+') ++begin;
  double result = 0;
  auto [end, error] = std::from_chars(begin, s.data() + s.size(), result, std::chars_format::general);
  if (error != std::errc() || end != s.data() + s.size() || begin == end || !std::isfinite(result)) return false;
  value = result;
  return true;
}

}  // namespace

TConfig::TConfig(std::string fileName) : fileName_(std::move(fileName)) {
  try {
    TMemoryStream file;
    file.LoadFromFile(fileName_);
    const auto& bytes = file.Bytes();
    LoadFromText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (...) {
    // A missing or unreadable file is a first start.
  }
}

TConfig::~TConfig() { UpdateFile(); }

void TConfig::LoadFromText(std::string_view text) {
  sections_.clear();
  sectionIndex_.clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TSection* current = nullptr;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      current = &SectionFor(OneLine(AsUtf8(Trim(line.substr(1, line.size() - 2)))));
      continue;
    }
    size_t equals = line.find('=');
    if (!current || equals == std::string_view::npos) continue;
    // A stray carriage return inside a line reads as the space it is written
    // as, so that two names that save alike are one name already.
    std::string key = OneLine(AsUtf8(Trim(line.substr(0, equals))));
    if (key.empty()) continue;
    Set(*current, key, OneLine(AsUtf8(Trim(line.substr(equals + 1)))), true);
  }
}

std::string TConfig::SaveToText() const {
  std::string text;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0) text += "\n";
    text.append("[").append(OneLine(sections_[i].Name)).append("]\n");
    for (const auto& [key, value] : sections_[i].Values)
      text.append(OneLine(key)).append("=").append(OneLine(value)).append("\n");
  }
  return text;
}

const std::string* TConfig::Find(const std::string& section, const std::string& key) const {
  auto s = sectionIndex_.find(section);
  if (s == sectionIndex_.end()) return nullptr;
  const TSection& found = sections_[s->second];
  auto k = found.Index.find(key);
  return k == found.Index.end() ? nullptr : &found.Values[k->second].second;
}

TConfig::TSection& TConfig::SectionFor(const std::string& section) {
  auto [it, added] = sectionIndex_.emplace(section, sections_.size());
  if (added) sections_.push_back(TSection{section, {}, {}});
  return sections_[it->second];
}

void TConfig::Set(TSection& section, const std::string& key, std::string value, bool keepExisting) {
  auto [it, added] = section.Index.emplace(key, section.Values.size());
  if (added) section.Values.emplace_back(key, std::move(value));
  else if (!keepExisting) section.Values[it->second].second = std::move(value);
}

bool TConfig::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

int32_t TConfig::ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const {
  const std::string* text = Find(section, key);
  int32_t value = defaultValue;
  return text && ParseInteger(*text, value) ? value : defaultValue;
}

double TConfig::ReadFloat(const std::string& section, const std::string& key, double defaultValue) const {
  const std::string* text = Find(section, key);
  double value = defaultValue;
  return text && ParseFloat(*text, value) ? value : defaultValue;
}

std::string TConfig::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  const std::string* text = Find(section, key);
  return text ? *text : defaultValue;
}

void TConfig::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TConfig::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TConfig::WriteFloat(const std::string& section, const std::string& key, double value) {
  if (!std::isfinite(value)) value = 0;
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);  // shortest, locale-free
  WriteString(section, key, error == std::errc() ? std::string(buffer, end) : std::string("0"));
}

void TConfig::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  Set(SectionFor(section), key, value, false);
}

bool TConfig::SectionExists(const std::string& section) const { return sectionIndex_.count(section) != 0; }

bool TConfig::ValueExists(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

bool TConfig::UpdateFile() noexcept {
  if (fileName_.empty()) return true;
  try {
    std::string text = SaveToText();
    WriteFileAtomically(fileName_, text.data(), text.size());
    return true;
  } catch (...) {
    // The settings of this run are lost, the previous file stays; the store
    // shows no message of its own.
    return false;
  }
}

}  // namespace tvx
