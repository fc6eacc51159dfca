#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Expands PackBits data (a control byte n: 0..127 copies n + 1 units, 129..255 repeats one unit
// 257 - n times, 128 is passed over) into `out`, a unit being `unitSize` bytes. What would land
// past the end of `out` is dropped, and a unit cut short by the end of `packed` ends the
// expansion. Returns the number of bytes written.
std::size_t PLExpandPackBits(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out,
                             std::size_t unitSize = 1);
