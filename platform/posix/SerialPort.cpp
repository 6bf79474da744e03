// PLACEHOLDER until the POSIX serial layer lands: every call fails.
#include "platform/SerialPort.h"

namespace platform {

const serial::Column& NativeSerialColumn() {
    static const serial::Column column = [] {
        serial::Column c;
        c.CreateFile = [](const char*, serial::DWORD, serial::DWORD, void*, serial::DWORD,
                          serial::DWORD, serial::HANDLE) { return serial::InvalidHandle(); };
        c.CloseHandle = [](serial::HANDLE) { return 0; };
        c.ReadFile = [](serial::HANDLE, void*, serial::DWORD, serial::DWORD*, void*) { return 0; };
        c.WriteFile = [](serial::HANDLE, const void*, serial::DWORD, serial::DWORD*, void*) {
            return 0;
        };
        c.GetLastError = [](serial::HANDLE) -> serial::DWORD { return 0; };
        c.ClearCommError = [](serial::HANDLE, serial::DWORD*, serial::COMSTAT*) { return 0; };
        c.EscapeCommFunction = [](serial::HANDLE, serial::DWORD) { return 0; };
        c.PurgeComm = [](serial::HANDLE, serial::DWORD) { return 0; };
        c.SetCommState = [](serial::HANDLE, serial::DCB*) { return 0; };
        c.GetCommState = [](serial::HANDLE, serial::DCB*) { return 0; };
        c.SetupComm = [](serial::HANDLE, serial::DWORD, serial::DWORD) { return 0; };
        return c;
    }();
    return column;
}

bool IsNativePortName(const std::string& portName) { return portName.rfind("/dev/", 0) == 0; }

std::string NativeDevicePath(const std::string& portName) { return portName; }

}  // namespace platform
