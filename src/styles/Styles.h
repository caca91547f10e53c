#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "styles/FilterParams.h"
#include "util/Stream.h"

namespace tvx {

/// Registers "Stroke" (10), "Drop Shadow" (-10), "Glow" (10, the shadow's
/// operation) and "Gradient" (11). Calling it again changes nothing.
/// The settings frames are user-interface code: the program keeps its own
/// map from these names to frame factories, so the core stays free of Qt.
void RegisterFilterKinds();
/// RegisterFilterKinds, then LoadStyles(). The main window calls it once; an
/// error of a damaged styles file reaches the caller after the kinds are
/// registered and the styles read so far are kept, so start-up can report
/// it and go on.
void RegisterFilters();

/// Called with its owner when the set of saved styles changes.
using TStylesListener = void (*)(void* owner);

using TStylesType = std::map<std::string, TFiltersParams>;

/// The saved named styles. "Custom" and "None" are the fixed rows of every
/// style list and are never stored. Not thread-safe: the user-interface
/// thread owns it.
class TStyles {
 public:
  /// "Custom", "None", then every style name in map order.
  void GetNames(std::vector<std::string>& list) const;
  /// A copy of the style, or an empty style when no style has that name.
  TFiltersParams GetStyle(const std::string& name) const;
  /// Inserts and notifies; an existing style of that name stays unchanged
  /// and nobody is notified.
  void AddStyle(const std::string& name, const TFiltersParams& params);
  /// Inserts the style or replaces the one of that name; notifies.
  void ReplaceStyle(const std::string& name, const TFiltersParams& params);
  bool HasStyle(const std::string& name) const { return items_.count(name) != 0; }
  /// Removes the style if present; notifies in every case.
  void DeleteStyle(const std::string& name);

  /// Appends the pair unless it is registered already.
  void AddListener(TStylesListener callback, void* owner);
  /// Removes every identical pair.
  void RemoveListener(TStylesListener callback, void* owner);

  void SaveToStream(TStream& stream) const;
  /// Writes the whole file through a temporary file renamed over it: a
  /// failed write raises and leaves the old file as it was.
  void SaveToFile(const std::string& fileName) const;
  /// Empties the map, then reads ("STYL", version 1, count, count x (name,
  /// TFiltersParams)); the first occurrence of a name wins. On an error the
  /// styles read completely so far stay and the error travels on; the
  /// listeners are notified only after a successful load.
  void LoadFromStream(TStream& stream);

  const TStylesType& Items() const { return items_; }

 private:
  void Notify() const;

  TStylesType items_;
  std::vector<std::pair<TStylesListener, void*>> listeners_;
};

/// The program's one set of saved styles.
TStyles& Styles();

/// folder + ".styles"; a separator is put between them when folder lacks one.
std::string StylesFileName(const std::string& folder);
/// ".styles" in the program's own data folder (UserDataFolder, beside ".config").
std::string StylesFileName();
/// Loads the styles file of folder into Styles() when it exists. A damaged
/// file raises its error after the styles read so far were kept, so the
/// caller can report it and carry on.
void LoadStyles(const std::string& folder);
/// Writes Styles() to the styles file of folder through a temporary file
/// renamed over it: a failed write leaves the old file as it was.
void SaveStyles(const std::string& folder);
/// LoadStyles and SaveStyles for the program's own data folder.
void LoadStyles();
void SaveStyles();

}  // namespace tvx
