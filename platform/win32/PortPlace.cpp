// FTDI's Windows driver makes a location ID from the device's location string ("a&b&c":
// host controller, counted from 1, then the hub ports): it names the hub port on its own, so
// the place is those levels, whatever the channel. COM ports have no place here (the
// registry's port source gives ""): nothing in the registry keys it reads names a hub port.
#include "platform/PortPlace.h"

#include <vector>

namespace platform {

std::string UsbLocationPlace(std::uint32_t locationId, const std::string& serialNumber) {
    (void)serialNumber;
    const std::vector<unsigned> levels = LocationLevels(locationId);
    if (levels.size() < 2) return {};
    std::string place = "usb-" + std::to_string(levels[0]) + "-";
    for (std::size_t i = 1; i < levels.size(); ++i) {
        if (levels[i] == 0) return {};  // hub ports count from 1: no location of a device
        if (i > 1) place += '.';
        place += std::to_string(levels[i]);
    }
    return place;
}

}  // namespace platform
