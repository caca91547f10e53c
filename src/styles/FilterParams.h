#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "raster/Bitmap32.h"
#include "util/Stream.h"

namespace tvx {

/// The parameters of one filter: an opaque block that begins with the kind's
/// own signature ("STRK", "DRPS", "GRAD"). Value semantics.
class TFilterParams {
 public:
  TFilterParams() = default;
  /// A block of n zero bytes.
  explicit TFilterParams(size_t n) : Data(n, 0) {}
  explicit TFilterParams(std::vector<uint8_t> bytes) : Data(std::move(bytes)) {}

  size_t Size() const { return Data.size(); }
  void SaveToStream(TStream& stream) const;
  /// Raises the "TFilterParams::LoadFromStream" errors; a block longer than
  /// the rest of the stream is refused before anything is allocated.
  void LoadFromStream(TStream& stream);

  std::vector<uint8_t> Data;
  friend bool operator==(const TFilterParams&, const TFilterParams&) = default;
};

using TFiltersParamsType = std::map<std::string, TFilterParams>;

/// A layer's styles: filter kind name -> parameters. Presence means enabled.
class TFiltersParams {
 public:
  void SaveToStream(TStream& stream) const;
  /// Empties the map, then reads; the first occurrence of a name wins.
  void LoadFromStream(TStream& stream);
  bool Empty() const { return Items.empty(); }

  TFiltersParamsType Items;
  friend bool operator==(const TFiltersParams&, const TFiltersParams&) = default;
};

/// A filter kind's apply operation: draws its effect into target, growing it
/// as needed; dx, dy is where source's top-left pixel lies inside target.
/// A null params does nothing.
using TFilterApply = void (*)(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy,
                              const TFilterParams* params);

/// A registered filter kind. Its settings frame is user-interface code and
/// is not part of the record: the program keeps its own map from the kind's
/// name to a frame factory, so the core never depends on Qt.
struct TFilterRecord {
  TFilterApply Apply = nullptr;
  int32_t Order = 0;  ///< higher runs first
};

/// Registers (or replaces) a filter kind under its name.
void RegisterFilter(const std::string& name, TFilterApply apply, int32_t order);
/// The registry, ordered by name.
const std::map<std::string, TFilterRecord>& FilterRegistry();

/// Applies every enabled, registered filter of params to target in the order
/// of the registry's Order values (descending, exchange sort over name order).
/// Names that are not registered are skipped.
void ApplyStyles(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t& dy,
                 const TFiltersParams& params);

}  // namespace tvx
