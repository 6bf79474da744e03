#include "platform/DynLib.h"

#include <windows.h>

namespace platform {

std::string LibraryFileName(const std::string& base) {
    return base + ".dll";
}

// Only the program's own folder and the system folder: a library of the same name in the
// current directory (a download folder, a project opened from a share) is never loaded.
void* LoadLib(const std::string& fileName) {
    return LoadLibraryExA(fileName.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* LibSymbol(void* lib, const char* name) {
    return lib ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name)) : nullptr;
}

void FreeLib(void* lib) {
    if (lib) FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
