#pragma once

#include <optional>
#include <string>
#include <vector>

#include "styles/FilterParams.h"
#include "styles/Styles.h"

namespace tvx {

/// The texts of the layer style dialog's own messages.
inline constexpr const char* kLayerStyleTitle = "Layer Style";
inline constexpr const char* kStyleNameTitle = "Style name";
inline constexpr const char* kStyleNameEmpty = "Style name must not be empty.";
inline constexpr const char* kStyleNameReserved = "Style name must not be \"None\" or \"Custom\".";

/// "Style \"NAME\" already exists. Replace it?"
std::string StyleExistsQuestion(const std::string& name);
/// "Delete the style \"NAME\"?"
std::string DeleteStyleQuestion(const std::string& name);
/// What the user is told when the styles file cannot be written.
std::string StylesNotSavedMessage(const std::string& fileName, const std::string& error);

/// Why a name cannot name a saved style (kStyleNameEmpty, kStyleNameReserved
/// for "custom" and "none" in any letter case), or nothing when it can.
std::optional<std::string> CheckStyleName(const std::string& name);

/// The layer style dialog without its windows: a working copy of one
/// layer's styles, one row per registered filter kind with its check mark,
/// the row whose settings frame is shown, and the saved styles.
///
/// A row is checked exactly when the working copy has an entry of its kind,
/// and the current row's entry is always what its frame holds; the dialog
/// tells the model what the frame holds (frameParams) whenever that matters.
/// Entries of names that are not registered kinds are kept as they are.
/// Not thread-safe: the user-interface thread owns it.
class TStyleDialogModel {
 public:
  /// styles: the saved styles it lists, saves and deletes (the program's
  /// one set unless a test gives another); it must outlive the model.
  explicit TStyleDialogModel(TStyles& styles = Styles());

  // ---- the working copy and the filter rows -------------------------------

  /// Working copy := style; no current row (the frame goes, the help text shows).
  void SetStyle(const TFiltersParams& style);
  const TFiltersParams& Style() const { return working_; }

  /// The registered kinds in registry (name) order: "Drop Shadow", "Glow",
  /// "Gradient", "Stroke".
  const std::vector<std::string>& Rows() const { return rows_; }
  /// The row of a kind; -1 for a name that is not a row.
  int RowOf(const std::string& kind) const;
  bool Checked(int row) const;
  /// The row whose frame shows, -1 for none.
  int CurrentRow() const { return current_; }
  /// The current row's kind; empty without one.
  std::string CurrentKind() const;
  /// The working copy's entry of a kind, or null (its frame then shows defaults).
  const TFilterParams* Entry(const std::string& kind) const;

  /// The user selected a row (a click, the arrow keys). Nothing happens for
  /// the current row or a row that does not exist. Otherwise what the shown
  /// frame holds (frameParams, null without a frame) is stored for the
  /// current row, the selected row becomes current and checked, and its
  /// entry becomes what its frame shows of the old one (the kind's defaults
  /// when it had none). True when the dialog must show the row's frame.
  bool Select(int row, const TFilterParams* frameParams);
  /// The user toggled a row's check mark (its box, or Space). Unchecking
  /// removes the row's entry; a frame that shows the row stays, and its
  /// changes are not stored while the row stays unchecked. Checking a row
  /// selects it (see Select); checking the current row again stores what
  /// its frame holds. True when the dialog must show the row's frame.
  bool Toggle(int row, const TFilterParams* frameParams);
  /// The shown frame changed, or OK was pressed: what it holds becomes the
  /// current row's entry while that row is checked.
  void StoreFrame(const TFilterParams& frameParams);

  // ---- the saved styles ---------------------------------------------------

  /// The rows of the style list: "Custom", "None", then the saved names.
  std::vector<std::string> StyleRows() const;
  /// The row the style list shows after it was rebuilt: the same position
  /// when it still exists, else the first row.
  static int KeptStyleRow(int oldRow, int rowCount);
  /// Whether "Delete style" acts on a row of the style list: not on
  /// "Custom" and "None".
  static bool CanDelete(int row) { return row >= 2; }
  /// The user chose a row of the style list: "Custom" (row 0) changes
  /// nothing; any other row loads the saved style of that name ("None": no
  /// style) through SetStyle. True when the working copy was replaced.
  bool ChooseStyle(int row, const std::string& name);

  enum class TSaveResult {
    Refused,  ///< the name is refused (CheckStyleName says why); nothing stored
    Exists,   ///< a style of that name exists; ReplaceStyle after the user agreed
    Saved,    ///< stored; WriteStylesFile next
  };
  TSaveResult SaveStyle(const std::string& name);
  /// Stores the working copy under name, replacing a style of that name.
  void ReplaceStyle(const std::string& name);
  /// Removes the saved style of that name; the listeners are told either way.
  void DeleteStyle(const std::string& name);

  /// Where the styles file lies; empty (the default) stands for the
  /// program's own data folder, as the program's session keeps it.
  void SetStylesFolder(std::string folder) { stylesFolder_ = std::move(folder); }
  std::string StylesFile() const;
  /// Writes the saved styles to StylesFile() through a temporary file: on
  /// an error the old file stays whole, the styles stay in memory and the
  /// writer's error is raised.
  void WriteStylesFile() const;

  TStyles& SavedStyles() const { return styles_; }

 private:
  /// The row's entry := what its frame shows of the present one.
  void NormaliseEntry(int row);

  TStyles& styles_;
  std::vector<std::string> rows_;
  TFiltersParams working_;
  int current_ = -1;
  std::string stylesFolder_;
};

}  // namespace tvx
