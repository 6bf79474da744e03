// The platform's own serial ports: column 0 of the serial function table, and how a port
// name of that kind is recognised and turned into a device path.
#pragma once

#include <string>

#include "transport/SerialApi.h"

namespace platform {

// The eleven functions with the meaning the Win32 serial API gives them.
const serial::Column& NativeSerialColumn();

// "COM<n>" on Windows; a path under "/dev/" here.
bool IsNativePortName(const std::string& portName);
// "\\.\COM<n>" on Windows; the path itself here.
std::string NativeDevicePath(const std::string& portName);

}  // namespace platform
