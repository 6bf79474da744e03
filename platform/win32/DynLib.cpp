#include "platform/DynLib.h"

#include <windows.h>

namespace platform {

std::string LibraryFileName(const std::string& base) {
    return base + ".dll";
}

void* LoadLib(const std::string& fileName) {
    return LoadLibraryA(fileName.c_str());
}

void* LibSymbol(void* lib, const char* name) {
    return lib ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name)) : nullptr;
}

void FreeLib(void* lib) {
    if (lib) FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
