#pragma once

#include <cstdint>
#include <string>

namespace tvx {

/// The icon of a balloon hint; stored kinds are taken modulo 4.
enum class TBalloonIcon : int32_t { None = 0, Info = 1, Warning = 2, Error = 3 };

inline TBalloonIcon BalloonIconOfKind(int32_t kind) {
  return static_cast<TBalloonIcon>(((kind % 4) + 4) % 4);
}

/// What a balloon hint shows next to a control.
struct TBalloonMessage {
  TBalloonIcon Icon = TBalloonIcon::None;
  std::string Title;
  std::string Text;

  bool operator==(const TBalloonMessage&) const = default;
};

}  // namespace tvx
