// D2XX's locations here are the bus and the hub ports of libusb: sysfs knows the device there,
// and its interface's path is the place its ttyUSB port has too.
#include "platform/PortPlace.h"

#include "platform/posix/SysfsPlaces.h"

namespace platform {

std::string UsbLocationPlace(std::uint32_t locationId, const std::string& serialNumber) {
    return SysfsPlaces().OfUsbLocation(locationId, serialNumber);
}

}  // namespace platform
