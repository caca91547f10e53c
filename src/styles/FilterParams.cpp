#include "styles/FilterParams.h"

#include <utility>

#include "util/Error.h"
#include "util/Utils.h"

namespace tvx {
namespace {

std::map<std::string, TFilterRecord>& Registry() {
  static std::map<std::string, TFilterRecord> registry;
  return registry;
}

}  // namespace

void TFilterParams::SaveToStream(TStream& stream) const {
  stream.WriteSignature("FPRM");
  stream.WriteValue<int32_t>(1);
  stream.WriteValue<int32_t>(static_cast<int32_t>(Data.size()));
  stream.Write(Data.data(), Data.size());
}

void TFilterParams::LoadFromStream(TStream& stream) {
  if (stream.ReadSignature() != "FPRM") RaiseError("TFilterParams::LoadFromStream", 94, "Invalid signature!");
  int32_t version = stream.ReadValue<int32_t>();
  if (version != 1)
    RaiseError("TFilterParams::LoadFromStream", 104, "Unknown version (" + std::to_string(version) + ")!");
  int32_t size = stream.ReadValue<int32_t>();
  if (size < 0 || size > stream.Remaining())
    RaiseError("TFilterParams::LoadFromStream", 110, "Invalid block size (" + std::to_string(size) + ")!");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), bytes.size());  // an empty vector has no buffer
  Data = std::move(bytes);
}

void TFiltersParams::SaveToStream(TStream& stream) const {
  stream.WriteSignature("FSPM");
  stream.WriteValue<int32_t>(1);
  stream.WriteValue<int32_t>(static_cast<int32_t>(Items.size()));
  for (const auto& [name, params] : Items) {
    WriteString(stream, name);
    params.SaveToStream(stream);
  }
}

void TFiltersParams::LoadFromStream(TStream& stream) {
  Items.clear();
  if (stream.ReadSignature() != "FSPM") RaiseError("TFiltersParams::LoadFromStream", 139, "Invalid signature!");
  int32_t version = stream.ReadValue<int32_t>();
  if (version != 1)
    RaiseError("TFiltersParams::LoadFromStream", 154, "Unknown version (" + std::to_string(version) + ")!");
  int32_t count = stream.ReadValue<int32_t>();
  // each entry takes at least an empty string (8 bytes) and an empty block (12 bytes)
  if (count < 0 || count > stream.Remaining() / 20)
    RaiseError("TFiltersParams::LoadFromStream", 160, "Invalid count of entries (" + std::to_string(count) + ")!");
  for (int32_t i = 0; i < count; ++i) {
    std::string name = ReadString(stream);
    TFilterParams params;
    params.LoadFromStream(stream);
    Items.try_emplace(std::move(name), std::move(params));
  }
}

void RegisterFilter(const std::string& name, TFilterApply apply, int32_t order) {
  Registry()[name] = TFilterRecord{apply, order};
}

const std::map<std::string, TFilterRecord>& FilterRegistry() { return Registry(); }

void ApplyStyles(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy,
                 const TFiltersParams& params) {
  struct TFunc {
    TFilterApply Apply;
    const TFilterParams* Params;
    int32_t Order;
  };
  std::vector<TFunc> list;
  const auto& registry = Registry();
  for (const auto& [name, block] : params.Items) {
    auto it = registry.find(name);
    if (it == registry.end() || !it->second.Apply) continue;
    list.push_back(TFunc{it->second.Apply, &block, it->second.Order});
  }
  // The exchange sort fixes the run order among equal Order values.
  for (size_t i = 0; i + 1 < list.size(); ++i)
    for (size_t j = i + 1; j < list.size(); ++j)
      if (list[i].Order < list[j].Order) std::swap(list[i], list[j]);
  for (const TFunc& f : list) f.Apply(source, target, dx, dy, f.Params);
}

}  // namespace tvx
