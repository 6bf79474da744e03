// The line settings one side of the simulated wire uses; the adapter answers only when the
// host's settings equal its own, as a real UART would only then see clean bytes.
#pragma once

#include <cstdint>
#include <string>

struct LineSettings {
    std::uint32_t baud = 9600;
    char parity = 'N';  // N, O, E, M or S
    int dataBits = 8;

    bool operator==(const LineSettings&) const = default;
    // "115200,N,8", the form the configurator's settings strings take.
    std::string Text() const {
        return std::to_string(baud) + "," + std::string(1, parity) + "," + std::to_string(dataBits);
    }
};
