#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvx {

// The small rules of the watermark editor and its layer dialogs, kept apart
// from the windows so that they can be tested on their own.

// ---- layer names -----------------------------------------------------------

/// "New Layer"; when taken, "New Layer n" for the first free n = 1, 2, ...
std::string NewLayerName(const std::vector<std::string>& taken);
/// source + " copy"; when taken, source + " copy n" for the first free n = 1, 2, ...
std::string DuplicateLayerName(const std::string& source, const std::vector<std::string>& taken);

// ---- opacity ---------------------------------------------------------------

/// The opacity list's rows.
const std::vector<std::string>& OpacityRows();
/// The master alpha for a percentage (clamped to 0..100): percent x 255 / 100
/// in integers, so 100 % stores 255 and every percentage reads back as typed.
int32_t OpacityToAlpha(int32_t percent);
/// The percentage shown for a master alpha: round(alpha x 100 / 255), so
/// 255 and the 254 of older files both show 100.
int32_t AlphaToOpacity(int32_t alpha);
/// A typed opacity: its first run of digits (a sign or "%" ignored), capped
/// at 100; nothing when it holds no digit.
std::optional<int32_t> ParseOpacityText(const std::string& text);
/// "75%".
std::string OpacityText(int32_t percent);

// ---- the text dialog -------------------------------------------------------

/// The size list's rows ("14" ... "250").
const std::vector<std::string>& FontSizeRows();
/// The largest size the size field takes.
inline constexpr int32_t kMaxFieldFontSize = 2000;
/// A typed font size: its first run of digits (a sign ignored), capped at
/// kMaxFieldFontSize; nothing when it holds no digit or reads below 1.
std::optional<int32_t> ParseFontSizeText(const std::string& text);

/// One entry of the "Add Macros" menu: its path of captions and the text it
/// inserts (UTF-8).
struct TMacroMenuEntry {
  std::vector<std::string> Path;
  std::string Text;
};
/// Every entry of the "Add Macros" menu, in menu order.
const std::vector<TMacroMenuEntry>& MacroMenu();

// ---- the placement panel ---------------------------------------------------

/// The range of the panel's size percentage.
inline constexpr double kMinPanelSizePercent = 0.1;
inline constexpr double kMaxPanelSizePercent = 1000;
/// An angle in degrees brought into -180..180 (180 stays 180, -180 becomes
/// 180); not a number, or infinite: 0.
double NormalizeAngle(double degrees);
/// The angle selector's radians (clockwise from the positive x axis, as
/// the layer's angle turns) as the layer's degrees, and back.
double RadiansToDegrees(double radians);
double DegreesToRadians(double degrees);

/// A coordinate as the panel shows it: fixed notation with 2 decimals.
std::string CoordText(double value);

}  // namespace tvx
