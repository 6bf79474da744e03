// Windows: Device Manager's own properties sheet for the port's device instance, bound at run
// time from devmgr.dll, so a system without it only loses the button's effect.
#include "platform/DeviceProperties.h"

#include <windows.h>

#include "platform/DynLib.h"

namespace platform {

namespace {
using DevicePropertiesExFn = void(WINAPI*)(HWND, LPCSTR, LPCSTR, DWORD, BOOL);
}  // namespace

// The sheet says it all here; nothing for the host to list.
std::vector<DeviceProperty> ReadDeviceProperties(const std::string&, const std::filesystem::path&,
                                                 const std::filesystem::path&) {
    return {};
}

bool ShowSystemDeviceProperties(void* parentWindow, const std::string& deviceId) {
    void* library = LoadLib(LibraryFileName("devmgr"));
    const auto show =
        reinterpret_cast<DevicePropertiesExFn>(LibSymbol(library, "DevicePropertiesExA"));
    // The local machine, and the sheet alone: no Device Manager window behind it.
    if (show) show(static_cast<HWND>(parentWindow), nullptr, deviceId.c_str(), 0, FALSE);
    FreeLib(library);
    return show != nullptr;
}

// A USB device is either D2XX's or a COM port's here, and access to ports is no group matter.
std::string SerialPortOfUsbDevice(const std::string&, const std::filesystem::path&) {
    return {};
}

std::string OpenFailureAdvice(const std::string&, std::uint32_t) {
    return {};
}

}  // namespace platform
