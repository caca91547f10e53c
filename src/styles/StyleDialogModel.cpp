#include "styles/StyleDialogModel.h"

#include <algorithm>

#include "styles/StyleRecords.h"

namespace tvx {
namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

std::string StyleExistsQuestion(const std::string& name) {
  return "Style \"" + name + "\" already exists. Replace it?";
}

std::string DeleteStyleQuestion(const std::string& name) { return "Delete the style \"" + name + "\"?"; }

std::string StylesNotSavedMessage(const std::string& fileName, const std::string& error) {
  return "The saved styles could not be written to " + fileName + ".\n\n" + error +
         "\n\nThe styles are kept until the program ends; the file holds the styles it held before.";
}

std::optional<std::string> CheckStyleName(const std::string& name) {
  if (name.empty()) return std::string(kStyleNameEmpty);
  const std::string lower = AsciiLower(name);
  if (lower == "custom" || lower == "none") return std::string(kStyleNameReserved);
  return std::nullopt;
}

TStyleDialogModel::TStyleDialogModel(TStyles& styles) : styles_(styles) {
  // the rows are the registry's; registering again changes nothing
  RegisterFilterKinds();
  for (const auto& record : FilterRegistry()) rows_.push_back(record.first);
}

void TStyleDialogModel::SetStyle(const TFiltersParams& style) {
  working_ = style;
  current_ = -1;
}

int TStyleDialogModel::RowOf(const std::string& kind) const {
  auto it = std::find(rows_.begin(), rows_.end(), kind);
  return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

bool TStyleDialogModel::Checked(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) && working_.Items.count(rows_[row]) != 0;
}

std::string TStyleDialogModel::CurrentKind() const { return current_ < 0 ? std::string() : rows_[current_]; }

const TFilterParams* TStyleDialogModel::Entry(const std::string& kind) const {
  auto it = working_.Items.find(kind);
  return it == working_.Items.end() ? nullptr : &it->second;
}

void TStyleDialogModel::NormaliseEntry(int row) {
  const std::string& kind = rows_[row];
  std::optional<TFilterParams> block = FrameBlock(kind, Entry(kind));
  // A registered kind without a frame of its own keeps its block as it is.
  if (!block) block = Entry(kind) ? *Entry(kind) : TFilterParams{};
  working_.Items.insert_or_assign(kind, std::move(*block));
}

bool TStyleDialogModel::Select(int row, const TFilterParams* frameParams) {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || row == current_) return false;
  if (current_ >= 0 && frameParams) StoreFrame(*frameParams);
  current_ = row;
  NormaliseEntry(row);  // selecting a filter enables it
  return true;
}

bool TStyleDialogModel::Toggle(int row, const TFilterParams* frameParams) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  if (Checked(row)) {
    working_.Items.erase(rows_[row]);
    return false;
  }
  if (row != current_) return Select(row, frameParams);
  // the shown frame's row checked again: it holds what the row now stands for
  if (frameParams)
    working_.Items.insert_or_assign(rows_[row], *frameParams);
  else
    NormaliseEntry(row);
  return false;
}

void TStyleDialogModel::StoreFrame(const TFilterParams& frameParams) {
  if (current_ < 0 || !Checked(current_)) return;
  working_.Items.insert_or_assign(rows_[current_], frameParams);
}

std::vector<std::string> TStyleDialogModel::StyleRows() const {
  std::vector<std::string> rows;
  styles_.GetNames(rows);
  return rows;
}

int TStyleDialogModel::KeptStyleRow(int oldRow, int rowCount) {
  return oldRow >= 0 && oldRow < rowCount ? oldRow : 0;
}

bool TStyleDialogModel::ChooseStyle(int row, const std::string& name) {
  if (row <= 0) return false;
  SetStyle(styles_.GetStyle(name));
  return true;
}

TStyleDialogModel::TSaveResult TStyleDialogModel::SaveStyle(const std::string& name) {
  if (CheckStyleName(name)) return TSaveResult::Refused;
  if (styles_.HasStyle(name)) return TSaveResult::Exists;
  styles_.AddStyle(name, working_);
  return TSaveResult::Saved;
}

void TStyleDialogModel::ReplaceStyle(const std::string& name) {
  if (CheckStyleName(name)) return;
  styles_.ReplaceStyle(name, working_);
}

void TStyleDialogModel::DeleteStyle(const std::string& name) { styles_.DeleteStyle(name); }

std::string TStyleDialogModel::StylesFile() const {
  return stylesFolder_.empty() ? StylesFileName() : StylesFileName(stylesFolder_);
}

void TStyleDialogModel::WriteStylesFile() const { styles_.SaveToFile(StylesFile()); }

}  // namespace tvx
