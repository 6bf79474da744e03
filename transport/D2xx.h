// FTDI's D2XX library, loaded at run time and never linked: our own declarations of the few
// calls we make, the library names tried in order, and the status texts shown to the user.
#pragma once

#include <cstddef>
#include <string>

#include "platform/SerialApi.h"

namespace d2xx {

using FT_STATUS = serial::DWORD;
constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;

// One record of FT_GetDeviceInfoList. 100 bytes where a handle is 4 bytes wide; the serial
// number and description keep their offsets whatever the width of the handle.
struct FT_DEVICE_LIST_INFO_NODE {
    serial::DWORD Flags;
    serial::DWORD Type;
    serial::DWORD ID;
    serial::DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    void* ftHandle;
};
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32);

using FT_CreateDeviceInfoListFn = FT_STATUS (*)(serial::DWORD* count);
using FT_GetDeviceInfoListFn = FT_STATUS (*)(FT_DEVICE_LIST_INFO_NODE* list, serial::DWORD* count);
// The handle FT_W32_CreateFile returned; the timer in milliseconds.
using FT_GetLatencyTimerFn = FT_STATUS (*)(serial::HANDLE handle, unsigned char* ms);
using FT_SetLatencyTimerFn = FT_STATUS (*)(serial::HANDLE handle, unsigned char ms);

// Tries our vendor build of the library first, then FTDI's own; null when neither loads.
void* OpenLibrary();
void CloseLibrary(void* lib);
void* Symbol(void* lib, const char* name);

// Binds "FT_W32_" + each row name into `column`; false when any is missing.
bool BindW32Column(void* lib, serial::Column& column);

// "Success operation", "Device is not found", ... for codes 0-18.
std::string StatusText(serial::DWORD code);

// A zero-terminated text field of a record, read without passing the field's end.
std::string FieldText(const char* field, std::size_t size);

}  // namespace d2xx
