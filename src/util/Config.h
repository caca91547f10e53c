#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tvx {

/// The program's settings store: an ini-style text file held in memory as an
/// ordered list of sections, each an ordered list of key/value pairs, values
/// as text. Section names and keys are case-sensitive. Reads and writes touch
/// memory only; UpdateFile (called by the destructor) writes the file.
///
/// File format: "[section]" opens a section, "key=value" sets a value in it;
/// spaces around names and values, blank lines, ";" or "#" comments, a UTF-8
/// byte-order mark and CRLF line ends are accepted. Lines that fit nothing,
/// keys outside any section and later repeats of a key are ignored (the first
/// value of a key counts); a repeated section continues the first one.
/// Not thread-safe; the program uses it from the user-interface thread.
class TConfig {
 public:
  /// A store with no file: UpdateFile does nothing.
  TConfig() = default;
  /// Reads fileName whole when it exists; a missing or unreadable file gives
  /// an empty store. Never throws for the file's content.
  explicit TConfig(std::string fileName);
  /// Writes the file (UpdateFile); never throws.
  ~TConfig();
  TConfig(const TConfig&) = delete;
  TConfig& operator=(const TConfig&) = delete;

  /// Replaces the whole content with the parsed text.
  void LoadFromText(std::string_view text);
  /// The content in the file format ("\n" line ends).
  std::string SaveToText() const;

  /// Typed reads: the default when the section or key is absent or the text
  /// does not parse. Booleans are integers, any non-zero one true.
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const;
  /// "." is the decimal point whatever the locale; a "," is accepted too.
  double ReadFloat(const std::string& section, const std::string& key, double defaultValue) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;

  /// Typed writes; they create the section and key when absent.
  void WriteBool(const std::string& section, const std::string& key, bool value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteFloat(const std::string& section, const std::string& key, double value);
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;

  /// Writes the whole store to the file through a temporary file renamed over
  /// it. Returns false when that failed; the old file is then unchanged.
  /// Nothing is shown to the user. Does nothing (true) without a file name.
  bool UpdateFile() noexcept;

  const std::string& FileName() const { return fileName_; }

 private:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
    std::unordered_map<std::string, size_t> Index;
  };

  const std::string* Find(const std::string& section, const std::string& key) const;
  TSection& SectionFor(const std::string& section);
  void Set(TSection& section, const std::string& key, std::string value, bool keepExisting);

  std::string fileName_;
  std::vector<TSection> sections_;
  std::unordered_map<std::string, size_t> sectionIndex_;
};

}  // namespace tvx
