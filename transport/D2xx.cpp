#include "transport/D2xx.h"

#include <array>
#include <cstring>

#include "platform/DynLib.h"

namespace d2xx {

// The library hands back an array: every record must have its size, not just its first fields
// their offsets (100 bytes with a 4-byte handle, 104 with an 8-byte one).
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96);
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 96 + sizeof(void*));

void* OpenLibrary() {
    for (const char* base : {"rpd2xx", "ftd2xx"})
        if (void* lib = platform::LoadLib(platform::LibraryFileName(base))) return lib;
    return nullptr;
}

void CloseLibrary(void* lib) {
    platform::FreeLib(lib);
}

void* Symbol(void* lib, const char* name) {
    return platform::LibSymbol(lib, name);
}

bool BindW32Column(void* lib, serial::Column& column) {
    return serial::BindColumn(column, [lib](const char* row) {
        return platform::LibSymbol(lib, (std::string("FT_W32_") + row).c_str());
    });
}

std::string StatusText(serial::DWORD code) {
    static const std::array<const char*, 19> texts = {
        "Success operation",
        "Invalid handle",
        "Device is not found",
        "Device is not opened",
        "IO Error",
        "Insuffient resurces",
        "Invalid parameter",
        "Invalid baud rate",
        "Device is not opened for ERASE",
        "Device is not opened for WRITE",
        "FAILED_TO_WRITE_DEVICE",
        "EEPROM_READ_FAILED",
        "EEPROM_WRITE_FAILED",
        "EEPROM_ERASE_FAILED",
        "EEPROM_NOT_PRESENT",
        "EEPROM_NOT_PROGRAMMED",
        "INVALID_ARGS",
        "NOT_SUPPORTED",
        "OTHER_ERROR",
    };
    // Newer libraries report codes we have no name for; say so rather than show nothing.
    if (code < texts.size()) return texts[code];
    return "Unknown error";
}

std::string FieldText(const char* field, std::size_t size) {
    const void* end = std::memchr(field, '\0', size);
    return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

}  // namespace d2xx
