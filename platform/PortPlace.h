// Where a port is plugged in, as one text that stays the same when its unit is unplugged and
// plugged in again: the device name the system hands out (/dev/ttyUSB3, an FTDI serial number)
// changes at each replug, the hub port does not, so a bench shows and names its slots by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The levels of the USB tree that an FTDI D2XX location ID names, the root first: FTDI's
// drivers give each level one hex digit, the bus (Linux) or the host controller counted from
// 1 (Windows) the most significant, then the hub port at each level down to the device.
// 0x1243 is bus 1, port 2, its hub's port 4, that hub's port 3. Empty for 0 (no location).
inline std::vector<unsigned> LocationLevels(std::uint32_t locationId) {
    std::vector<unsigned> levels;
    for (; locationId != 0; locationId >>= 4)
        levels.insert(levels.begin(), locationId & 0xFu);
    return levels;
}

// The place of the FTDI device that D2XX lists at `locationId`, "" when it cannot be told (D2XX
// gives no location for a device that is open elsewhere). `serialNumber` is D2XX's: a chip of
// several channels is listed once per channel, with a letter after its serial number (A for
// the first), and the letter says which of its interfaces the entry stands for.
// Here: the name /dev/serial/by-path gives the same interface as a ttyUSB port, so a device
// is in the same place whichever driver reaches it. Windows: "usb-" and the location's levels.
std::string UsbLocationPlace(std::uint32_t locationId, const std::string& serialNumber);

}  // namespace platform
