#include "platform/NamePattern.h"

#include <fnmatch.h>

namespace platform {

bool MatchesPattern(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

}  // namespace platform
