#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvx::text {

/// Embedding levels of one line (even: left to right, odd: right to left),
/// after the implicit rules of the bidirectional algorithm: the paragraph
/// direction from the first strong character, numbers kept left to right
/// inside right-to-left text, neutrals taking the direction around them.
/// Explicit embedding controls are not interpreted. Letters are strong by
/// their script's direction.
std::vector<uint8_t> ResolveBidiLevels(const std::u32string& line);

/// The visual order of runs with the given levels: indices into levels, left
/// to right (reverses every maximal sequence at or above each odd level).
std::vector<size_t> VisualRunOrder(const std::vector<uint8_t>& runLevels);

}  // namespace tvx::text
