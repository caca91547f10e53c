#include "styles/Styles.h"

#include <algorithm>
#include <filesystem>

#include "styles/Filters.h"
#include "styles/StyleRecords.h"
#include "util/Error.h"
#include "util/Paths.h"
#include "util/Utils.h"

namespace tvx {

void RegisterFilterKinds() {
  RegisterFilter(kStrokeKind, StrokeApply, 10);
  RegisterFilter(kDropShadowKind, ShadowApply, -10);
  RegisterFilter(kGlowKind, ShadowApply, 10);
  RegisterFilter(kGradientKind, GradientApply, 11);
}

void RegisterFilters() {
  RegisterFilterKinds();
  LoadStyles();
}

void TStyles::GetNames(std::vector<std::string>& list) const {
  list.clear();
  list.reserve(items_.size() + 2);
  list.push_back("Custom");
  list.push_back("None");
  for (const auto& item : items_) list.push_back(item.first);
}

TFiltersParams TStyles::GetStyle(const std::string& name) const {
  auto it = items_.find(name);
  return it == items_.end() ? TFiltersParams{} : it->second;
}

void TStyles::AddStyle(const std::string& name, const TFiltersParams& params) {
  if (items_.try_emplace(name, params).second) Notify();
}

void TStyles::ReplaceStyle(const std::string& name, const TFiltersParams& params) {
  items_.insert_or_assign(name, params);
  Notify();
}

void TStyles::DeleteStyle(const std::string& name) {
  items_.erase(name);
  Notify();
}

void TStyles::AddListener(TStylesListener callback, void* owner) {
  const std::pair<TStylesListener, void*> pair{callback, owner};
  if (std::find(listeners_.begin(), listeners_.end(), pair) == listeners_.end()) listeners_.push_back(pair);
}

void TStyles::RemoveListener(TStylesListener callback, void* owner) {
  std::erase(listeners_, std::pair<TStylesListener, void*>{callback, owner});
}

void TStyles::Notify() const {
  // a listener may add or remove listeners while it is told
  const auto listeners = listeners_;
  for (const auto& [callback, owner] : listeners)
    if (callback) callback(owner);
}

void TStyles::SaveToStream(TStream& stream) const {
  stream.WriteSignature("STYL");
  stream.WriteValue<int32_t>(1);
  stream.WriteValue<int32_t>(static_cast<int32_t>(items_.size()));
  for (const auto& [name, params] : items_) {
    WriteString(stream, name);
    params.SaveToStream(stream);
  }
}

void TStyles::SaveToFile(const std::string& fileName) const {
  TMemoryStream stream;
  SaveToStream(stream);
  stream.SaveToFile(fileName);
}

void TStyles::LoadFromStream(TStream& stream) {
  items_.clear();
  if (stream.ReadSignature() != "STYL") RaiseError("TStyles::LoadFromStream", 197, "Invalid signature!");
  const auto version = stream.ReadValue<int32_t>();
  if (version != 1) RaiseError("TStyles::LoadFromStream", 212, "Unknown version (" + std::to_string(version) + ")!");
  const auto count = stream.ReadValue<int32_t>();
  // each style takes at least an empty name (8 bytes) and an empty record (12 bytes)
  if (count < 0 || count > stream.Remaining() / 20)
    RaiseError("TStyles::LoadFromStream", 218, "Invalid count of styles (" + std::to_string(count) + ")!");
  for (int32_t i = 0; i < count; ++i) {
    std::string name = ReadString(stream);
    TFiltersParams params;
    params.LoadFromStream(stream);
    items_.try_emplace(std::move(name), std::move(params));
  }
  Notify();
}

TStyles& Styles() {
  static TStyles styles;
  return styles;
}

namespace {

void LoadStylesFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  TMemoryStream stream;
  stream.LoadFromFile(path);
  Styles().LoadFromStream(stream);
}

void SaveStylesFile(const std::string& path) { Styles().SaveToFile(path); }

}  // namespace

std::string StylesFileName(const std::string& folder) {
  return IncludeTrailingPathDelimiter(folder) + ".styles";
}

std::string StylesFileName() { return UserDataFolder() + ".styles"; }

void LoadStyles(const std::string& folder) { LoadStylesFile(StylesFileName(folder)); }

void SaveStyles(const std::string& folder) { SaveStylesFile(StylesFileName(folder)); }

void LoadStyles() { LoadStylesFile(StylesFileName()); }

void SaveStyles() { SaveStylesFile(StylesFileName()); }

}  // namespace tvx
