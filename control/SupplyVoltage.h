// The supply voltage of an "UP:" line: a hex reading scaled to tenths of a volt.
#pragma once

#include <cstdint>
#include <string>

#include "base/Bytes.h"

// Read as "%X" reads into 32 bits: leading white space, an optional sign and "0x", hex
// digits up to the first other character; 0 when there are none. Digits beyond 32 bits
// saturate at FFFFFFFF rather than wrap, so an overlong reading shows the highest value.
std::uint32_t ParseHexReading(const Bytes& text);
// Tenths of a volt: ((v * 11363000) / 844800 + 55) / 10, in 64-bit arithmetic.
std::uint64_t SupplyVoltageTenths(std::uint32_t reading);
// "12.9" for a reading of 0x5C.
std::string SupplyVoltageText(const Bytes& text);
