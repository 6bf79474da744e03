#include "control/SupplyVoltage.h"

#include <algorithm>
#include <cstdio>

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
}  // namespace

std::uint32_t ParseHexReading(const Bytes& text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigit(text[i + 2]) >= 0)
        i += 2;
    std::uint64_t v = 0;
    for (; i < text.size() && HexDigit(text[i]) >= 0; ++i)
        v = std::min<std::uint64_t>(v * 16 + static_cast<unsigned>(HexDigit(text[i])), 0xFFFFFFFFu);
    const auto value = static_cast<std::uint32_t>(v);
    // As the C library does for unsigned conversions: a minus negates in the type's range.
    return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::uint64_t SupplyVoltageTenths(std::uint32_t reading) {
    return (static_cast<std::uint64_t>(reading) * 11363000u / 844800u + 55u) / 10u;
}

std::string SupplyVoltageText(const Bytes& text) {
    const std::uint64_t d = SupplyVoltageTenths(ParseHexReading(text));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu.%llu", static_cast<unsigned long long>(d / 10),
                  static_cast<unsigned long long>(d % 10));
    return buf;
}
