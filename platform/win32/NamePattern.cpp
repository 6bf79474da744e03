#include "platform/NamePattern.h"

#include <shlwapi.h>
#include <windows.h>

namespace platform {

bool MatchesPattern(const std::string& pattern, const std::string& name) {
    return PathMatchSpecA(name.c_str(), pattern.c_str()) != FALSE;
}

}  // namespace platform
