#include "platform/DynLib.h"

#include <dlfcn.h>

namespace platform {

std::string LibraryFileName(const std::string& base) {
    return "lib" + base + ".so";
}

void* LoadLib(const std::string& fileName) {
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LibSymbol(void* lib, const char* name) {
    return lib ? dlsym(lib, name) : nullptr;
}

void FreeLib(void* lib) {
    if (lib) dlclose(lib);
}

}  // namespace platform
