// Without a version resource the strings are compiled in from the build's version table.
#include "platform/VersionInfo.h"

#include "VersionTable.h"

namespace platform {

std::string GetVersionValue(const std::string& name) {
    for (const auto& entry : version::kEntries)
        if (name == entry[0]) return entry[1];
    return {};
}

}  // namespace platform
