// Run-time loading of shared libraries by name, so a missing library or function disables
// only the feature that needs it.
#pragma once

#include <string>

namespace platform {

// The platform's file name of a library: "lib<base>.so" here, "<base>.dll" on Windows.
std::string LibraryFileName(const std::string& base);
void* LoadLib(const std::string& fileName);
void* LibSymbol(void* lib, const char* name);
void FreeLib(void* lib);

}  // namespace platform
