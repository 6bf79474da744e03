// The COM port source here: the serial ports of sysfs and the virtual ports of the environment.
#include <memory>

#include "platform/ComPortSource.h"
#include "platform/posix/SysfsPortSource.h"

std::unique_ptr<ComPortSource> MakePlatformComPortSource() {
    return std::make_unique<SysfsPortSource>();
}
