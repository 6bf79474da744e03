// The platform's own serial ports: column 0 of the serial function table, and how a port
// name of that kind is recognised and turned into a device path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SerialApi.h"

namespace platform {

// The eleven functions with the meaning the Win32 serial API gives them.
const serial::Column& NativeSerialColumn();

// "COM<n>" on Windows; a path under "/dev/" here.
bool IsNativePortName(const std::string& portName);
// "\\.\COM<n>" on Windows; the path itself here.
std::string NativeDevicePath(const std::string& portName);

// The descriptor a host may watch for input on a port of this kind; -1 where there is none.
std::intptr_t ReadableDescriptor(serial::HANDLE h);
// Asks the driver to hand input over at once: USB serial converters otherwise hold a short
// answer back for up to their latency timer. True when the setting was changed, which
// RestoreLatency then undoes; a port whose driver knows no such setting is left alone.
bool RequestLowLatency(serial::HANDLE h);
void RestoreLatency(serial::HANDLE h);

}  // namespace platform
